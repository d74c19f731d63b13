#include "monthview/CalendarGrid.h"

#include "monthview/CalendarGridAccessible.h"
#include "widgets/UiLook.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

TCalendarGrid::TCalendarGrid(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Before anything asks for this grid's interface, which is then kept.
    TCalendarGridAccessible::Install();
    setAccessibleName(QStringLiteral("カレンダー"));
}

QString TCalendarGrid::CellName(int col, int row) const {
    return OnCellName ? OnCellName(col, row) : m_cells.cell(col, row).trimmed();
}

void TCalendarGrid::announceCurrent() {
    // A fill gives every cell another day: the cells readers know go, and new ones come, or a
    // reader that keeps the names it was told would speak the old month's dates.
    if (m_cells.filling()) {
        QAccessibleTableModelChangeEvent reset(this, QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&reset);
    }
    if (m_holdAnnouncements)
        return;
    const int child = TCalendarGridAccessible::ChildIndex(Col(), Row());
    if (hasFocus()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(child);
        QAccessible::updateAccessibility(&focus);
    }
    QAccessibleEvent selection(this, QAccessible::Selection);
    selection.setChild(child);
    QAccessible::updateAccessibility(&selection);
}

// Focus changes how the current cell alone paints: the frame's own handling repaints the whole
// grid, which the main window did as the day list opened over it.
void TCalendarGrid::focusInEvent(QFocusEvent* /*event*/) {
    update(CellRect(Col(), Row()));
    announceCurrent();
}

void TCalendarGrid::focusOutEvent(QFocusEvent* /*event*/) {
    update(CellRect(Col(), Row()));
}

QPoint TCalendarGrid::cellOrigin() const {
    return contentsRect().topLeft();
}

QRect TCalendarGrid::CellRect(int col, int row) const {
    const int step = CellSize + LineWidth;
    return QRect(cellOrigin() + QPoint(col * step, row * step), QSize(CellSize, CellSize));
}

void TCalendarGrid::UpdateWeekRows() {
    update(CellRect(0, MonthGrid::FixedRows)
               .united(CellRect(MonthGrid::ColCount - 1, MonthGrid::RowCount - 1)));
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
    // Also when a fill lands on the same cell: it shows another day now.
    announceCurrent();
    return true;
}

void TCalendarGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // The frame's shading costs as much as a row of cells; most repaints lie within it.
    if (!contentsRect().contains(event->rect()))
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
            canvas.Cache = &m_cache;
            canvas.Font = font();
            // The cells keep their own colours under any desktop theme; the handler's colours
            // are chosen to be read on them.
            canvas.FontColor = CellColors::Text;
            canvas.Brush = fixed ? CellColors::ButtonFace : CellColors::Window;
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
                // Kept inside the cell: at a scale above 1 the pen is wider than a pixel and
                // would reach the lines around it, which the repaint of this cell alone does
                // not cover when the current cell moves on.
                painter.save();
                painter.setClipRect(rect);
                painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
                painter.drawRect(rect.adjusted(0, 0, -1, -1));
                painter.restore();
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
    if (OnKeyDown && OnKeyDown(event))
        return;
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
