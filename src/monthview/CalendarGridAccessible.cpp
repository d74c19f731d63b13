#include "monthview/CalendarGridAccessible.h"

#include "data/ShownText.h"
#include "monthview/CalendarGrid.h"
#include "rules/ComType.h"
#include "rules/YearTables.h"

namespace {

constexpr int WeekRows = MonthGrid::RowCount - MonthGrid::FixedRows;

// One day cell of the grid; it reads everything from the grid when asked.
class CalendarCell : public GridCellAccessible {
public:
    CalendarCell(TCalendarGrid* grid, int week, int weekday)
        : GridCellAccessible(grid, week, weekday), m_row(week + MonthGrid::FixedRows) {}

    QString text(QAccessible::Text t) const override {
        return grid() && t == QAccessible::Name ? grid()->CellName(columnIndex(), m_row)
                                                : QString();
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.readOnly = true;
        if (!grid())
            return state;
        const bool day = !grid()->Cells().cell(columnIndex(), m_row).isEmpty();
        state.focusable = day;
        state.selectable = day;
        state.selected = isSelected();
        state.focused = state.selected && grid()->hasFocus();
        state.invisible = !grid()->isVisible();
        return state;
    }

    bool isSelected() const override {
        return grid() && grid()->Col() == columnIndex() && grid()->Row() == m_row;
    }

protected:
    QRect partRect() const override { return grid()->CellRect(columnIndex(), m_row); }

private:
    TCalendarGrid* grid() const { return static_cast<TCalendarGrid*>(owner()); }

    // The grid's row, counted from its weekday names.
    int m_row;
};

QAccessibleInterface* gridFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("TCalendarGrid") && object && object->isWidgetType())
        return new TCalendarGridAccessible(static_cast<TCalendarGrid*>(object));
    return nullptr;
}

// The item lines of one kind without their marks ("▼", "◆", "★"), each as long as a hint shows
// it: a name is read out whole.
QStringList items(const YearTables& tables, int kind, int year, int month, int day) {
    const QString text = ShownLines(BuildDayAnnotation(tables, kind, kind, year, month, day));
    QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (kind != akSchedule)
        for (QString& line : lines)
            line.remove(0, 1);
    return lines;
}

} // namespace

QString DayCellName(const YearTables& tables, int year, int month, int day) {
    static const QString kindWords[] = {QStringLiteral("祝日"), QStringLiteral("イベント"),
                                        QStringLiteral("記念日"), QStringLiteral("予定")};
    QStringList parts{QStringLiteral("%1年%2月%3日").arg(year).arg(month).arg(day),
                      WeekdayNames[size_t(WeekdayOf(year, month, day))] + QStringLiteral("曜日")};
    for (int kind = akHoliday; kind <= akSchedule; ++kind)
        for (const QString& item : items(tables, kind, year, month, day))
            parts << kindWords[kind] << item;
    return parts.join(QLatin1Char(' '));
}

TCalendarGridAccessible::TCalendarGridAccessible(TCalendarGrid* grid) : GridAccessible(grid) {}

void TCalendarGridAccessible::Install() {
    static const bool installed = [] {
        QAccessible::installFactory(gridFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

int TCalendarGridAccessible::ChildIndex(int col, int row) {
    return (row - MonthGrid::FixedRows) * MonthGrid::ColCount + col;
}

TCalendarGrid* TCalendarGridAccessible::grid() const {
    return static_cast<TCalendarGrid*>(widget());
}

QAccessibleInterface* TCalendarGridAccessible::makeCell(int row, int column) const {
    return new CalendarCell(grid(), row, column);
}

QAccessibleInterface* TCalendarGridAccessible::childAt(int x, int y) const {
    int col = 0;
    int row = 0;
    if (!grid()->MouseToCell(grid()->mapFromGlobal(QPoint(x, y)), col, row) ||
        row < MonthGrid::FixedRows)
        return nullptr;
    return child(ChildIndex(col, row));
}

QAccessibleInterface* TCalendarGridAccessible::focusChild() const {
    return grid()->hasFocus() ? child(ChildIndex(grid()->Col(), grid()->Row())) : nullptr;
}

QList<QAccessibleInterface*> TCalendarGridAccessible::selectedCells() const {
    return {child(ChildIndex(grid()->Col(), grid()->Row()))};
}

QString TCalendarGridAccessible::columnDescription(int column) const {
    return grid()->Cells().cell(column, 0) + QStringLiteral("曜日");
}

int TCalendarGridAccessible::columnCount() const {
    return MonthGrid::ColCount;
}

int TCalendarGridAccessible::rowCount() const {
    return WeekRows;
}
