#pragma once

#include "data/LineChanges.h"
#include "data/TextFile.h"
#include "rules/StringGrid.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The schedule of one day as its list window edits it: rows of seven cells, the columns of a
// line of the year's schedule file.
namespace ScheduleColumn {
constexpr int Date = 0;
constexpr int Number = 1;
constexpr int Start = 2;
constexpr int End = 3;
constexpr int Title = 4;
constexpr int Place = 5;
constexpr int Memo = 6;
constexpr int Count = 7;
} // namespace ScheduleColumn

// The most bytes an entry's text fields hold: what the editor lets the user type, and what an
// import cuts to.
namespace ScheduleFieldBytes {
constexpr int Title = 40;
constexpr int Place = 40;
constexpr int Memo = 100;
} // namespace ScheduleFieldBytes

// The year and the DayKey (YYYYMMDD) of a list caption "YYYY/MM/DD". Any other caption throws
// KalendoError::notDate: the file to read and write must never be guessed.
int CaptionYear(const QString& caption);
QByteArray CaptionDayKey(const QString& caption);

// Whether a line of the year's file belongs to the day. The first field is taken unquoted, so
// a hand-quoted date is still recognised and its line neither hidden nor lost.
bool IsDayLine(QByteArrayView line, const QByteArray& dayKey);

// Calls onLine(start, size) once for each line of the bytes, in file order, that holds the day
// key (YYYYMMDD) of one of the dates where accept(after), given the place just after the key,
// agrees (no accept: always). Keys alike but for their last digit are found in one pass over the
// bytes, not one pass each: the reminders look at a few days together.
void ForEachLineWithDayKeys(const char* data, qsizetype size, const QList<QDate>& dates,
                            const std::function<bool(qsizetype)>& accept,
                            const std::function<void(qsizetype, qsizetype)>& onLine);

// One row per line, in file order (the year's memory of the other days).
void FillYearTable(const TextLines& lines, StringGrid& yearTable);

// The day's lines as the list's data rows (header rows kept), sorted by the number as text;
// a day without lines gets one placeholder row numbered "1". The first data row is current.
void ListDayRows(const TextLines& lines, const QByteArray& dayKey, StringGrid& dayList);
// Where the day's lines start in the bytes of a year read, in file order: what a save needs to
// know of the day, so that it does not look at every line again.
using DayLineStarts = std::vector<qsizetype>;
// The rows the day's lines were read as, in file order: a save finds the lines of the rows still
// as read by them rather than by their text.
using DayLineRows = std::vector<Row>;

// Reads the year's file into year (TextBuffer::loadBytes) and lists the day as ListDayRows does.
// Of a large year only the lines that hold the key are looked at, as they are read; a file that
// cannot be read throws before the list is touched. With dayStarts, where the day's lines start;
// with dayRows, the rows they were read as (sharing their cells with the list's rows).
void LoadDayRows(const QString& path, const QByteArray& dayKey, TextBuffer& year,
                 StringGrid& dayList, DayLineStarts* dayStarts = nullptr,
                 DayLineRows* dayRows = nullptr);

// The lines a save writes: the other days' lines first, byte for byte in file order, then the
// day's rows in list order: a row still as read gives its line byte for byte, any other row
// with a title or a date RowToCommaLine of the row, with the day's key as its date.
TextLines DaySaveLines(const TextLines& yearLines, const StringGrid& dayList,
                       const QByteArray& dayKey);
// The same lines from the year's file read by TextBuffer::loadBytes, handed to add (for
// SaveTextLinesFrom): lines the file holds as the save writes them go in runs, several lines
// to one call, each but the last followed by CR LF.
// Given dayStarts of the same bytes (LoadDayRows), the day's lines are those, and no other line
// is tested for the key.
// With written, the day's lines as written are copied there. dayRows (with dayStarts) as
// LoadDayRows gave them for the same bytes.
void DaySaveLines(const TextBuffer& year, const StringGrid& dayList, const QByteArray& dayKey,
                  const AddLine& add, const DayLineStarts* dayStarts = nullptr,
                  TextLines* written = nullptr, const DayLineRows* dayRows = nullptr);

// The day's lines of a year read, in file order.
TextLines DayLines(const TextBuffer& year, const QByteArray& dayKey);

// What a save of a day wrote over the version of the year's file it read, for a reader that
// holds that version's lines (YearTables::takeSavedDay) and so need not read and index the
// file again: the version's lines but the day's, in file order, then the day's lines as written,
// each followed by CR LF.
struct SavedDay {
    QString path;
    QByteArray dayKey;
    FileStamp read;          // the version read, without its bytes
    DayLineStarts dayStarts; // where the day's lines start in it
    TextLines dayLines;      // the day's lines as written
    FileStamp written;       // the file as it was seen once written
    bool sameBytes = false;  // written byte for byte as read (the bytes before any Ctrl-Z)
};

// OK of the day list: the year's file written as DaySaveLines gives it while the file is still
// as read into year. When another program wrote it meanwhile, the day's changes are made over
// that version (SaveOverChangedFile); on a conflict nothing is written, year becomes the file as
// it now is and the list shows the day's lines of both sides.
// dayStarts as for DaySaveLines; they no longer hold once year has become another version.
// With saved and dayStarts, a save over the version read (outcome Saved) says there what it wrote.
// With hash, such a save gives there the BytesHasher hash of the bytes written (for
// RecordYearIdentities) where it is known without another pass: hashed as they are written, or,
// when the save writes back the very bytes of the version the previous save wrote, that one's.
// dayRows as for DaySaveLines.
ChangedFileSave SaveDay(const QString& path, TextBuffer& year, StringGrid& dayList,
                        const QByteArray& dayKey, const DayLineStarts* dayStarts = nullptr,
                        SavedDay* saved = nullptr, std::optional<quint64>* hash = nullptr,
                        const DayLineRows* dayRows = nullptr);

// Numbers the data rows 1..n from the top in the given column.
void RenumberRows(StringGrid& grid, int column);

// Removes the current data row (the only one is emptied instead) and renumbers the list.
void DeleteDayRow(StringGrid& dayList);

// What the editor's OK stores: start and end time ("HH:MM" or empty), title, place, memo.
struct DayEntry {
    QByteArray start;
    QByteArray end;
    QByteArray title;
    QByteArray place;
    QByteArray memo;
};

// Writes the entry into the current row, sorts the list by start time and renumbers it.
void StoreDayEntry(StringGrid& dayList, const QByteArray& dayKey, const DayEntry& entry);

// The empty time of a time box: two blanks, colon, two blanks.
inline const QString EmptyTimeText = QStringLiteral("  :  ");

// What a time box shows for a stored time: the time as stored, a one-digit hour ("9:00")
// with its leading zero.
QString StoredTimeText(const QByteArray& stored);

// A time box's text when the focus leaves it: blanks become "0", an hour of 24 or more becomes
// "00", then a minute of 60 or more becomes "00". The empty time stays empty: passing through
// the box types nothing, and an entry without a time is an all-day one.
QString CompleteTime(const QString& text);
