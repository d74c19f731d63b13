#include "TestSupport.h"
#include "data/TextFile.h"
#include "rules/ComType.h"
#include "rules/StringGrid.h"
#include "rules/YearTables.h"

#include <QTest>

// The holidays of Japan as the shipped holiday.csv gives them. Facts from the Cabinet Office's
// list of national holidays for 2025 and 2026 (令和7年・8年 国民の祝日).
class tst_ShippedHolidays : public QObject {
    Q_OBJECT
private slots:
    void year_data();
    void year();
    void fileIsInTheListsOwnOrder();
};

void tst_ShippedHolidays::year_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<QStringList>("days");
    QTest::newRow("2025") << 2025
                          << QStringList{
                                 "01/01 元日",         "01/13 成人の日",   "02/11 建国記念の日",
                                 "02/23 天皇誕生日",   "02/24 振替休日",   "03/20 春分の日",
                                 "04/29 昭和の日",     "05/03 憲法記念日", "05/04 みどりの日",
                                 "05/05 こどもの日",   "05/06 振替休日",   "07/21 海の日",
                                 "08/11 山の日",       "09/15 敬老の日",   "09/23 秋分の日",
                                 "10/13 スポーツの日", "11/03 文化の日",   "11/23 勤労感謝の日",
                                 "11/24 振替休日"};
    QTest::newRow("2026") << 2026
                          << QStringList{
                                 "01/01 元日",       "01/12 成人の日",    "02/11 建国記念の日",
                                 "02/23 天皇誕生日", "03/20 春分の日",    "04/29 昭和の日",
                                 "05/03 憲法記念日", "05/04 みどりの日",  "05/05 こどもの日",
                                 "05/06 振替休日",   "07/20 海の日",      "08/11 山の日",
                                 "09/21 敬老の日",   "09/23 秋分の日",    "10/12 スポーツの日",
                                 "11/03 文化の日",   "11/23 勤労感謝の日"};
}

void tst_ShippedHolidays::year() {
    QFETCH(int, year);
    QFETCH(QStringList, days);
    YearTables t;
    BuildYearTables(t, year, QStringLiteral(KALENDO_SHIPPED_CLIENT));
    QStringList got;
    for (int m = 1; m <= 12; ++m)
        for (int d = 1; d <= DaysInMonth(year, m); ++d) {
            const QByteArray text = BuildDayAnnotation(t, akHoliday, akHoliday, year, m, d);
            for (const QByteArray& line : text.split('\n'))
                if (!line.isEmpty())
                    got << QString::asprintf("%.2d/%.2d ", m, d) +
                               Codec::toUnicode(line.trimmed()).mid(1);
        }
    QCOMPARE(got, days);
}

void tst_ShippedHolidays::fileIsInTheListsOwnOrder() {
    const QString path = QStringLiteral(KALENDO_SHIPPED_CLIENT) + HolidayFileName;
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.endsWith("\r\n"));
    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
    const TextLines lines = LoadTextLines(path);
    StringGrid g(4, 1 + int(lines.size()), 1);
    for (int i = 0; i < lines.size(); ++i)
        CommaLineToRow(lines.at(i) + ',', g.row(i + 1));
    SortGridRows(g, 0, false);
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(RowToCommaLine(g.row(i + 1)), lines.at(i));
}

QTEST_GUILESS_MAIN(tst_ShippedHolidays)
#include "tst_shippedholidays.moc"
