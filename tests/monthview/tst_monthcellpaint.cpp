#include "Contrast.h"
#include "TestSupport.h"
#include "monthview/MonthCellPaint.h"
#include "rules/YearTables.h"

#include <QImage>
#include <QPainter>
#include <QTest>

class tst_MonthCellPaint : public QObject {
    Q_OBJECT
private slots:
    void layers_data();
    void layers();
    void repaintDrawsAtTheCorner();
    void everyLayerIsLegible();
};

namespace {
const QColor Window(0xFF, 0xFF, 0xFF);
const QColor Highlight(0x30, 0x8C, 0xC6);
const QColor HighlightText(0xFE, 0xFE, 0xFE);
enum Kinds { H = 1 << akHoliday, E = 1 << akEvent, A = 1 << akAnniversary, S = 1 << akSchedule };
} // namespace

void tst_MonthCellPaint::layers_data() {
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<int>("kinds");
    QTest::addColumn<QColor>("brush");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<bool>("underline");
    using namespace MonthColors;
    QTest::newRow("plain weekday")
        << 3 << false << false << false << 0 << Window << Weekday << false;
    QTest::newRow("Sunday") << 0 << false << false << false << 0 << Window << Sunday << false;
    QTest::newRow("Saturday") << 6 << false << false << false << 0 << Window << Saturday << false;
    QTest::newRow("current Saturday")
        << 6 << false << true << false << 0 << Current << Saturday << false;
    QTest::newRow("Sunday holiday")
        << 0 << false << false << false << int(H) << Window << Holiday << false;
    QTest::newRow("current on an event")
        << 2 << false << true << false << int(E) << Event << Weekday << false;
    QTest::newRow("current on an anniversary")
        << 2 << false << true << false << int(A) << Anniversary << Weekday << false;
    QTest::newRow("event and anniversary")
        << 4 << false << false << false << int(E | A) << Anniversary << Weekday << false;
    QTest::newRow("holiday and anniversary")
        << 1 << false << false << false << int(H | A) << Anniversary << Holiday << false;
    QTest::newRow("schedule only")
        << 6 << false << false << false << int(S) << Window << Saturday << true;
    QTest::newRow("everything, current")
        << 5 << false << true << false << int(H | E | A | S) << Anniversary << Holiday << true;
    // The grid's prepared look stays for cells without a day, whatever the table says.
    QTest::newRow("empty cell") << 3 << false << false << true << int(H | E | A | S) << Window
                                << Weekday << false;
    QTest::newRow("header Sunday")
        << 0 << true << false << false << int(H | E | A | S) << Window << Sunday << false;
    QTest::newRow("header Saturday")
        << 6 << true << false << false << 0 << Window << Saturday << false;
}

void tst_MonthCellPaint::layers() {
    QFETCH(int, col);
    QFETCH(bool, fixed);
    QFETCH(bool, selected);
    QFETCH(bool, empty);
    QFETCH(int, kinds);
    QImage image(30, 30, QImage::Format_RGB32);
    QPainter painter(&image);
    TGridCanvas canvas(painter);
    canvas.Brush = selected ? Highlight : Window;
    canvas.FontColor = selected ? HighlightText : Qt::black;
    int asked = 0;
    LayMonthCell(canvas, col, fixed, selected, empty, [&](int kind) {
        ++asked;
        return (kinds & (1 << kind)) != 0;
    });
    QTEST(canvas.Brush, "brush");
    QTEST(canvas.FontColor, "text");
    QTEST(canvas.Font.underline(), "underline");
    // Header and empty cells never ask the year table.
    QCOMPARE(asked, fixed || empty ? 0 : 4);
}

void tst_MonthCellPaint::repaintDrawsAtTheCorner() {
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TGridCanvas canvas(painter);
    canvas.Font.setPixelSize(24);
    canvas.Brush = MonthColors::Event;
    canvas.FontColor = Qt::black;
    const QRect cell(5, 5, 30, 30);
    canvas.Repaint(cell, QStringLiteral("88"));
    painter.end();
    // The whole cell takes the background, nothing outside it does.
    QCOMPARE(image.pixelColor(cell.topLeft()), MonthColors::Event);
    QCOMPARE(image.pixelColor(cell.bottomRight()), MonthColors::Event);
    QCOMPARE(image.pixelColor(4, 4), QColor(Qt::white));
    QCOMPARE(image.pixelColor(35, 35), QColor(Qt::white));
    // The text starts no nearer than 2 pixels to the corner.
    int firstInk = 40;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            if (image.pixelColor(x, y) != MonthColors::Event)
                firstInk = std::min(firstInk, x);
    QVERIFY(firstInk >= cell.left() + 2);
    QVERIFY(firstInk < cell.left() + 10);
}

// Every text colour of the grid and the lists against every background it can lie on.
void tst_MonthCellPaint::everyLayerIsLegible() {
    namespace C = CellColors;
    for (const QColor& background :
         {C::Window, C::ButtonFace, C::Current, C::Event, C::Anniversary, C::LightGreen})
        for (const QColor& ink : {C::Text, C::Sunday, C::Saturday, C::Holiday})
            QVERIFY2(contrastRatio(ink, background) >= 4.5,
                     qPrintable(ink.name() + QStringLiteral(" on ") + background.name()));
}

QTEST_MAIN(tst_MonthCellPaint)
#include "tst_monthcellpaint.moc"
