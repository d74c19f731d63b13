#pragma once

#include "widgets/AccessiblePart.h"

#include <QAccessibleWidget>
#include <QString>

class TCalendarGrid;
class YearTables;

// What a screen reader says for a day: "2025年5月5日 月曜日 祝日 こどもの日", then every
// event, anniversary and schedule entry of the day, each after the word for its kind.
QString DayCellName(const YearTables& tables, int year, int month, int day);

// The month grid as a table for screen readers: the six week rows by the seven weekdays, one
// cell each, named by the grid (see TCalendarGrid::OnCellName). The cells live as long as the
// grid's interface, so a reader may keep hold of them between questions.
class TCalendarGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit TCalendarGridAccessible(TCalendarGrid* grid);
    ~TCalendarGridAccessible() override;

    // Makes the toolkit use this interface for every month grid.
    static void Install();
    // The child index of a week-row cell.
    static int ChildIndex(int col, int row);

    void* interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override { return 1; }
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { m_cells.clear(); }

private:
    TCalendarGrid* grid() const;

    AccessibleParts m_cells;
};
