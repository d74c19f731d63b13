#pragma once

#include "rules/StringGrid.h"
#include "widgets/UiLook.h"

#include <QColor>
#include <QList>
#include <QRect>
#include <QTableView>

#include <functional>

// The string grid of the list windows.
//
// Usage:
//   auto* grid = new ListGrid(this);            // owns a StringGrid, reachable as grid->grid()
//   grid->grid() = StringGrid(7, 2, 1, 2);      // 7 columns, 1 header row, 2 fixed columns
//   grid->grid().setCell(...); grid->refresh(); // refresh() after every change made to grid()
//   grid->setColumnWidths({-1, 35, 55});        // -1 hides a column; call at every showing
//   connect(grid, &ListGrid::dblClicked, ...);  // double-click anywhere, header included, or Enter
//   grid->setDrawCellHandler(...);              // optional; the default paints by DrawListCell
// Row 0 .. fixedRows-1 of the StringGrid are shown as the (non-scrolling) header; the current
// row of the StringGrid is the selected row of the view and follows clicks and arrow keys.
// A row is moved by dragging its fixed-column cell; a single click there selects nothing.

// What one cell paint receives; rows and columns count from the top left of the whole grid.
struct ListCell {
    int column = 0;
    int row = 0;
    QRect rect;
    bool selected = false;
    bool fixed = false;
    int fixedRows = 0;
    int fixedColumns = 0;
    QString text;
    QColor fixedColour; // the grid's fill for header and fixed-column cells
};

// The common look of the lists: aqua current row, body rows white on odd and light green on
// even row indexes, header text centred, fixed-column text right-aligned; every text clipped
// to its cell.
void DrawListCell(QPainter& painter, const ListCell& cell);

inline const QColor ListSelectedColour = CellColors::Current;
inline const QColor ListOddRowColour = CellColors::Window;
inline const QColor ListEvenRowColour = CellColors::LightGreen;

class ListGridModel;

class ListGrid : public QTableView {
    Q_OBJECT
public:
    using DrawCellHandler = std::function<void(QPainter&, const ListCell&)>;
    // What a cell shows (its paint and the keyboard search) or what a screen reader reads of it,
    // for a list whose stored text is not what the user should see; null leaves ShownLine's.
    enum class TextUse { Shown, Spoken };
    using CellTextHandler =
        std::function<QString(int column, const QByteArray& stored, TextUse use)>;

    explicit ListGrid(QWidget* parent = nullptr);
    ~ListGrid() override;

    StringGrid& grid() { return m_grid; }
    const StringGrid& grid() const { return m_grid; }

    // Shows the StringGrid as it is now and selects its current row.
    void refresh();
    // Makes a row of the StringGrid (header rows counted) current and selected.
    void setCurrentGridRow(int row);

    void setColumnWidths(const QList<int>& widths);
    void setDrawCellHandler(DrawCellHandler handler);
    void setCellTextHandler(CellTextHandler handler) { m_cellText = std::move(handler); }
    // A cell's text as the grid shows it or reads it out (header rows counted).
    QString cellText(int column, int row, TextUse use = TextUse::Shown) const;

    // Moves a data row as a drag by its fixed cell does: no renumbering, the current row stays
    // on the same entry.
    void dragRow(int from, int to);

    // What the grid paints for a cell, before the draw-cell handler sees it; a text longer than
    // any cell is cut (ShownLine).
    ListCell cellAt(int column, int row) const;
    void drawCell(QPainter& painter, const ListCell& cell) const;

    // Headers, model and font: the set-up measures text and so loads fonts, which a window
    // created at start-up and shown much later should not pay for before the first paint.
    // Done when the grid is first shown, or before by its window; until then the StringGrid
    // alone holds the state.
    void setUpView();

signals:
    void dblClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    int gridRowAt(const QPoint& pos) const;
    bool onFixedCell(const QPoint& pos) const;
    int firstBodyColumn() const;
    void drawGridLines(QPainter& painter, const QRegion& region) const;
    QRect currentRowRect() const { return rowRect(m_grid.currentRow()); }
    // A grid row's shown cells, in the viewport; empty for a fixed row or one not in the view.
    QRect rowRect(int gridRow) const;

    StringGrid m_grid;
    ListGridModel* m_model;
    DrawCellHandler m_drawCell;
    CellTextHandler m_cellText;
    QList<int> m_columnWidths;
    bool m_viewSetUp = false;
    int m_dragFrom = -1;
    bool m_syncing = false;
};
