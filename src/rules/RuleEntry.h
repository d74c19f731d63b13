#pragma once

#include "data/CsvLine.h"
#include "rules/StringGrid.h"

#include <QDate>

// One holiday or event rule as its editor shows it, and back as the list's cells
// (date text, title, week number, weekday).
struct RuleEntry {
    int weekNumber = 0; // 0 = fixed date, 1..5 = first..fifth given weekday of the month
    int monthIndex = 0; // 0..11 for January..December
    int weekday = 0;    // 0 = Sunday .. 6 = Saturday; 0 for a fixed date
    QDate date;         // the fixed date; only month and day are stored

    bool isFixedDate() const { return weekNumber == 0; }

    // Reads a stored rule (cells 0, 2 and 3 of a list row) for the editor. A fixed date is
    // placed in today's year; 29 February in a common year goes to the nearest leap year, so
    // the rule can still be opened, changed or deleted. A value that cannot be read throws
    // KalendoError ("'…' は整数ではありません" or "'…' は日付ではありません").
    static RuleEntry fromRow(const Row& row, const QDate& today);

    // The date text of the list and the file: "MM/DD" for a fixed date, "MM/--" otherwise.
    QByteArray dateText() const;
    QByteArray weekNumberText() const { return QByteArray::number(weekNumber); }
    QByteArray weekdayText() const { return QByteArray::number(isFixedDate() ? 0 : weekday); }
};

// The nearest leap year to a year (the later one when two are equally near).
int NearestLeapYear(int year);

// An anniversary's date text "YYYY/MM/DD" and back; text that is no date throws
// KalendoError "'…' は日付ではありません".
QDate AnniversaryDateFromText(const QByteArray& text);
QByteArray AnniversaryDateText(const QDate& date);
// The first four bytes of an anniversary whose year is not known ("----/MM/DD", as a phone keeps a
// birthday without one): it shows on its day without the years since. Read as a date it falls in
// AnniversaryNoYearIn, a leap year so that 29 February is a day, where phones put such a birthday.
inline constexpr char AnniversaryNoYear[] = "----";
inline constexpr int AnniversaryNoYearIn = 1604;
// AnniversaryDateFromText that also reads "----/MM/DD", telling so in noYear.
QDate AnniversaryDayFromText(const QByteArray& text, bool& noYear);

// An anniversary's month and day as the lists show them: for one without a year, what is stored
// after "----/" (the year's place is no part of it); null for any other text.
QByteArray AnniversaryMonthDayText(const QByteArray& stored);

// Orders the anniversary list as the file keeps it: dated ones newest first, then those without a
// year in calendar order (January first, as a phone lists birthdays), then rows without a date.
// Entries of the same date keep their order, so an OK never swaps them. A "----" date that cannot
// be read goes after the readable ones without a year.
void SortAnniversaryRows(StringGrid& grid, int dateColumn);
