#pragma once

#include "monthview/GridCanvas.h"
#include "monthview/MonthGrid.h"

#include <QFrame>
#include <functional>

// The month grid control: seven 30-pixel columns under one fixed header row, lines between all
// cells, one current cell. It prepares each cell in the standard way and then hands it to its
// cell-paint handler; before any cell becomes current it asks its selection check.
class TCalendarGrid : public QFrame {
    Q_OBJECT
public:
    static constexpr int CellSize = 30;
    static constexpr int LineWidth = 1;

    explicit TCalendarGrid(QWidget* parent = nullptr);

    MonthGrid& Cells() { return m_cells; }
    const MonthGrid& Cells() const { return m_cells; }
    int Col() const { return m_cells.col(); }
    int Row() const { return m_cells.row(); }

    // Moves the current cell when the selection check allows it; returns whether it moved.
    bool SetCurrentCell(int col, int row);

    // While on, screen readers are not told of the current cell (a move that refills the grid
    // and then selects another day tells them once, of that day).
    void HoldAnnouncements(bool hold) { m_holdAnnouncements = hold; }

    QRect CellRect(int col, int row) const;
    // Repaints the week rows: what another month changes. The header and the frame stay.
    void UpdateWeekRows();
    // The cell under a point of the control; false outside every cell.
    bool MouseToCell(const QPoint& pos, int& col, int& row) const;

    // Called for every cell after the standard preparation.
    std::function<void(TGridCanvas&, int col, int row, const QRect&, TGridDrawState)> OnDrawCell;
    // Asked before a cell becomes current; without it, the cells' own check decides.
    std::function<bool(int col, int row)> OnSelectCell;
    // The accessible name of a week-row cell; without it, the cell's text.
    std::function<QString(int col, int row)> OnCellName;
    QString CellName(int col, int row) const;

    // Sees every key press first and returns whether it took the key; keys it leaves move the
    // current cell within the grid.
    std::function<bool(QKeyEvent*)> OnKeyDown;

signals:
    void DblClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPoint cellOrigin() const;
    // Tells screen readers which day is current now.
    void announceCurrent();

    MonthGrid m_cells;
    TGridCellCache m_cache;
    bool m_holdAnnouncements = false;
};

// Makes the cell showing the day current and gives the grid the keyboard focus; nothing
// changes when no cell shows the day.
void SelectDayCell(int day, TCalendarGrid* grid);
