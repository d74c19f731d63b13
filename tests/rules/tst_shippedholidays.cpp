#include "TestSupport.h"
#include "data/TextFile.h"
#include "rules/ComType.h"
#include "rules/StringGrid.h"
#include "rules/YearTables.h"

#include <QTest>

// The holidays of Japan as the shipped holiday.csv gives them. Facts from the Cabinet Office's
// lists of national holidays for 2022 to 2027 (令和4年 to 令和9年 国民の祝日).
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
    QTest::newRow("2022") << 2022 << QStringList{"01/01 元日",         "01/10 成人の日",
                                                 "02/11 建国記念の日", "02/23 天皇誕生日",
                                                 "03/21 春分の日",     "04/29 昭和の日",
                                                 "05/03 憲法記念日",   "05/04 みどりの日",
                                                 "05/05 こどもの日",   "07/18 海の日",
                                                 "08/11 山の日",       "09/19 敬老の日",
                                                 "09/23 秋分の日",     "10/10 スポーツの日",
                                                 "11/03 文化の日",     "11/23 勤労感謝の日"};
    QTest::newRow("2023") << 2023
                          << QStringList{
                                 "01/01 元日",         "01/02 振替休日",    "01/09 成人の日",
                                 "02/11 建国記念の日", "02/23 天皇誕生日",  "03/21 春分の日",
                                 "04/29 昭和の日",     "05/03 憲法記念日",  "05/04 みどりの日",
                                 "05/05 こどもの日",   "07/17 海の日",      "08/11 山の日",
                                 "09/18 敬老の日",     "09/23 秋分の日",    "10/09 スポーツの日",
                                 "11/03 文化の日",     "11/23 勤労感謝の日"};
    QTest::newRow("2024") << 2024
                          << QStringList{
                                 "01/01 元日",       "01/08 成人の日",   "02/11 建国記念の日",
                                 "02/12 振替休日",   "02/23 天皇誕生日", "03/20 春分の日",
                                 "04/29 昭和の日",   "05/03 憲法記念日", "05/04 みどりの日",
                                 "05/05 こどもの日", "05/06 振替休日",   "07/15 海の日",
                                 "08/11 山の日",     "08/12 振替休日",   "09/16 敬老の日",
                                 "09/22 秋分の日",   "09/23 振替休日",   "10/14 スポーツの日",
                                 "11/03 文化の日",   "11/04 振替休日",   "11/23 勤労感謝の日"};
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
                                 "01/01 元日",         "01/12 成人の日",   "02/11 建国記念の日",
                                 "02/23 天皇誕生日",   "03/20 春分の日",   "04/29 昭和の日",
                                 "05/03 憲法記念日",   "05/04 みどりの日", "05/05 こどもの日",
                                 "05/06 振替休日",     "07/20 海の日",     "08/11 山の日",
                                 "09/21 敬老の日",     "09/22 国民の休日", "09/23 秋分の日",
                                 "10/12 スポーツの日", "11/03 文化の日",   "11/23 勤労感謝の日"};
    QTest::newRow("2027") << 2027
                          << QStringList{
                                 "01/01 元日",       "01/11 成人の日",    "02/11 建国記念の日",
                                 "02/23 天皇誕生日", "03/21 春分の日",    "03/22 振替休日",
                                 "04/29 昭和の日",   "05/03 憲法記念日",  "05/04 みどりの日",
                                 "05/05 こどもの日", "07/19 海の日",      "08/11 山の日",
                                 "09/20 敬老の日",   "09/23 秋分の日",    "10/11 スポーツの日",
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
