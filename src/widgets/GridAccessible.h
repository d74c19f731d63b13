#pragma once

#include "widgets/AccessiblePart.h"

#include <QAccessibleWidget>

#include <memory>

// A grid widget as a table for screen readers: its cells are its children, row by row, made when
// first asked for and kept while the table keeps its size, so a reader may keep hold of them
// between questions. Rows and columns are not selected whole: a reader moves from cell to cell.
class GridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridAccessible(QWidget* grid);
    ~GridAccessible() override;

    // The child index of a cell.
    int childIndex(int row, int column) const { return row * columnCount() + column; }

    void* interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

    QAccessibleInterface* cellAt(int row, int column) const override;
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    QList<int> selectedColumns() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { m_cells.reset(); }

protected:
    // A new interface for the cell (see GridCellAccessible).
    virtual QAccessibleInterface* makeCell(int row, int column) const = 0;

private:
    const AccessibleParts& cells() const;

    mutable std::unique_ptr<AccessibleParts> m_cells;
};

// One cell of a grid's table, one row and column large; it asks the grid for everything.
class GridCellAccessible : public AccessiblePart, public QAccessibleTableCellInterface {
public:
    GridCellAccessible(QWidget* grid, int row, int column)
        : AccessiblePart(grid), m_row(row), m_column(column) {}

    QAccessible::Role role() const override { return QAccessible::Cell; }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TableCellInterface
                   ? static_cast<QAccessibleTableCellInterface*>(this)
                   : nullptr;
    }

    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    int m_row;
    int m_column;
};
