#include "TestSupport.h"
#include "data/Codec.h"
#include "data/KalendoError.h"

#include <QTest>

class tst_Codec : public QObject {
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
    void typedFormsMapped_data();
    void typedFormsMapped();
    void refusesWhatCp932CannotHold_data();
    void refusesWhatCp932CannotHold();
    void byteLength_data();
    void byteLength();
    void truncateCutsWholeCharacters();
    void undecodableBytesStayBytes();
    void undecodableBytesShowAsReplacement_data();
    void undecodableBytesShowAsReplacement();
};

// Code page 932 is Microsoft's Shift-JIS: 0x8160 is FULLWIDTH TILDE (not WAVE DASH as in
// JIS X 0208 Shift_JIS), 0x5C is a backslash (not YEN SIGN), 0xA6 a half-width katakana.
void tst_Codec::decode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("fullwidth tilde") << QByteArray("\x81\x60") << QStringLiteral("\uFF5E");
    QTest::newRow("backslash") << QByteArray("\x5c") << QStringLiteral("\\");
    QTest::newRow("hiragana a") << QByteArray("\x82\xa0") << QStringLiteral("あ");
    QTest::newRow("halfwidth wo") << QByteArray("\xa6") << QStringLiteral("\uFF66");
    QTest::newRow("NEC circled 1") << QByteArray("\x87\x40") << QStringLiteral("①");
    QTest::newRow("IBM extension") << QByteArray("\xfa\x40") << QStringLiteral("ⅰ");
}

void tst_Codec::decode() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(Codec::toUnicode(bytes), text);
    QCOMPARE(Codec::fromUnicode(text).value_or("?"), bytes);
}

// What Linux input methods and web pages give for characters code page 932 holds in another
// form; every other character passes unchanged.
void tst_Codec::typedFormsMapped_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("wave dash") << QStringLiteral("\u301C") << QByteArray("\x81\x60");
    QTest::newRow("double vertical line") << QStringLiteral("\u2016") << QByteArray("\x81\x61");
    QTest::newRow("minus sign") << QStringLiteral("\u2212") << QByteArray("\x81\x7C");
    QTest::newRow("cent sign") << QStringLiteral("\u00A2") << QByteArray("\x81\x91");
    QTest::newRow("pound sign") << QStringLiteral("\u00A3") << QByteArray("\x81\x92");
    QTest::newRow("not sign") << QStringLiteral("\u00AC") << QByteArray("\x81\xCA");
    QTest::newRow("em dash") << QStringLiteral("\u2014") << QByteArray("\x81\x5C");
    QTest::newRow("yen sign") << QStringLiteral("\u00A5") << QByteArray("\x81\x8F");
    QTest::newRow("in a text") << QStringLiteral("10時\u301C12時")
                               << QByteArray("10\x8E\x9E\x81\x60"
                                             "12\x8E\x9E");
    QTest::newRow("backslash stays") << QStringLiteral("\\") << QByteArray("\x5C");
}

void tst_Codec::typedFormsMapped() {
    QFETCH(QString, typed);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Codec::fromUnicode(Codec::mapTyped(typed)).value_or("?"), bytes);
}

void tst_Codec::refusesWhatCp932CannotHold_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("first");
    QTest::newRow("emoji") << QString::fromUtf8("会議😀") << QString::fromUtf8("😀");
    QTest::newRow("surrogate pair kanji") << QString::fromUtf8("𠮷野家") << QString::fromUtf8("𠮷");
    QTest::newRow("hangul") << QString::fromUtf8("a한") << QString::fromUtf8("한");
    QTest::newRow("wave dash") << QString::fromUtf8("〜") << QString::fromUtf8("〜");
}

void tst_Codec::refusesWhatCp932CannotHold() {
    QFETCH(QString, text);
    QFETCH(QString, first);
    QVERIFY(!Codec::fromUnicode(text).has_value());
    QVERIFY(!Codec::canEncode(text));
    QCOMPARE(Codec::firstUnencodable(text), first);
    try {
        Codec::encodeOrThrow(text);
        QFAIL("no error");
    } catch (const KalendoError& e) {
        QVERIFY(e.message().contains(first));
    }
}

void tst_Codec::byteLength_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");
    QTest::newRow("ascii") << QStringLiteral("abc") << 3;
    QTest::newRow("kanji") << QStringLiteral("会議") << 4;
    QTest::newRow("halfwidth kana") << QStringLiteral("ｷｬﾝｾﾙ") << 5;
    QTest::newRow("mixed") << QStringLiteral("A会ｱ") << 4;
    QTest::newRow("empty") << QString() << 0;
}

void tst_Codec::byteLength() {
    QFETCH(QString, text);
    QFETCH(int, bytes);
    QCOMPARE(Codec::byteLength(text), bytes);
}

void tst_Codec::truncateCutsWholeCharacters() {
    QCOMPARE(Codec::truncateToBytes(QStringLiteral("あいう"), 5), QStringLiteral("あい"));
    QCOMPARE(Codec::truncateToBytes(QStringLiteral("aあ"), 2), QStringLiteral("a"));
    QCOMPARE(Codec::truncateToBytes(QStringLiteral("abc"), 3), QStringLiteral("abc"));
}

void tst_Codec::undecodableBytesStayBytes() {
    // Showing does not change the bytes; there is no decode-encode round trip on the file path.
    const QByteArray broken("\x82\xff\x80", 3);
    QVERIFY(!Codec::toUnicode(broken).isEmpty());
    QVERIFY(!Codec::isDoubleByteAt(broken, 0));
    QVERIFY(Codec::isDoubleByteAt(QByteArray("\x82\xa0"), 0));
}

// Every byte that is no character shows as U+001A, as Codec.h documents, wherever it stands.
void tst_Codec::undecodableBytesShowAsReplacement_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("a lead byte at the end") << QByteArray("X\x81") << QStringLiteral("X\u001A");
    QTest::newRow("a lead byte alone") << QByteArray("\x81") << QStringLiteral("\u001A");
    QTest::newRow("a lead byte before a comma")
        << QByteArray("\x81,1") << QStringLiteral("\u001A,1");
}

void tst_Codec::undecodableBytesShowAsReplacement() {
    QFETCH(QByteArray, bytes);
    QTEST(Codec::toUnicode(bytes), "text");
}

QTEST_GUILESS_MAIN(tst_Codec)
#include "tst_codec.moc"
