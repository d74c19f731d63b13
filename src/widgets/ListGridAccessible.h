#pragma once

#include "widgets/AccessiblePart.h"

#include <QAccessibleWidget>

#include <memory>

class ListGrid;

// A list grid as a table for screen readers: its data rows by its shown columns (a hidden
// column, such as the day list's date, is not there), each cell named by its text as shown, an
// empty cell by nothing. A cell reports the focus only while the grid has it. The cells live as
// long as the grid keeps its size, so a reader may keep hold of them between questions.
class ListGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit ListGridAccessible(ListGrid* grid);
    ~ListGridAccessible() override;

    // Makes the toolkit use this interface for every list grid.
    static void Install();
    // The child index of a cell, in rows and shown columns.
    int childIndex(int row, int column) const;

    void* interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { m_cells.reset(); }

    ListGrid* grid() const;

private:
    const AccessibleParts& cells() const;

    mutable std::unique_ptr<AccessibleParts> m_cells;
};
