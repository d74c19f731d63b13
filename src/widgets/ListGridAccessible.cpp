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
class ListGridCell : public GridCellAccessible {
public:
    ListGridCell(ListGrid* grid, int row, int column) : GridCellAccessible(grid, row, column) {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !grid())
            return {};
        const StringGrid& cells = grid()->grid();
        const QString shown =
            grid()->cellText(shownColumn(grid(), columnIndex()), rowIndex() + cells.fixedRows(),
                             ListGrid::TextUse::Spoken);
        // An empty field is read from the file as a blank: nothing to read out.
        return shown.trimmed().isEmpty() ? QString() : shown;
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.readOnly = true;
        if (!grid())
            return state;
        state.selectable = true;
        state.selected = isSelected();
        state.focused = state.selected && columnIndex() == 0 && grid()->hasFocus();
        state.invisible = !grid()->isVisible();
        return state;
    }

    bool isSelected() const override {
        if (!grid())
            return false;
        const StringGrid& cells = grid()->grid();
        return cells.currentRow() - cells.fixedRows() == rowIndex();
    }

protected:
    QRect partRect() const override {
        if (!grid() || !grid()->model())
            return {};
        const QRect cell = grid()->visualRect(
            grid()->model()->index(rowIndex(), shownColumn(grid(), columnIndex())));
        return cell.translated(grid()->viewport()->pos());
    }

private:
    ListGrid* grid() const { return static_cast<ListGrid*>(owner()); }
};

QAccessibleInterface* listGridFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("ListGrid") && object && object->isWidgetType())
        return new ListGridAccessible(static_cast<ListGrid*>(object));
    return nullptr;
}

} // namespace

ListGridAccessible::ListGridAccessible(ListGrid* grid) : GridAccessible(grid) {}

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

QAccessibleInterface* ListGridAccessible::makeCell(int row, int column) const {
    return new ListGridCell(grid(), row, column);
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
