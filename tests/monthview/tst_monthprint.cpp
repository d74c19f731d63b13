#include "TestSupport.h"
#include "monthview/MonthCellPaint.h"
#include "monthview/MonthPrint.h"
#include "rules/YearTables.h"

#include <QImage>
#include <QProcess>
#include <QTest>

// The page is checked as a reader of the PDF sees it: poppler renders it to an image and
// extracts its text.
class tst_MonthPrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void heading_data();
    void heading();
    void pdfText_data();
    void pdfText();
    void pdfColours_data();
    void pdfColours();

private:
    TempDataFolder m_data;
    QString m_pdf;
};

namespace {

constexpr int Dpi = 60;

QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QByteArray();
    return process.readAllStandardOutput();
}

// The share of a rectangle's pixels close to a colour.
double share(const QImage& image, const QRect& area, const QColor& colour) {
    int hits = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            hits += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                        std::abs(c.blue() - colour.blue()) <
                    60;
        }
    return double(hits) / (area.width() * area.height());
}

} // namespace

void tst_MonthPrint::initTestCase() {
    m_data.write(QStringLiteral("holiday.csv"), sj("03/03,ひなまつり休業,0,0\r\n"));
    m_data.write(QStringLiteral("event.csv"), sj("03/10,棚卸,0,0\r\n"));
    m_data.write(QStringLiteral("anniversary.csv"), sj("2012/03/14,結婚記念日,\r\n"));
    // 18 March holds fifteen entries, more than a printed cell shows.
    QByteArray busy;
    for (int n = 1; n <= 15; ++n)
        busy += "20250318," + QByteArray::number(n) + ",,,e" + QByteArray::number(n) + ",,\r\n";
    m_data.write(
        QStringLiteral("2025.csv"),
        sj("20250307,1,09:00,10:00,会議,本社,\r\n20250307,2,,,\"長い長い長い長い長い長い長い"
           "長い長い長い予定\",,\r\n") +
            busy);
    YearTables tables;
    BuildYearTables(tables, 2025, m_data.path());
    m_pdf = m_data.file(QStringLiteral("month.pdf"));
    WriteMonthPdf(m_pdf, tables, 2025, 3);
}

void tst_MonthPrint::heading_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<QString>("heading");
    // Era changes: 令和 from 1 May 2019, 平成 from 8 January 1989.
    QTest::newRow("R8") << 2026 << 12 << QStringLiteral("2026年（令和8年）12月");
    QTest::newRow("first year of Reiwa") << 2019 << 5 << QStringLiteral("2019年（令和元年）5月");
    QTest::newRow("last month of Heisei") << 2019 << 4 << QStringLiteral("2019年（平成31年）4月");
    QTest::newRow("January 1989 ends in Heisei")
        << 1989 << 1 << QStringLiteral("1989年（平成元年）1月");
    QTest::newRow("Showa") << 1988 << 12 << QStringLiteral("1988年（昭和63年）12月");
}

void tst_MonthPrint::heading() {
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(QString, heading);
    QCOMPARE(MonthPageHeading(year, month), heading);
}

void tst_MonthPrint::pdfText_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("heading") << QStringLiteral("2025年（令和7年）3月");
    QTest::newRow("holiday") << QStringLiteral("▼ひなまつり休業");
    QTest::newRow("computed holiday") << QStringLiteral("▼春分の日");
    QTest::newRow("anniversary with its years") << QStringLiteral("★結婚記念日[13]");
    QTest::newRow("entry with its time") << QStringLiteral("09:00 会議");
    QTest::newRow("long title cut whole") << QStringLiteral("長い長い…");
    QTest::newRow("full cell counts what it leaves out")
        << QStringLiteral("他11件"); // e1, e10, e11, e12 shown
}

void tst_MonthPrint::pdfText() {
    QFETCH(QString, text);
    QString got = QString::fromUtf8(run(QStringLiteral("pdftotext"), {m_pdf, QStringLiteral("-")}));
    QVERIFY2(!got.isEmpty(), "pdftotext read nothing");
    QVERIFY2(got.remove(QLatin1Char(' ')).contains(QString(text).remove(QLatin1Char(' '))),
             qPrintable(got));
}

void tst_MonthPrint::pdfColours_data() {
    QTest::addColumn<int>("day");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("digits");
    QTest::newRow("holiday digits") << 3 << QColor(Qt::white) << MonthColors::Holiday;
    QTest::newRow("event background") << 10 << MonthColors::Event << MonthColors::Weekday;
    QTest::newRow("anniversary background")
        << 14 << MonthColors::Anniversary << MonthColors::Weekday;
    QTest::newRow("Sunday") << 9 << QColor(Qt::white) << MonthColors::Sunday;
    QTest::newRow("Saturday") << 8 << QColor(Qt::white) << MonthColors::Saturday;
}

void tst_MonthPrint::pdfColours() {
    QFETCH(int, day);
    QFETCH(QColor, background);
    QFETCH(QColor, digits);
    const QString prefix = m_data.file(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(Dpi),
         QStringLiteral("-singlefile"), m_pdf, prefix});
    const QImage image(prefix + QStringLiteral(".png"));
    QVERIFY(!image.isNull());
    QCOMPARE(image.width() > image.height(), true); // landscape
    // A4 landscape in the image's pixels.
    const QRectF page(0, 0, image.width(), image.height());
    const QRect cell = MonthPageDayRect(page, 2025, 3, day).toRect().adjusted(2, 2, -2, -2);
    const QRect number(cell.topLeft(), QSize(cell.width() / 4, cell.height() / 4));
    const QRect corner(cell.bottomRight() - QPoint(cell.width() / 5, cell.height() / 5),
                       cell.bottomRight());
    QVERIFY2(share(image, corner, background) > 0.9, "background");
    QVERIFY2(share(image, number, digits) > 0.01, "digits");
}

QTEST_MAIN(tst_MonthPrint)
#include "tst_monthprint.moc"
