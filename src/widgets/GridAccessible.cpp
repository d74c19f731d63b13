#include "widgets/GridAccessible.h"

GridAccessible::GridAccessible(QWidget* grid) : QAccessibleWidget(grid, QAccessible::Table) {}

GridAccessible::~GridAccessible() = default;

const AccessibleParts& GridAccessible::cells() const {
    // Another row count or another column shown makes new cells.
    const int columns = columnCount();
    const int count = rowCount() * columns;
    if (!m_cells || m_cells->count() != count)
        m_cells = std::make_unique<AccessibleParts>(count, [this, columns](int index) {
            return makeCell(index / columns, index % columns);
        });
    return *m_cells;
}

void* GridAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

int GridAccessible::childCount() const {
    return cells().count();
}

QAccessibleInterface* GridAccessible::child(int index) const {
    return cells().at(index);
}

int GridAccessible::indexOfChild(const QAccessibleInterface* child) const {
    return cells().indexOf(child);
}

QAccessibleInterface* GridAccessible::cellAt(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return nullptr;
    return child(childIndex(row, column));
}
