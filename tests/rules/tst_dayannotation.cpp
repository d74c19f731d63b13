#include "TestSupport.h"
#include "data/ShownText.h"
#include "rules/ComType.h"
#include "rules/YearTables.h"

#include <QTest>

class tst_DayAnnotation : public QObject {
    Q_OBJECT
private slots:
    void annotation_data();
    void annotation();
    void scheduleCleaning_data();
    void scheduleCleaning();
    void otherYearsAndBadLines();
};

namespace {

// One data folder with a little of everything, built for 2024.
struct Fixture {
    TempDataFolder dir;
    YearTables tables;
    Fixture() {
        dir.write(HolidayFileName, sj("03/30,休業日,0,0\r\n11/03,文化の日,0,0\r\n"));
        dir.write(EventFileName, sj("03/30,棚卸,0,0\r\n04/01,\"a b\",0,0\r\n"));
        dir.write(AnniversaryFileName, sj("2012/03/30,結婚記念日,\r\n2026/03/31,未来,\r\n"
                                          "2026/03/31,コンマなし\r\n----/04/07,父の誕生日,\r\n"
                                          "----/02/29,祖母,\r\n") +
                                           "2000/04/06," + QByteArray(2000, 'w') + ",\r\n");
        dir.write(QStringLiteral("2024.csv"), sj("20240330,1,,,会議,,\r\n"
                                                 "20240331,1,09:00,10:00,A,B,C\r\n"
                                                 "20240331,2,\" \",\" \",D,\" \",\" \"\r\n"
                                                 "20250331,1,,,other year,,\r\n"
                                                 "\"20240402\",1,,,引用,,\r\n"
                                                 "20240403x,1,,,余分,,\r\n"
                                                 "20240405,1,,,,,\r\n20240405,2,,,x,,\r\n"
                                                 "20240405,3,,,,,\r\n20240405,4,,,y,,\r\n") +
                                                  "20240406,1,,," +
                                                  QByteArray("\" \"").repeated(600) + ',' +
                                                  QByteArray(3000, 'y') + ",z\r\n");
        BuildYearTables(tables, 2024, dir.path());
    }
};

} // namespace

void tst_DayAnnotation::annotation_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("text");
    QTest::newRow("all four kinds")
        << 0 << 3 << 3 << 30 << QStringLiteral("▼休業日\r\n◆棚卸\r\n★結婚記念日[12]\r\n会議");
    QTest::newRow("holiday only") << 0 << 0 << 3 << 30 << QStringLiteral("▼休業日");
    QTest::newRow("schedule only") << 3 << 3 << 3 << 30 << QStringLiteral("会議");
    QTest::newRow("reversed kinds give nothing") << 2 << 1 << 3 << 30 << QString();
    QTest::newRow("nothing on the day") << 0 << 3 << 3 << 29 << QString();
    QTest::newRow("substitute on the next day only")
        << 0 << 0 << 11 << 4 << QStringLiteral("▼振替休日");
    QTest::newRow("quoted title shows its quotes")
        << 1 << 1 << 4 << 1 << QStringLiteral("◆\"a b\"");
    QTest::newRow("anniversary in an earlier year, without comma left out")
        << 2 << 2 << 3 << 31 << QStringLiteral("★未来[-2]");
    QTest::newRow("anniversary without a year shows no years")
        << 0 << 3 << 4 << 7 << QStringLiteral("★父の誕生日");
    QTest::newRow("29 February without a year, in a leap year")
        << 2 << 2 << 2 << 29 << QStringLiteral("★祖母");
    QTest::newRow("two entries") << 3 << 3 << 3 << 31 << QStringLiteral("A-B-C\r\nD");
    // The lines of a day are those its day list shows (IsDayLine): a quoted date is one, a date
    // with more after it none.
    QTest::newRow("quoted date") << 3 << 3 << 4 << 2 << QStringLiteral("引用");
    QTest::newRow("date with a letter after it") << 3 << 3 << 4 << 3 << QString();
    // A line that cleans to nothing is a line of its own, but for one before any text.
    QTest::newRow("empty entries") << 0 << 3 << 4 << 5 << QStringLiteral("x\r\n\r\ny");
    // Lines far longer than a hint shows, one that cleans down by more than the hint looks at.
    QTest::newRow("long lines") << 0 << 3 << 4 << 6
                                << QStringLiteral("★") + QString(2000, QLatin1Char('w')) +
                                       QStringLiteral("[24]\r\n-") +
                                       QString(3000, QLatin1Char('y')) + QStringLiteral("-z");
}

void tst_DayAnnotation::annotation() {
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QString, text);
    Fixture f;
    const QByteArray got = BuildDayAnnotation(f.tables, first, last, 2024, month, day);
    QCOMPARE(Codec::toUnicode(got), text);
    // Asked twice (painting repeats) the answer is the same.
    QCOMPARE(BuildDayAnnotation(f.tables, first, last, 2024, month, day), got);
    if (first == last)
        QCOMPARE(f.tables.hasAnnotation(first, 2024, month, day), !text.isEmpty());
    // The hint makes only the lines it shows, and shows what the whole text would.
    if (first == 0 && last == 3)
        for (qsizetype maxLines : {2, 3, 4, 5})
            QCOMPARE(ShownDayAnnotation(f.tables, 2024, month, day, maxLines),
                     ShownLines(got, MaxShownLineChars, maxLines));
}

void tst_DayAnnotation::scheduleCleaning_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("text");
    QTest::newRow("place and memo")
        << sj("20250105,1,,,会議,本社,資料") << QStringLiteral("会議-本社-資料");
    QTest::newRow("neither") << sj("20250105,1,,,会議,,") << QStringLiteral("会議");
    QTest::newRow("memo only") << sj("20250105,1,,,会議,,資料") << QStringLiteral("会議資料");
    QTest::newRow("place only") << sj("20250105,1,,,会議,本社,") << QStringLiteral("会議-本社-");
    QTest::newRow("saved form of neither")
        << sj("20250105,1,\" \",\" \",会議,\" \",\" \"") << QStringLiteral("会議");
    QTest::newRow("saved form of memo only")
        << sj("20250105,1,\" \",\" \",会議,\" \",資料") << QStringLiteral("会議資料");
    QTest::newRow("comma inside a quoted title")
        << sj("20250105,1,,,\"a,b\",,") << QStringLiteral("\"a-b\"");
    QTest::newRow("empty title is no line of its own") << sj("20250105,1,,,,,") << QString();
    QTest::newRow("one comma never matches") << sj("20250105,x") << QString();
}

void tst_DayAnnotation::scheduleCleaning() {
    QFETCH(QByteArray, line);
    QFETCH(QString, text);
    TempDataFolder dir;
    dir.write(QStringLiteral("2025.csv"), line + "\r\n");
    YearTables t;
    BuildYearTables(t, 2025, dir.path());
    QCOMPARE(Codec::toUnicode(BuildDayAnnotation(t, 3, 3, 2025, 1, 5)), text);
}

void tst_DayAnnotation::otherYearsAndBadLines() {
    Fixture f;
    // A line of another year in the file matches when that year is asked.
    QCOMPARE(BuildDayAnnotation(f.tables, 3, 3, 2025, 3, 31), sj("other year"));
    QVERIFY(BuildDayAnnotation(f.tables, 3, 3, 2024, 3, 31) != sj("other year"));

    // 29 February without a year is a yearly event on that day: in a common year it is not
    // moved to a day next to it, as calendars show such an event from a sync.
    YearTables common;
    BuildYearTables(common, 2025, f.dir.path());
    QVERIFY(!common.hasAnnotation(akAnniversary, 2025, 2, 28));
    QVERIFY(!common.hasAnnotation(akAnniversary, 2025, 3, 1));

    // An anniversary whose year cannot be read is left out; the others still show.
    TempDataFolder dir;
    dir.write(AnniversaryFileName, sj("abcd/03/30,壊れた,\r\n2012/03/30,結婚記念日,\r\n"));
    YearTables t;
    BuildYearTables(t, 2024, dir.path());
    QCOMPARE(Codec::toUnicode(BuildDayAnnotation(t, 2, 2, 2024, 3, 30)),
             QStringLiteral("★結婚記念日[12]"));
    // Dates that do not exist are asked for nothing.
    QVERIFY(BuildDayAnnotation(t, 0, 3, 2024, 13, 1).isEmpty());
    QVERIFY(BuildDayAnnotation(t, 0, 3, 2024, 2, 0).isEmpty());
}

QTEST_GUILESS_MAIN(tst_DayAnnotation)
#include "tst_dayannotation.moc"
