#include "widgets/ListGridAccessible.h"

#include "data/ShownText.h"
#include "widgets/ListGrid.h"

#include <QHeaderView>

namespace {

// The grid's column shown as the given column of the table, or -1.
int shownColumn(const ListGrid* grid, int column) {
    for (int c = 0; c < grid->grid().columnCount(); ++c)
        if (!grid->isColumnHidden(c) && column-- == 0)
            return c;
    return -1;
}

// One cell of the grid, in rows and shown columns; it reads everything from the grid when asked.
class ListGridCell : public AccessiblePart, public QAccessibleTableCellInterface {
public:
    ListGridCell(ListGrid* grid, int row, int column)
        : AccessiblePart(grid), m_row(row), m_column(column) {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !grid())
            return {};
        const StringGrid& cells = grid()->grid();
        const QString shown =
            ShownLine(cells.cell(shownColumn(grid(), m_column), m_row + cells.fixedRows()));
        // An empty field is read from the file as a blank: nothing to read out.
        return shown.trimmed().isEmpty() ? QString() : shown;
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.readOnly = true;
        if (!grid())
            return state;
        state.selectable = true;
        state.selected = isSelected();
        state.focused = state.selected && m_column == 0 && grid()->hasFocus();
        state.invisible = !grid()->isVisible();
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TableCellInterface
                   ? static_cast<QAccessibleTableCellInterface*>(this)
                   : nullptr;
    }

    bool isSelected() const override {
        if (!grid())
            return false;
        const StringGrid& cells = grid()->grid();
        return cells.currentRow() - cells.fixedRows() == m_row;
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

protected:
    QRect partRect() const override {
        if (!grid() || !grid()->model())
            return {};
        const QRect cell =
            grid()->visualRect(grid()->model()->index(m_row, shownColumn(grid(), m_column)));
        return cell.translated(grid()->viewport()->pos());
    }

private:
    ListGrid* grid() const { return static_cast<ListGrid*>(owner()); }

    int m_row;
    int m_column;
};

QAccessibleInterface* listGridFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("ListGrid") && object && object->isWidgetType())
        return new ListGridAccessible(static_cast<ListGrid*>(object));
    return nullptr;
}

} // namespace

ListGridAccessible::ListGridAccessible(ListGrid* grid)
    : QAccessibleWidget(grid, QAccessible::Table) {}

ListGridAccessible::~ListGridAccessible() = default;

void ListGridAccessible::Install() {
    static const bool installed = [] {
        QAccessible::installFactory(listGridFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

ListGrid* ListGridAccessible::grid() const {
    return static_cast<ListGrid*>(widget());
}

const AccessibleParts& ListGridAccessible::cells() const {
    // A new row count or another column shown makes new cells.
    const int count = rowCount() * columnCount();
    if (!m_cells || m_cells->count() != count) {
        ListGrid* list = grid();
        const int columns = columnCount();
        m_cells = std::make_unique<AccessibleParts>(count, [list, columns](int index) {
            return new ListGridCell(list, index / columns, index % columns);
        });
    }
    return *m_cells;
}

int ListGridAccessible::childIndex(int row, int column) const {
    return row * columnCount() + column;
}

void* ListGridAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

int ListGridAccessible::childCount() const {
    return cells().count();
}

QAccessibleInterface* ListGridAccessible::child(int index) const {
    return cells().at(index);
}

int ListGridAccessible::indexOfChild(const QAccessibleInterface* child) const {
    return cells().indexOf(child);
}

QAccessibleInterface* ListGridAccessible::childAt(int x, int y) const {
    const QPoint at = grid()->viewport()->mapFromGlobal(QPoint(x, y));
    const QModelIndex index = grid()->indexAt(at);
    if (!index.isValid())
        return nullptr;
    int column = 0;
    for (int c = 0; c < index.column(); ++c)
        column += grid()->isColumnHidden(c) ? 0 : 1;
    return cellAt(index.row(), column);
}

QAccessibleInterface* ListGridAccessible::focusChild() const {
    const StringGrid& cells = grid()->grid();
    return grid()->hasFocus() ? cellAt(cells.currentRow() - cells.fixedRows(), 0) : nullptr;
}

QAccessibleInterface* ListGridAccessible::cellAt(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return nullptr;
    return child(childIndex(row, column));
}

int ListGridAccessible::selectedCellCount() const {
    return selectedRowCount() * columnCount();
}

QList<QAccessibleInterface*> ListGridAccessible::selectedCells() const {
    QList<QAccessibleInterface*> selected;
    for (int row : selectedRows())
        for (int c = 0; c < columnCount(); ++c)
            selected << cellAt(row, c);
    return selected;
}

QString ListGridAccessible::columnDescription(int column) const {
    return ShownLine(grid()->grid().cell(shownColumn(grid(), column), 0));
}

int ListGridAccessible::selectedRowCount() const {
    return int(selectedRows().size());
}

int ListGridAccessible::columnCount() const {
    int shown = 0;
    for (int c = 0; c < grid()->grid().columnCount(); ++c)
        shown += grid()->isColumnHidden(c) ? 0 : 1;
    return shown;
}

int ListGridAccessible::rowCount() const {
    const StringGrid& cells = grid()->grid();
    return std::max(0, cells.rowCount() - cells.fixedRows());
}

QList<int> ListGridAccessible::selectedRows() const {
    const StringGrid& cells = grid()->grid();
    const int row = cells.currentRow() - cells.fixedRows();
    return row >= 0 && row < rowCount() ? QList<int>{row} : QList<int>{};
}

bool ListGridAccessible::isRowSelected(int row) const {
    return selectedRows().contains(row);
}
