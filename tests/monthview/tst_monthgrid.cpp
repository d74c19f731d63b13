#include "monthview/MonthGrid.h"

#include <QTest>

class tst_MonthGrid : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void cellTexts();
    void weekdayOfAnyYear();
    void selection();
    void selectDay();
    void dayToSelect_data();
    void dayToSelect();
    void stepping_data();
    void stepping();
    void stepDay_data();
    void stepDay();
    void scheduleDate_data();
    void scheduleDate();
};

namespace {

// Where each day stands: (column, row) per day, and the days of the month.
struct Placement {
    int days = 0;
    QList<QPoint> cells; // index day - 1
};

Placement placementOf(const MonthGrid& grid) {
    Placement p;
    for (int day = 1; day <= 31; ++day)
        for (int col = 0; col < MonthGrid::ColCount; ++col)
            for (int row = 1; row < MonthGrid::RowCount; ++row)
                if (grid.dayAt(col, row) == day) {
                    p.cells.append(QPoint(col, row));
                    p.days = day;
                }
    return p;
}

bool rowEmpty(const MonthGrid& grid, int row) {
    for (int col = 0; col < MonthGrid::ColCount; ++col)
        if (!grid.cell(col, row).isEmpty())
            return false;
    return true;
}

} // namespace

void tst_MonthGrid::layout_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("days");
    QTest::addColumn<QPoint>("first");
    QTest::addColumn<QPoint>("last");
    QTest::addColumn<bool>("row1Empty");
    QTest::addColumn<bool>("row6Empty");
    QTest::newRow("September 2024 begins on a Sunday")
        << 2024 << 9 << 30 << QPoint(0, 2) << QPoint(1, 6) << true << false;
    QTest::newRow("February 2026: Sunday, 28 days")
        << 2026 << 2 << 28 << QPoint(0, 2) << QPoint(6, 5) << true << true;
    QTest::newRow("March 2025 begins on a Saturday")
        << 2025 << 3 << 31 << QPoint(6, 1) << QPoint(1, 6) << false << false;
    QTest::newRow("February 2024 leap")
        << 2024 << 2 << 29 << QPoint(4, 1) << QPoint(4, 5) << false << true;
    QTest::newRow("February 2000 leap")
        << 2000 << 2 << 29 << QPoint(2, 1) << QPoint(2, 5) << false << true;
    QTest::newRow("February 2023 common")
        << 2023 << 2 << 28 << QPoint(3, 1) << QPoint(2, 5) << false << true;
    QTest::newRow("February 2100 common")
        << 2100 << 2 << 28 << QPoint(1, 1) << QPoint(0, 5) << false << true;
    QTest::newRow("December 1979")
        << 1979 << 12 << 31 << QPoint(6, 1) << QPoint(1, 6) << false << false;
}

void tst_MonthGrid::layout() {
    QFETCH(int, year);
    QFETCH(int, month);
    MonthGrid grid;
    grid.writeHeader();
    // Leftovers of a longer month must go.
    grid.layOutMonth(2025, 3);
    grid.layOutMonth(year, month);
    const Placement p = placementOf(grid);
    QTEST(p.days, "days");
    QCOMPARE(p.cells.size(), p.days);
    QTEST(p.cells.first(), "first");
    QTEST(p.cells.last(), "last");
    QTEST(rowEmpty(grid, 1), "row1Empty");
    QTEST(rowEmpty(grid, 6), "row6Empty");
    // Consecutive days run left to right, wrapping to the next row.
    for (int i = 1; i < p.cells.size(); ++i) {
        const QPoint a = p.cells.at(i - 1);
        const QPoint b = p.cells.at(i);
        QCOMPARE(b, a.x() == 6 ? QPoint(0, a.y() + 1) : QPoint(a.x() + 1, a.y()));
    }
    QCOMPARE(grid.cell(0, 0), QStringLiteral("日"));
    QCOMPARE(grid.cell(6, 0), QStringLiteral("土"));
}

void tst_MonthGrid::cellTexts() {
    MonthGrid grid;
    grid.layOutMonth(2025, 3);
    QCOMPARE(grid.cell(6, 1), QStringLiteral(" 1"));
    QCOMPARE(grid.cell(0, 2), QStringLiteral(" 2"));
    QCOMPARE(grid.cell(0, 3), QStringLiteral(" 9"));
    QCOMPARE(grid.cell(1, 3), QStringLiteral("10"));
    QCOMPARE(grid.cell(1, 6), QStringLiteral("31"));
    QCOMPARE(grid.cell(0, 1), QString());
    QCOMPARE(grid.dayAt(0, 1), 0);
}

void tst_MonthGrid::weekdayOfAnyYear() {
    for (int year : {1, 4, 100, 1600, 1899, 1979, 1980, 2000, 2024, 2099, 2100, 2400, 9999})
        for (int month = 1; month <= 12; ++month)
            for (int day : {1, 15, 28})
                QCOMPARE(WeekdayOf(year, month, day), QDate(year, month, day).dayOfWeek() % 7);
    // Years QDate has no date for still lay out: 1 January of year 0 was a Saturday.
    QCOMPARE(WeekdayOf(0, 1, 1), 6);
    QCOMPARE(WeekdayOf(-1, 12, 31), 5);
}

void tst_MonthGrid::selection() {
    MonthGrid grid;
    grid.writeHeader();
    grid.layOutMonth(2025, 3); // row 1 holds only day 1, in column 6
    QVERIFY(grid.select(6, 1));
    QVERIFY(!grid.select(0, 1)); // empty cell
    QVERIFY(!grid.select(3, 0)); // header row
    QVERIFY(!grid.select(7, 2));
    QCOMPARE(QPoint(grid.col(), grid.row()), QPoint(6, 1));

    grid.setFilling(true);
    QVERIFY(grid.canSelect(0, 1));
    QVERIFY(!grid.canSelect(0, 0)); // the header never, filling or not
    grid.setFilling(false);
    QVERIFY(!grid.canSelect(0, 1));
}

void tst_MonthGrid::selectDay() {
    MonthGrid grid;
    grid.layOutMonth(2024, 9);
    QVERIFY(grid.selectDay(30));
    QCOMPARE(QPoint(grid.col(), grid.row()), QPoint(1, 6));
    QVERIFY(grid.selectDay(1));
    QCOMPARE(QPoint(grid.col(), grid.row()), QPoint(0, 2));
    QVERIFY(!grid.selectDay(31)); // September has no 31st: nothing moves
    QCOMPARE(QPoint(grid.col(), grid.row()), QPoint(0, 2));
}

void tst_MonthGrid::dayToSelect_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("day");
    QTest::newRow("current month") << 2025 << 3 << QDate(2025, 3, 7) << 7;
    QTest::newRow("other month") << 2025 << 4 << QDate(2025, 3, 7) << 1;
    QTest::newRow("same month, other year") << 2024 << 3 << QDate(2025, 3, 7) << 1;
    QTest::newRow("last day") << 2024 << 2 << QDate(2024, 2, 29) << 29;
}

void tst_MonthGrid::dayToSelect() {
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(QDate, today);
    QTEST(DayToSelect(year, month, today), "day");
}

void tst_MonthGrid::stepping_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("prevYear");
    QTest::addColumn<int>("prevMonth");
    QTest::addColumn<int>("nextYear");
    QTest::addColumn<int>("nextMonth");
    QTest::newRow("January 1980") << 1980 << 1 << 1979 << 12 << 1980 << 2;
    QTest::newRow("December 2099") << 2099 << 12 << 2099 << 11 << 2100 << 1;
    QTest::newRow("December 2030") << 2030 << 12 << 2030 << 11 << 2031 << 1;
    QTest::newRow("mid-year") << 2025 << 6 << 2025 << 5 << 2025 << 7;
}

void tst_MonthGrid::stepping() {
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, prevYear);
    QFETCH(int, prevMonth);
    QFETCH(int, nextYear);
    QFETCH(int, nextMonth);
    QCOMPARE(PreviousMonth({year, month}), (ShownMonth{prevYear, prevMonth}));
    QCOMPARE(NextMonth({year, month}), (ShownMonth{nextYear, nextMonth}));
}

void tst_MonthGrid::stepDay_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("days");
    QTest::addColumn<QDate>("reached");
    QTest::newRow("within the month") << 2025 << 3 << 10 << 7 << QDate(2025, 3, 17);
    QTest::newRow("back from the 1st") << 2025 << 3 << 1 << -1 << QDate(2025, 2, 28);
    QTest::newRow("a week back into a leap February") << 2024 << 3 << 3 << -7 << QDate(2024, 2, 25);
    QTest::newRow("a week on from 28 February 2024") << 2024 << 2 << 28 << 7 << QDate(2024, 3, 6);
    QTest::newRow("into the next year") << 2025 << 12 << 31 << 1 << QDate(2026, 1, 1);
    QTest::newRow("into the previous year") << 1980 << 1 << 1 << -1 << QDate(1979, 12, 31);
    QTest::newRow("the month's last day") << 2023 << 2 << 21 << 7 << QDate(2023, 2, 28);
}

void tst_MonthGrid::stepDay() {
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, days);
    QFETCH(QDate, reached);
    const ShownMonth shown = StepDay({year, month}, day, days);
    QCOMPARE(QDate(shown.year, shown.month, day), reached);
}

void tst_MonthGrid::scheduleDate_data() {
    QTest::addColumn<QString>("yearText");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("date");
    QTest::newRow("7 March 2025") << "2025" << 3 << 7 << "2025/03/07";
    QTest::newRow("25 December 2025") << "2025" << 12 << 25 << "2025/12/25";
    QTest::newRow("the year as the field shows it") << "1979" << 1 << 1 << "1979/01/01";
}

void tst_MonthGrid::scheduleDate() {
    QFETCH(QString, yearText);
    QFETCH(int, month);
    QFETCH(int, day);
    QTEST(DayScheduleDate(yearText, month, day), "date");
}

QTEST_GUILESS_MAIN(tst_MonthGrid)
#include "tst_monthgrid.moc"
