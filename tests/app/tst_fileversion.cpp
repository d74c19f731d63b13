#include "TestSupport.h"
#include "app/FileVersion.h"
#include "rules/ComType.h"

#include <QCoreApplication>
#include <QTest>

// This test program is built without the version resource; the program file has one.
class tst_FileVersion : public QObject {
    Q_OBJECT
private slots:
    void init() { AppVersion = TAppVersion(); }
    void programFileCarriesTheVersion();
    void fileWithoutResourceLeavesVersionEmpty();
    void unreadableFiles_data();
    void unreadableFiles();
    void oddVersionTexts_data();
    void oddVersionTexts();

private:
    TempDataFolder m_dir;
};

namespace {

QByteArray programBytes() {
    QFile file(QStringLiteral(KALENDO_PROGRAM));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A copy of the program with the last occurrence of a text replaced: the section's name in the
// table of section names, which comes after the code that names it too.
QByteArray patched(QByteArray bytes, const QByteArray& from, const QByteArray& to) {
    const qsizetype at = bytes.lastIndexOf(from);
    if (at >= 0 && to.size() == from.size())
        bytes.replace(at, from.size(), to);
    return bytes;
}

} // namespace

void tst_FileVersion::programFileCarriesTheVersion() {
    ReadFileVersion(QStringLiteral(KALENDO_PROGRAM));
    QCOMPARE(AppVersion.Text, QStringLiteral("2.2.1.192"));
    QCOMPARE(AppVersion.Major, 2);
    QCOMPARE(AppVersion.Minor, 2);
    QCOMPARE(AppVersion.Release, 1);
    QCOMPARE(AppVersion.Build, 192);
    QCOMPARE(QueryVersionValue(QStringLiteral(KALENDO_PROGRAM),
                               QStringLiteral("StringFileInfo\\041103A4\\ProductName")),
             QStringLiteral("Kalendo"));
    QVERIFY(!QueryVersionValue(QStringLiteral(KALENDO_PROGRAM), QStringLiteral("Nothing")));
}

void tst_FileVersion::fileWithoutResourceLeavesVersionEmpty() {
    ReadFileVersion(); // this test's own program file
    QCOMPARE(AppVersion.Text, QString());
    QCOMPARE(AppVersion.Major, 0);

    // A version read before stays as it was.
    AppVersion.Text = QStringLiteral("kept");
    ReadFileVersion(QCoreApplication::applicationFilePath());
    QCOMPARE(AppVersion.Text, QStringLiteral("kept"));
}

void tst_FileVersion::unreadableFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray program = programBytes();
    QVERIFY(!program.isEmpty());
    QTest::newRow("section renamed")
        << patched(program, QByteArray(".kalendo_version"), QByteArray(".xalendo_version"));
    QTest::newRow("truncated after the header") << program.left(200);
    QTest::newRow("truncated before the section table") << program.left(program.size() / 2);
    QTest::newRow("empty") << QByteArray();
    // The resource's texts in a file that is no program.
    static const char resourceLike[] = "StringFileInfo\\041103A4\\FileVersion\0"
                                       "1.0";
    QTest::newRow("not a program") << QByteArray(resourceLike, sizeof resourceLike);
}

void tst_FileVersion::unreadableFiles() {
    QFETCH(QByteArray, bytes);
    m_dir.write(QStringLiteral("copy"), bytes);
    ReadFileVersion(m_dir.file(QStringLiteral("copy")));
    QCOMPARE(AppVersion.Text, QString());
    ReadFileVersion(m_dir.file(QStringLiteral("missing")));
    QCOMPARE(AppVersion.Text, QString());
}

void tst_FileVersion::oddVersionTexts_data() {
    QTest::addColumn<QByteArray>("value"); // same length as 2.2.1.192
    QTest::addColumn<QList<int>>("pieces");
    QTest::newRow("empty pieces dropped") << QByteArray("3..4.5.67") << QList<int>{3, 4, 5, 67};
    QTest::newRow("three pieces") << QByteArray("10.20.300") << QList<int>{10, 20, 300, 0};
    QTest::newRow("not a number") << QByteArray("2.x.1.192") << QList<int>{2, 0, 1, 192};
}

void tst_FileVersion::oddVersionTexts() {
    QFETCH(QByteArray, value);
    QFETCH(QList<int>, pieces);
    m_dir.write(QStringLiteral("odd"), patched(programBytes(), "2.2.1.192", value));
    ReadFileVersion(m_dir.file(QStringLiteral("odd")));
    QCOMPARE(AppVersion.Text, QString::fromLatin1(value));
    QCOMPARE((QList<int>{AppVersion.Major, AppVersion.Minor, AppVersion.Release, AppVersion.Build}),
             pieces);
}

QTEST_GUILESS_MAIN(tst_FileVersion)
#include "tst_fileversion.moc"
