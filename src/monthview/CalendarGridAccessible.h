#pragma once

#include "widgets/GridAccessible.h"

#include <QString>

class TCalendarGrid;
class YearTables;

// What a screen reader says for a day: "2025年5月5日 月曜日 祝日 こどもの日", then every
// event, anniversary and schedule entry of the day, each after the word for its kind.
QString DayCellName(const YearTables& tables, int year, int month, int day);

// The month grid as a table for screen readers: the six week rows by the seven weekdays, one
// cell each, named by the grid (see TCalendarGrid::OnCellName). The cells live as long as the
// grid's interface, so a reader may keep hold of them between questions.
class TCalendarGridAccessible : public GridAccessible {
public:
    explicit TCalendarGridAccessible(TCalendarGrid* grid);

    // Makes the toolkit use this interface for every month grid.
    static void Install();
    // The child index of a week-row cell.
    static int ChildIndex(int col, int row);

    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    int selectedCellCount() const override { return 1; }
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    int selectedRowCount() const override { return 0; }
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedRows() const override { return {}; }
    bool isRowSelected(int) const override { return false; }

protected:
    QAccessibleInterface* makeCell(int row, int column) const override;

private:
    TCalendarGrid* grid() const;
};
