#include "monthview/CalendarGrid.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

TCalendarGrid::TCalendarGrid(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QPoint TCalendarGrid::cellOrigin() const {
    return contentsRect().topLeft();
}

QRect TCalendarGrid::CellRect(int col, int row) const {
    const int step = CellSize + LineWidth;
    return QRect(cellOrigin() + QPoint(col * step, row * step), QSize(CellSize, CellSize));
}

bool TCalendarGrid::MouseToCell(const QPoint& pos, int& col, int& row) const {
    const QPoint p = pos - cellOrigin();
    const int step = CellSize + LineWidth;
    if (p.x() < 0 || p.y() < 0 || !contentsRect().contains(pos))
        return false;
    const int c = p.x() / step;
    const int r = p.y() / step;
    if (c >= MonthGrid::ColCount || r >= MonthGrid::RowCount)
        return false;
    col = c;
    row = r;
    return true;
}

bool TCalendarGrid::SetCurrentCell(int col, int row) {
    const bool allowed = OnSelectCell ? OnSelectCell(col, row) : m_cells.canSelect(col, row);
    if (!allowed)
        return false;
    if (col != m_cells.col() || row != m_cells.row()) {
        update(CellRect(m_cells.col(), m_cells.row()));
        m_cells.setCurrent(col, row);
        update(CellRect(col, row));
    }
    return true;
}

void TCalendarGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    drawFrame(&painter);
    painter.setClipRect(contentsRect());
    painter.fillRect(contentsRect(), palette().color(QPalette::Mid));
    const bool focused = hasFocus();
    for (int col = 0; col < MonthGrid::ColCount; ++col) {
        for (int row = 0; row < MonthGrid::RowCount; ++row) {
            const QRect rect = CellRect(col, row);
            if (!event->rect().intersects(rect))
                continue;
            TGridDrawState state;
            const bool fixed = row < MonthGrid::FixedRows;
            const bool selected = !fixed && col == Col() && row == Row();
            if (fixed)
                state |= gdFixed;
            if (selected)
                state |= gdSelected;
            if (selected && focused)
                state |= gdFocused;

            TGridCanvas canvas(painter);
            canvas.Font = font();
            canvas.FontColor = palette().color(QPalette::Text);
            canvas.Brush = palette().color(fixed ? QPalette::Button : QPalette::Base);
            if (selected) {
                canvas.Brush = palette().color(QPalette::Highlight);
                canvas.FontColor = palette().color(QPalette::HighlightedText);
            }
            // Without a handler the prepared look is the cell's look; a handler repaints it
            // anyway, so the standard preparation is not drawn twice.
            if (OnDrawCell)
                OnDrawCell(canvas, col, row, rect, state);
            else
                canvas.Repaint(rect, m_cells.cell(col, row));

            if (fixed) {
                painter.setPen(palette().color(QPalette::Light));
                painter.drawLine(rect.topLeft(), rect.topRight());
                painter.drawLine(rect.topLeft(), rect.bottomLeft());
                painter.setPen(palette().color(QPalette::Dark));
                painter.drawLine(rect.bottomLeft(), rect.bottomRight());
                painter.drawLine(rect.topRight(), rect.bottomRight());
            } else if (selected && focused) {
                painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
                painter.drawRect(rect.adjusted(0, 0, -1, -1));
            }
        }
    }
}

void TCalendarGrid::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    int col = 0;
    int row = 0;
    if (event->button() == Qt::LeftButton && MouseToCell(event->position().toPoint(), col, row))
        SetCurrentCell(col, row);
}

void TCalendarGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit DblClick();
}

void TCalendarGrid::keyPressEvent(QKeyEvent* event) {
    int col = Col();
    int row = Row();
    switch (event->key()) {
    case Qt::Key_Left:
        --col;
        break;
    case Qt::Key_Right:
        ++col;
        break;
    case Qt::Key_Up:
        --row;
        break;
    case Qt::Key_Down:
        ++row;
        break;
    default:
        QFrame::keyPressEvent(event);
        return;
    }
    if (col >= 0 && col < MonthGrid::ColCount && row >= MonthGrid::FixedRows &&
        row < MonthGrid::RowCount)
        SetCurrentCell(col, row);
}

void SelectDayCell(int day, TCalendarGrid* grid) {
    int col = 0;
    int row = 0;
    if (!grid->Cells().findDay(day, col, row))
        return;
    grid->SetCurrentCell(col, row);
    grid->setFocus();
}
