#include "widgets/ListGrid.h"

#include "data/ShownText.h"
#include "widgets/ListGridAccessible.h"
#include "widgets/UiLook.h"

#include <QAbstractTableModel>
#include <QAccessible>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

void DrawListCell(QPainter& painter, const ListCell& cell) {
    const QRect& r = cell.rect;
    const auto bodyText = [&] {
        // Clipped to the cell: past the last column nothing would paint over it.
        painter.save();
        painter.setClipRect(r, Qt::IntersectClip);
        painter.setPen(CellColors::Text);
        painter.drawText(QPoint(r.left() + 2, r.top() + 2 + painter.fontMetrics().ascent()),
                         cell.text);
        painter.restore();
    };
    if (cell.selected) {
        painter.fillRect(r, ListSelectedColour);
        bodyText();
        return;
    }
    if (cell.row < cell.fixedRows || cell.column < cell.fixedColumns) {
        painter.fillRect(r, cell.fixedColour);
        const QRect inner = r.adjusted(2, 2, 0, 0);
        const Qt::Alignment across = cell.row < cell.fixedRows ? Qt::AlignHCenter : Qt::AlignRight;
        painter.save();
        painter.setClipRect(inner, Qt::IntersectClip);
        painter.drawText(inner, int(across | Qt::AlignTop | Qt::TextSingleLine), cell.text);
        painter.restore();
        return;
    }
    painter.fillRect(r, cell.row % 2 == 1 ? ListOddRowColour : ListEvenRowColour);
    bodyText();
}

// The data rows of the StringGrid as a table; the header row comes through headerData.
class ListGridModel : public QAbstractTableModel {
public:
    ListGridModel(StringGrid& grid, ListGrid* view)
        : QAbstractTableModel(view), m_grid(grid), m_view(view) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_grid.rowCount() - m_grid.fixedRows();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_grid.columnCount();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        // What screen readers and the keyboard search see, cut as the cell shows it.
        return m_view->cellText(index.column(), index.row() + m_grid.fixedRows());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || m_grid.fixedRows() == 0)
            return {};
        return ShownLine(m_grid.cell(section, 0));
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }
    void reset() {
        beginResetModel();
        endResetModel();
    }

private:
    StringGrid& m_grid;
    ListGrid* m_view;
};

namespace {

class ListGridDelegate : public QStyledItemDelegate {
public:
    explicit ListGridDelegate(ListGrid* view) : QStyledItemDelegate(view), m_view(view) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        ListCell cell = m_view->cellAt(index.column(), index.row() + m_view->grid().fixedRows());
        cell.rect = option.rect;
        m_view->drawCell(*painter, cell);
    }

private:
    ListGrid* m_view;
};

// The header row, painted by the same rule as the cells.
// The list's cells paint in their own colours, the same whether the window is active or not:
// the views' whole repaint at activation only paints them again.
bool isActivation(const QEvent* event) {
    return event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate;
}

class ListGridHeader : public QHeaderView {
public:
    explicit ListGridHeader(ListGrid* view) : QHeaderView(Qt::Horizontal, view), m_view(view) {}

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        ListCell cell = m_view->cellAt(logicalIndex, 0);
        cell.rect = rect;
        painter->save();
        painter->setFont(m_view->font());
        m_view->drawCell(*painter, cell);
        painter->restore();
    }
    bool viewportEvent(QEvent* event) override {
        return isActivation(event) ? QAbstractScrollArea::viewportEvent(event)
                                   : QHeaderView::viewportEvent(event);
    }

private:
    ListGrid* m_view;
};

// Lines of one pixel as filled rectangles, which the painter fills a row at a time rather than
// stroking them a pixel at a time; the bottom and right edges drawn last, over the corners.
void drawRaisedEdge(QPainter& painter, const QRect& r) {
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), Qt::white);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), Qt::white);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), Qt::darkGray);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), Qt::darkGray);
}

} // namespace

ListGrid::ListGrid(QWidget* parent)
    : QTableView(parent), m_model(new ListGridModel(m_grid, this)), m_drawCell(DrawListCell) {
    ListGridAccessible::Install();
}

void ListGrid::setUpView() {
    if (m_viewSetUp)
        return;
    m_viewSetUp = true;
    setHorizontalHeader(new ListGridHeader(this));
    setModel(m_model);
    setItemDelegate(new ListGridDelegate(this));

    setFont(GothicFont(19));

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The grid keeps its lines' room between the cells, but paintEvent draws them: the view's
    // own pen strokes them a pixel at a time, a tenth of a list's painting.
    setShowGrid(true);
    setGridStyle(Qt::NoPen);
    setWordWrap(false);
    setTabKeyNavigation(false);

    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(24);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(1);
    header->setStretchLastSection(false);
    header->setFixedHeight(24);
    connect(header, &QHeaderView::sectionDoubleClicked, this, &ListGrid::dblClicked);
    setColumnWidths(m_columnWidths);
    refresh();
}

void ListGrid::showEvent(QShowEvent* event) {
    setUpView();
    QTableView::showEvent(event);
}

ListGrid::~ListGrid() = default;

void ListGrid::refresh() {
    if (!m_viewSetUp)
        return; // the grid is shown as it is then
    m_model->reset();
    horizontalHeader()->setVisible(m_grid.fixedRows() > 0);
    setCurrentGridRow(m_grid.currentRow());
}

void ListGrid::setCurrentGridRow(int row) {
    m_grid.setCurrentRow(row);
    if (!m_viewSetUp)
        return;
    const int modelRow = m_grid.currentRow() - m_grid.fixedRows();
    if (modelRow >= 0 && modelRow < m_model->rowCount()) {
        m_syncing = true;
        const QModelIndex index = m_model->index(modelRow, firstBodyColumn());
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
        scrollTo(index);
        m_syncing = false;
    }
    viewport()->update();
}

void ListGrid::setColumnWidths(const QList<int>& widths) {
    m_columnWidths = widths;
    if (!m_viewSetUp)
        return;
    for (int c = 0; c < m_grid.columnCount() && c < widths.size(); ++c) {
        setColumnHidden(c, widths.at(c) < 0);
        if (widths.at(c) >= 0)
            setColumnWidth(c, widths.at(c));
    }
}

void ListGrid::setDrawCellHandler(DrawCellHandler handler) {
    m_drawCell = handler ? std::move(handler) : DrawCellHandler(DrawListCell);
}

void ListGrid::dragRow(int from, int to) {
    const int first = m_grid.fixedRows();
    const int last = m_grid.rowCount() - 1;
    if (from < first || to < first || from > last || to > last || from == to)
        return;
    int current = m_grid.currentRow();
    if (current == from)
        current = to;
    else if (from < current && current <= to)
        --current;
    else if (to <= current && current < from)
        ++current;
    m_grid.moveRow(from, to);
    m_grid.setCurrentRow(current);
    refresh();
}

ListCell ListGrid::cellAt(int column, int row) const {
    ListCell cell;
    cell.column = column;
    cell.row = row;
    cell.fixedRows = m_grid.fixedRows();
    cell.fixedColumns = m_grid.fixedColumns();
    cell.fixed = row < cell.fixedRows || column < cell.fixedColumns;
    // Whole-row selection: every body cell of the current row, focused or not.
    cell.selected = !cell.fixed && row == m_grid.currentRow();
    if (row >= 0 && row < m_grid.rowCount() && column >= 0 && column < m_grid.columnCount())
        cell.text = cellText(column, row);
    cell.fixedColour = CellColors::ButtonFace;
    return cell;
}

QString ListGrid::cellText(int column, int row, TextUse use) const {
    const QByteArray& stored = m_grid.cell(column, row);
    if (m_cellText && row >= m_grid.fixedRows())
        if (QString text = m_cellText(column, stored, use); !text.isNull())
            return text;
    return ShownLine(stored);
}

void ListGrid::drawCell(QPainter& painter, const ListCell& cell) const {
    // What the grid prepares before the handler: its font, its fill and its text colour.
    painter.save();
    painter.setFont(font());
    painter.setPen(CellColors::Text);
    m_drawCell(painter, cell);
    painter.restore();
    if (cell.fixed)
        drawRaisedEdge(painter, cell.rect);
}

int ListGrid::gridRowAt(const QPoint& pos) const {
    const int modelRow = rowAt(pos.y());
    return modelRow < 0 ? -1 : modelRow + m_grid.fixedRows();
}

bool ListGrid::onFixedCell(const QPoint& pos) const {
    const int column = columnAt(pos.x());
    return column >= 0 && column < m_grid.fixedColumns() && rowAt(pos.y()) >= 0;
}

int ListGrid::firstBodyColumn() const {
    for (int c = m_grid.fixedColumns(); c < m_grid.columnCount(); ++c)
        if (!isColumnHidden(c))
            return c;
    return std::min(m_grid.fixedColumns(), m_grid.columnCount() - 1);
}

void ListGrid::mousePressEvent(QMouseEvent* event) {
    // A press on a fixed cell picks the row up for moving; it does not select it.
    if (event->button() == Qt::LeftButton && onFixedCell(event->position().toPoint())) {
        m_dragFrom = gridRowAt(event->position().toPoint());
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void ListGrid::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragFrom >= 0) {
        setCursor(Qt::SizeVerCursor);
        event->accept();
        return;
    }
    QTableView::mouseMoveEvent(event);
}

void ListGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (m_dragFrom < 0) {
        QTableView::mouseReleaseEvent(event);
        return;
    }
    const int from = m_dragFrom;
    m_dragFrom = -1;
    unsetCursor();
    const int y = event->position().toPoint().y();
    int to = gridRowAt(event->position().toPoint());
    if (to < 0) // dropped above or below the rows: the nearest end
        to = y < 0 ? m_grid.fixedRows() : m_grid.rowCount() - 1;
    dragRow(from, to);
    event->accept();
}

void ListGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    m_dragFrom = -1;
    event->accept();
    emit dblClicked();
}

void ListGrid::keyPressEvent(QKeyEvent* event) {
    // From the keyboard, Enter opens the current row as a double-click does, as it opens the
    // current day in the month.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        emit dblClicked();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ListGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    QPainter painter(viewport());
    drawGridLines(painter, event->region());
    if (!hasFocus())
        return;
    const QRect frame = currentRowRect();
    if (frame.isEmpty())
        return;
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
}

void ListGrid::drawGridLines(QPainter& painter, const QRegion& region) const {
    // Where the view would stroke them: below each row and right of each column, within the
    // painted area up to the last row and column.
    if (model() == nullptr || model()->rowCount() == 0 || model()->columnCount() == 0)
        return;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QColor colour =
        QColor::fromRgba(QRgb(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    const QHeaderView* rows = verticalHeader();
    const QHeaderView* columns = horizontalHeader();
    const int lastX = columns->length() - columns->offset() - 1;
    const int lastY = rows->length() - rows->offset() - 1;
    for (QRect area : region) {
        area.setBottom(std::min(area.bottom(), lastY));
        area.setRight(std::min(area.right(), lastX));
        if (!area.isValid())
            continue;
        int top = rows->visualIndexAt(area.top());
        int bottom = rows->visualIndexAt(area.bottom());
        if (bottom == -1)
            bottom = rows->count() - 1;
        if (top == -1 || top > bottom)
            continue;
        int left = columns->visualIndexAt(area.left());
        int right = columns->visualIndexAt(area.right());
        if (left == -1)
            left = 0;
        if (right == -1)
            right = columns->count() - 1;
        for (int visual = top; visual <= bottom; ++visual) {
            const int row = rows->logicalIndex(visual);
            if (rows->isSectionHidden(row))
                continue;
            const int y = rowViewportPosition(row) + rowHeight(row) - 1;
            painter.fillRect(QRect(area.left(), y, area.width(), 1), colour);
        }
        for (int visual = left; visual <= right; ++visual) {
            const int column = columns->logicalIndex(visual);
            if (columns->isSectionHidden(column))
                continue;
            const int x = columnViewportPosition(column) + columnWidth(column) - 1;
            painter.fillRect(QRect(x, area.top(), 1, area.height()), colour);
        }
    }
}

QRect ListGrid::rowRect(int gridRow) const {
    const int modelRow = gridRow - m_grid.fixedRows();
    if (!m_viewSetUp || modelRow < 0 || modelRow >= m_model->rowCount())
        return {};
    QRect frame;
    for (int c = 0; c < m_grid.columnCount(); ++c)
        if (!isColumnHidden(c))
            frame |= visualRect(m_model->index(modelRow, c));
    return frame;
}

// Focus shows only as the current row's dotted frame: the views' own handling repaints the
// whole table at focus and at activation, which painted the day list twice as it opened.
void ListGrid::focusInEvent(QFocusEvent* event) {
    if (!currentIndex().isValid()) {
        QTableView::focusInEvent(event); // picks a current cell, as a view does
        return;
    }
    setAttribute(Qt::WA_InputMethodEnabled, false); // no cell is edited in place
    viewport()->update(currentRowRect());
}

void ListGrid::focusOutEvent(QFocusEvent* /*event*/) {
    viewport()->update(currentRowRect());
}

bool ListGrid::viewportEvent(QEvent* event) {
    if (isActivation(event))
        return QAbstractScrollArea::viewportEvent(event);
    return QTableView::viewportEvent(event);
}

void ListGrid::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    // Past the table view's own, which tells screen readers of cells by its own count.
    QAbstractItemView::selectionChanged(selected, deselected);
}

void ListGrid::currentChanged(const QModelIndex& current, const QModelIndex& /*previous*/) {
    // Not the views' own handling: it tells screen readers of a cell by the toolkit's table,
    // hidden columns and header counted, where ListGridAccessible counts neither.
    if (current.isValid() && hasAutoScroll() && isVisible())
        scrollTo(current);
    // Only the current row looks current: the rows it leaves and reaches are painted again, not
    // the whole list (the current index is put aside whenever the focus leaves the list).
    const int before = m_grid.currentRow();
    if (current.isValid() && hasFocus() && QAccessible::isActive()) {
        // The row's first shown cell stands for the row, as ListGridAccessible::focusChild.
        QAccessibleEvent focus(this, QAccessible::Focus);
        if (auto* table =
                static_cast<ListGridAccessible*>(QAccessible::queryAccessibleInterface(this)))
            focus.setChild(table->childIndex(current.row(), 0));
        QAccessible::updateAccessibility(&focus);
    }
    if (!m_syncing && current.isValid())
        m_grid.setCurrentRow(current.row() + m_grid.fixedRows());
    if (m_grid.currentRow() != before) {
        viewport()->update(rowRect(before));
        viewport()->update(currentRowRect());
    }
}
