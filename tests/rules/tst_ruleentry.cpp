#include "data/KalendoError.h"
#include "rules/RuleEntry.h"

#include <QTest>

class tst_RuleEntry : public QObject {
    Q_OBJECT
private slots:
    void fromRow_data();
    void fromRow();
    void unreadable_data();
    void unreadable();
    void anniversaryDates_data();
    void anniversaryDates();
};

void tst_RuleEntry::fromRow_data() {
    QTest::addColumn<Row>("row");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("weekNumber");
    QTest::addColumn<int>("monthIndex");
    QTest::addColumn<int>("weekday");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QByteArray>("dateText");
    const QDate today(2026, 12, 7);
    QTest::newRow("fixed date in today's year") << Row{"03/20", "x", "0", "0"} << today << 0 << 2
                                                << 0 << QDate(2026, 3, 20) << QByteArray("03/20");
    QTest::newRow("second Monday of January")
        << Row{"01/--", "x", "2", "1"} << today << 2 << 0 << 1 << today << QByteArray("01/--");
    QTest::newRow("29 February, common year: nearest leap year")
        << Row{"02/29", "x", "0", "0"} << QDate(2025, 6, 1) << 0 << 1 << 0 << QDate(2024, 2, 29)
        << QByteArray("02/29");
    QTest::newRow("29 February, leap year") << Row{"02/29", "x", "0", "0"} << QDate(2028, 1, 1) << 0
                                            << 1 << 0 << QDate(2028, 2, 29) << QByteArray("02/29");
    QTest::newRow("blank-padded cells from an empty field")
        << Row{"12/--", "x", "5", " 6"} << today << 5 << 11 << 6 << today << QByteArray("12/--");
}

void tst_RuleEntry::fromRow() {
    QFETCH(Row, row);
    QFETCH(QDate, today);
    QFETCH(int, weekNumber);
    QFETCH(int, monthIndex);
    QFETCH(int, weekday);
    QFETCH(QDate, date);
    QFETCH(QByteArray, dateText);
    const RuleEntry entry = RuleEntry::fromRow(row, today);
    QCOMPARE(entry.weekNumber, weekNumber);
    QCOMPARE(entry.monthIndex, monthIndex);
    QCOMPARE(entry.weekday, weekday);
    QCOMPARE(entry.date, date);
    QCOMPARE(entry.dateText(), dateText);
    QCOMPARE(entry.weekNumberText(), row.at(2).trimmed());
}

void tst_RuleEntry::unreadable_data() {
    QTest::addColumn<Row>("row");
    QTest::addColumn<QString>("message");
    QTest::newRow("week not a number")
        << Row{"01/--", "x", "a", "1"} << QStringLiteral("'a' は整数ではありません");
    QTest::newRow("weekday not a number")
        << Row{"01/--", "x", "1", "b"} << QStringLiteral("'b' は整数ではありません");
    QTest::newRow("month not a number")
        << Row{"ab/--", "x", "1", "1"} << QStringLiteral("'ab' は整数ではありません");
    QTest::newRow("no such date") << Row{"02/30", "x", "0", "0"}
                                  << QStringLiteral("'02/30' は日付ではありません");
    QTest::newRow("month 13") << Row{"13/01", "x", "0", "0"}
                              << QStringLiteral("'13/01' は日付ではありません");
    QTest::newRow("week 9") << Row{"01/--", "x", "9", "1"}
                            << QStringLiteral("'9' は整数ではありません");
}

void tst_RuleEntry::unreadable() {
    QFETCH(Row, row);
    QFETCH(QString, message);
    try {
        RuleEntry::fromRow(row, QDate(2025, 1, 1));
        QFAIL("no error");
    } catch (const KalendoError& e) {
        QCOMPARE(e.message(), message);
    }
}

void tst_RuleEntry::anniversaryDates_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("stored form") << QByteArray("2012/03/30") << QDate(2012, 3, 30);
    QTest::newRow("leap day") << QByteArray("2024/02/29") << QDate(2024, 2, 29);
    QTest::newRow("no such day") << QByteArray("2023/02/29") << QDate();
    QTest::newRow("not a date") << QByteArray("abcd/03/30") << QDate();
    QTest::newRow("day first") << QByteArray("30/03/2012") << QDate();
    QTest::newRow("empty") << QByteArray(" ") << QDate();
}

void tst_RuleEntry::anniversaryDates() {
    QFETCH(QByteArray, text);
    QFETCH(QDate, date);
    if (date.isValid()) {
        QCOMPARE(AnniversaryDateFromText(text), date);
        QCOMPARE(AnniversaryDateText(date), text);
    } else {
        QVERIFY_THROWS_EXCEPTION(KalendoError, AnniversaryDateFromText(text));
    }
}

QTEST_GUILESS_MAIN(tst_RuleEntry)
#include "tst_ruleentry.moc"
