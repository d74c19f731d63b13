#pragma once

#include <QDate>
#include <QString>
#include <array>

// The cells of the month grid and its current cell. Row 0 holds the weekday names, rows 1 to 6
// the weeks, column 0 is Sunday. A cell's text ("%2d" of the day, or empty) is the only record
// of which day lies where; painting and hints read the day back from it.
class MonthGrid {
public:
    static constexpr int ColCount = 7;
    static constexpr int RowCount = 7;
    static constexpr int FixedRows = 1;

    MonthGrid();

    const QString& cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);
    // The day a cell shows, 0 for the header row and for empty cells.
    int dayAt(int col, int row) const;

    int col() const { return m_col; }
    int row() const { return m_row; }

    // On only while a fill runs; any cell may become current then.
    bool filling() const { return m_filling; }
    void setFilling(bool on) { m_filling = on; }

    // The selection check: a day cell, or any cell while filling; never the header row.
    bool canSelect(int col, int row) const;
    // Makes the cell current when the check allows it; returns whether it did.
    bool select(int col, int row);
    // Makes a cell current without asking the check (the grid asks its own handler first).
    void setCurrent(int col, int row);

    // Writes the weekday names into the header row.
    void writeHeader();
    // Empties the week rows and writes the days of a month into them. A month that begins on
    // a Sunday leaves week row 1 empty.
    void layOutMonth(int year, int month);
    // Finds the cell showing the day: columns in the outer loop, rows in the inner, first
    // match wins.
    bool findDay(int day, int& col, int& row) const;
    // Makes the cell showing the day current; false, changing nothing, when no cell shows it.
    bool selectDay(int day);

private:
    std::array<std::array<QString, RowCount>, ColCount> m_cells;
    int m_col = 0;
    int m_row = FixedRows;
    bool m_filling = false;
};

// The text of a day cell: two characters, a leading blank for days 1 to 9.
QString DayCellText(int day);
// The day of the week of a date of the Gregorian calendar, 0 = Sunday, for any year.
int WeekdayOf(int year, int month, int day);
// The day a fill selects: today's day of the month when the shown month is today's, else 1.
int DayToSelect(int shownYear, int shownMonth, const QDate& today);

struct ShownMonth {
    int year = 0;
    int month = 1;
    bool operator==(const ShownMonth&) const = default;
};
// One month back or forward, across year ends, without any range limit.
ShownMonth PreviousMonth(ShownMonth shown);
ShownMonth NextMonth(ShownMonth shown);

// The day a week or less away from a day of the shown month, across month and year ends;
// `day` is replaced by the day reached and its month is returned.
ShownMonth StepDay(ShownMonth shown, int& day, int days);

// The date a day schedule is opened for, YYYY/MM/DD: the year field's text, then the month and
// the day with two digits each.
QString DayScheduleDate(const QString& yearText, int month, int day);
