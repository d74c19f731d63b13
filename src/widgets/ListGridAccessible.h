#pragma once

#include "widgets/GridAccessible.h"

class ListGrid;

// A list grid as a table for screen readers: its data rows by its shown columns (a hidden
// column, such as the day list's date, is not there), each cell named by its text as shown, an
// empty cell by nothing. A cell reports the focus only while the grid has it. The cells live as
// long as the grid keeps its size, so a reader may keep hold of them between questions.
class ListGridAccessible : public GridAccessible {
public:
    explicit ListGridAccessible(ListGrid* grid);

    // Makes the toolkit use this interface for every list grid.
    static void Install();

    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedRows() const override;
    bool isRowSelected(int row) const override;

    ListGrid* grid() const;

protected:
    QAccessibleInterface* makeCell(int row, int column) const override;
};
