#include "monthview/MonthGrid.h"

#include "rules/ComType.h"

namespace {

int floorDiv(int a, int b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
int floorMod(int a, int b) {
    return a - floorDiv(a, b) * b;
}

bool inCells(int col, int row) {
    return col >= 0 && col < MonthGrid::ColCount && row >= 0 && row < MonthGrid::RowCount;
}

} // namespace

MonthGrid::MonthGrid() = default;

const QString& MonthGrid::cell(int col, int row) const {
    static const QString none;
    return inCells(col, row) ? m_cells[size_t(col)][size_t(row)] : none;
}

void MonthGrid::setCell(int col, int row, const QString& text) {
    if (inCells(col, row))
        m_cells[size_t(col)][size_t(row)] = text;
}

int MonthGrid::dayAt(int col, int row) const {
    if (row < FixedRows)
        return 0;
    return cell(col, row).trimmed().toInt();
}

bool MonthGrid::canSelect(int col, int row) const {
    if (!inCells(col, row) || row < FixedRows)
        return false;
    return m_filling || !cell(col, row).isEmpty();
}

bool MonthGrid::select(int col, int row) {
    if (!canSelect(col, row))
        return false;
    setCurrent(col, row);
    return true;
}

void MonthGrid::setCurrent(int col, int row) {
    if (!inCells(col, row))
        return;
    m_col = col;
    m_row = row;
}

void MonthGrid::writeHeader() {
    for (int col = 0; col < ColCount; ++col)
        setCell(col, 0, WeekdayNames[size_t(col)]);
}

void MonthGrid::layOutMonth(int year, int month) {
    for (int col = 0; col < ColCount; ++col)
        for (int row = FixedRows; row < RowCount; ++row)
            m_cells[size_t(col)][size_t(row)].clear();
    const int w = WeekdayOf(year, month, 1) + 1; // 1 = Sunday .. 7 = Saturday
    int col = w - 1;
    int row = w == 1 ? 2 : 1;
    const int days = DaysInMonth(year, month);
    for (int day = 1; day <= days; ++day) {
        setCell(col, row, DayCellText(day));
        if (++col == ColCount) {
            col = 0;
            ++row;
        }
    }
}

bool MonthGrid::findDay(int day, int& col, int& row) const {
    const QString target = DayCellText(day);
    for (int c = 0; c < ColCount; ++c)
        for (int r = FixedRows; r < RowCount; ++r)
            if (cell(c, r) == target) {
                col = c;
                row = r;
                return true;
            }
    return false;
}

bool MonthGrid::selectDay(int day) {
    int col = 0;
    int row = 0;
    return findDay(day, col, row) && select(col, row);
}

QString DayCellText(int day) {
    // Made once: a month step lays out a month's days and looks for the one to select.
    static const auto days = [] {
        std::array<QString, 32> texts;
        for (int d = 1; d < int(texts.size()); ++d)
            texts[size_t(d)] = QString::asprintf("%2d", d);
        return texts;
    }();
    return day >= 1 && day < int(days.size()) ? days[size_t(day)] : QString::asprintf("%2d", day);
}

int WeekdayOf(int year, int month, int day) {
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        --year;
    const int sum = year + floorDiv(year, 4) - floorDiv(year, 100) + floorDiv(year, 400) +
                    offsets[(month - 1) % 12] + day;
    return floorMod(sum, 7);
}

int DayToSelect(int shownYear, int shownMonth, const QDate& today) {
    return today.year() == shownYear && today.month() == shownMonth ? today.day() : 1;
}

ShownMonth PreviousMonth(ShownMonth shown) {
    return shown.month == 1 ? ShownMonth{shown.year - 1, 12}
                            : ShownMonth{shown.year, shown.month - 1};
}

ShownMonth NextMonth(ShownMonth shown) {
    return shown.month == 12 ? ShownMonth{shown.year + 1, 1}
                             : ShownMonth{shown.year, shown.month + 1};
}

ShownMonth StepDay(ShownMonth shown, int& day, int days) {
    day += days;
    if (day < 1) {
        shown = PreviousMonth(shown);
        day += DaysInMonth(shown.year, shown.month);
    } else if (day > DaysInMonth(shown.year, shown.month)) {
        day -= DaysInMonth(shown.year, shown.month);
        shown = NextMonth(shown);
    }
    return shown;
}

QString DayScheduleDate(const QString& yearText, int month, int day) {
    return yearText + QString::asprintf("/%.2d/%.2d", month, day);
}
