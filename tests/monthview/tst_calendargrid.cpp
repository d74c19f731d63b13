#include "monthview/CalendarGrid.h"
#include "monthview/MonthCellPaint.h"

#include <QApplication>
#include <QBackingStore>
#include <QProcess>
#include <QScreen>
#include <QTest>

// The month grid control on the screen, at the desktop's scale factors.
class tst_CalendarGrid : public QObject {
    Q_OBJECT
private slots:
    void focusMarkAtScale_data();
    void focusMarkAtScale();
    void focusMarkAtThisScale();
};

void tst_CalendarGrid::focusMarkAtScale_data() {
    QTest::addColumn<QByteArray>("scale");
    QTest::newRow("1.5") << QByteArray("1.5");
    QTest::newRow("2") << QByteArray("2");
}

// The scale factor is read once per process: each runs in a process of its own.
void tst_CalendarGrid::focusMarkAtScale() {
    QFETCH(QByteArray, scale);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("focusMarkAtThisScale")});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 0);
}

// What the window shows after the current cell has moved is what painting it afresh gives:
// no focus mark is left on a cell that is no longer current.
void tst_CalendarGrid::focusMarkAtThisScale() {
    TCalendarGrid grid;
    grid.setFont(QFont(QStringLiteral("monospace"), 18));
    grid.resize(220, 220);
    grid.Cells().writeHeader();
    grid.Cells().setFilling(true);
    grid.Cells().layOutMonth(2025, 3);
    SelectDayCell(7, &grid);
    grid.Cells().setFilling(false);
    grid.OnDrawCell = [&grid](TGridCanvas& canvas, int col, int row, const QRect& rect,
                              TGridDrawState state) {
        PaintMonthCell(canvas, col, rect, state, grid.Cells().cell(col, row),
                       [](int) { return false; });
    };
    grid.show();
    QVERIFY(QTest::qWaitForWindowActive(&grid));
    grid.setFocus();
    // 0: the focus leaves the grid, or comes back to it; Refill: April fills the week rows,
    // which alone are repainted (March's last row, the 30th and 31st, empties).
    constexpr int Refill = -1;
    const QList<int> moves = {Qt::Key_Right, Qt::Key_Down,  Qt::Key_Left, Qt::Key_Up, Qt::Key_Up,
                              Qt::Key_Right, Qt::Key_Right, Qt::Key_Down, 0,          0,
                              Qt::Key_Left,  Refill,        Qt::Key_Right};
    for (int key : moves) {
        if (key == Refill) {
            grid.Cells().setFilling(true);
            grid.Cells().layOutMonth(2025, 4);
            SelectDayCell(1, &grid);
            grid.Cells().setFilling(false);
            grid.UpdateWeekRows();
        } else if (key == 0 && grid.hasFocus())
            grid.clearFocus();
        else if (key == 0)
            grid.setFocus();
        else
            QTest::keyClick(&grid, Qt::Key(key));
        QCoreApplication::processEvents();
        QTest::qWait(20);
        // The window's own pixels, as the last paints left them.
        const auto* stored = dynamic_cast<const QImage*>(grid.backingStore()->paintDevice());
        QVERIFY(stored);
        const QImage shown = stored->copy(QRect(QPoint(0, 0), grid.grab().size()));
        const QImage fresh = grid.grab().toImage();
        QCOMPARE(shown.size(), fresh.size());
        QVERIFY2(shown.convertToFormat(QImage::Format_RGB32) ==
                     fresh.convertToFormat(QImage::Format_RGB32),
                 qPrintable(QStringLiteral("after moving to %1,%2 at %3")
                                .arg(grid.Col())
                                .arg(grid.Row())
                                .arg(grid.devicePixelRatioF())));
    }
}

QTEST_MAIN(tst_CalendarGrid)
#include "tst_calendargrid.moc"
