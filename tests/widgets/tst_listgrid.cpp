#include "widgets/ListGrid.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

class tst_ListGrid : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cellColours_data();
    void cellColours();
    void fixedColumnTextRightAligned();
    void hiddenColumnTakesNoSpace();
    void clickOnFixedCellKeepsCurrentRow();
    void dragByFixedCellMovesRow();
    void doubleClickAnywhere();

private:
    ListGrid* m_view = nullptr;
};

// Three body rows under one header row; column 0 hidden, column 1 the fixed "№" column.
void tst_ListGrid::init() {
    m_view = new ListGrid;
    m_view->grid() = StringGrid(4, 5, 1, 2);
    const QList<QByteArray> header{"key", "No", "a", "b"};
    for (int c = 0; c < 4; ++c)
        m_view->grid().setCell(c, 0, header.at(c));
    for (int r = 1; r < 5; ++r) {
        m_view->grid().setCell(1, r, QByteArray::number(r));
        m_view->grid().setCell(2, r, "x" + QByteArray::number(r));
    }
    m_view->resize(400, 200);
    m_view->setColumnWidths({-1, 35, 60, 100});
    m_view->refresh();
    m_view->setCurrentGridRow(2);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view));
}

void tst_ListGrid::cleanup() {
    delete m_view;
    m_view = nullptr;
}

static QPoint cellCentre(ListGrid* v, int column, int gridRow) {
    return v->visualRect(v->model()->index(gridRow - 1, column)).center();
}

void tst_ListGrid::cellColours_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first body row white") << 3 << 1 << "white";
    QTest::newRow("current row aqua") << 3 << 2 << "aqua";
    QTest::newRow("odd row index white") << 3 << 3 << "white";
    QTest::newRow("even row index light green") << 3 << 4 << "green";
    QTest::newRow("fixed cell of the current row is not selected") << 1 << 2 << "fixed";
    QTest::newRow("header") << 3 << 0 << "fixed";
    // The lines between the cells, in the style's grid colour, one pixel past the cell.
    QTest::newRow("grid line below a body cell") << 2 << 3 << "line below";
    QTest::newRow("grid line right of a body cell") << 2 << 3 << "line right";
}

void tst_ListGrid::cellColours() {
    QFETCH(int, column);
    QFETCH(int, row);
    QFETCH(QString, expected);
    QStyleOptionViewItem option;
    option.initFrom(m_view);
    const QColor line = QColor::fromRgba(
        QRgb(m_view->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, m_view)));
    const QColor want = expected == QLatin1String("white")   ? QColor(255, 255, 255)
                        : expected == QLatin1String("aqua")  ? QColor(0, 255, 255)
                        : expected == QLatin1String("green") ? QColor(150, 245, 150)
                        : expected.startsWith(QLatin1String("line"))
                            ? line
                            : CellColors::ButtonFace; // the same under any theme
    QImage image;
    QRect rect;
    if (row == 0) {
        image = m_view->horizontalHeader()->grab().toImage();
        QHeaderView* h = m_view->horizontalHeader();
        rect = QRect(h->sectionViewportPosition(column), 0, h->sectionSize(column), h->height());
    } else {
        image = m_view->viewport()->grab().toImage();
        rect = m_view->visualRect(m_view->model()->index(row - 1, column));
    }
    // Right of the short text and inside the grid lines and raised edges.
    QPoint sample(rect.right() - 4, rect.bottom() - 3);
    if (expected == QLatin1String("line below"))
        sample = QPoint(rect.center().x(), rect.bottom() + 1);
    else if (expected == QLatin1String("line right"))
        sample = QPoint(rect.right() + 1, rect.center().y());
    QCOMPARE(image.pixelColor(sample).name(), want.name());
}

void tst_ListGrid::fixedColumnTextRightAligned() {
    m_view->grid().setCell(1, 1, "7");
    m_view->refresh();
    const QImage image = m_view->viewport()->grab().toImage();
    const QRect rect = m_view->visualRect(m_view->model()->index(0, 1));
    int leftmostInk = -1;
    for (int x = rect.left() + 2; x < rect.right() - 1 && leftmostInk < 0; ++x)
        for (int y = rect.top() + 2; y < rect.bottom() - 1; ++y)
            if (image.pixelColor(x, y).lightness() < 100) {
                leftmostInk = x;
                break;
            }
    QVERIFY(leftmostInk >= 0);
    QVERIFY2(leftmostInk > rect.center().x(), "the number should stand at the right edge");
}

void tst_ListGrid::hiddenColumnTakesNoSpace() {
    QVERIFY(m_view->isColumnHidden(0));
    QCOMPARE(m_view->columnViewportPosition(1), 0);
    QCOMPARE(m_view->columnWidth(2), 60);
    QCOMPARE(m_view->rowHeight(0), 24);
}

void tst_ListGrid::clickOnFixedCellKeepsCurrentRow() {
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, cellCentre(m_view, 1, 4));
    QCOMPARE(m_view->grid().currentRow(), 2);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, cellCentre(m_view, 3, 4));
    QCOMPARE(m_view->grid().currentRow(), 4);
    QTest::keyClick(m_view, Qt::Key_Up);
    QCOMPARE(m_view->grid().currentRow(), 3);
}

void tst_ListGrid::dragByFixedCellMovesRow() {
    // Row 2 (current) dragged onto row 4: rows 3 and 4 move up, nobody is renumbered.
    QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, cellCentre(m_view, 1, 2));
    QTest::mouseMove(m_view->viewport(), cellCentre(m_view, 1, 3));
    QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, cellCentre(m_view, 1, 4));
    QList<QByteArray> numbers;
    for (int r = 1; r < 5; ++r)
        numbers.append(m_view->grid().cell(1, r));
    QCOMPARE(numbers, (QList<QByteArray>{"1", "3", "4", "2"}));
    QCOMPARE(m_view->grid().currentRow(), 4);
    QCOMPARE(m_view->grid().cell(2, 4), QByteArray("x2"));
}

void tst_ListGrid::doubleClickAnywhere() {
    QSignalSpy spy(m_view, &ListGrid::dblClicked);
    QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, cellCentre(m_view, 3, 3));
    QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, cellCentre(m_view, 1, 1));
    QHeaderView* h = m_view->horizontalHeader();
    QTest::mouseDClick(h->viewport(), Qt::LeftButton, {},
                       QPoint(h->sectionViewportPosition(2) + 20, 10));
    QTest::keyClick(m_view, Qt::Key_Return); // the keyboard's way to open a row
    QTest::keyClick(m_view, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(spy.count(), 5);
}

QTEST_MAIN(tst_ListGrid)
#include "tst_listgrid.moc"
