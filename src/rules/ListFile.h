#pragma once

#include "data/CsvLine.h"
#include "data/LineChanges.h"
#include "data/TextFile.h"
#include "rules/StringGrid.h"

#include <QHash>
#include <QPair>

#include <optional>

// A line as the lists read it, one row of `columns` cells: with one "," appended, so that an
// empty last field still fills its cell. Owner as for ListLineToRow.
Row LineRow(QByteArrayView line, int columns, const QByteArray* owner = nullptr);

// Lines as read, found again by the row each reads as; each line serves once.
class ReadLines {
public:
    // looseColumn: a cell whose change alone still finds the line (the day list's number,
    // which a deletion or a new first entry changes in rows nobody edited).
    explicit ReadLines(int looseColumn = -1) : m_looseColumn(looseColumn) {}
    void add(const Row& row, const QByteArray& line);
    // The line a row equal to this one was read from, if one is left.
    std::optional<QByteArray> take(const Row& row);
    // The line of a row equal to this one but for the loose column, if one is left, with that
    // field made the row's and every other byte as read; none (the line taken all the same) when
    // the line so changed would not read as the row.
    std::optional<QByteArray> takeRenumbered(const Row& row);

private:
    Row loose(Row row) const;
    std::optional<qsizetype> takeFrom(QHash<Row, QList<qsizetype>>& lines, const Row& row);

    int m_looseColumn;
    QList<QByteArray> m_lines;
    QList<bool> m_taken;
    QHash<Row, QList<qsizetype>> m_exact;
    QHash<Row, QList<qsizetype>> m_loose;
};

// A list window's file as rows. It remembers the line each row was read from, so that saving
// writes a row nobody changed back byte for byte instead of re-quoting it.
class ListFile {
public:
    // Reads the file; each line, with one "," appended so that an empty last field still fills
    // its cell, gives one row of `columns` cells. A missing file gives no rows.
    QList<Row> load(const QString& path, int columns);

    // The lines for rows in their order: a row equal to one that was read gets the line it came
    // from (each read line serves once); any other row is RowToCommaLine(row) followed by tail.
    // A kept line with fewer than two commas gets the tail too: an anniversary line needs the
    // comma after its title to show in the month.
    TextLines lines(const QList<Row>& rows, const QByteArray& tail = {}) const;

    // The data rows of a list grid that OK saves: each row still as it was read (each read row
    // serves once), whatever it holds, and any other row whose key cell holds more than blanks.
    // A blank row left behind (by a failure between 新規 and the editor) is no entry and must
    // not reach the file; a line of the file without a date is the user's and must.
    QList<Row> entries(const StringGrid& grid, int keyColumn) const;

    // Writes lines(rows, tail) over the file read, only while it is still as read; when another
    // program wrote it meanwhile, the list's changes are made over that version
    // (SaveOverChangedFile). On a conflict nothing is written, the file as it now is becomes the
    // one read, and shown gets the rows of both sides for the list to show.
    ChangedFileSave save(const QString& path, const QList<Row>& rows, const QByteArray& tail,
                         QList<Row>& shown);

    // The file as load() read it.
    const FileStamp& stamp() const { return m_stamp; }

private:
    QList<Row> take(const TextLines& lines);

    QList<QPair<Row, QByteArray>> m_read;
    FileStamp m_stamp;
    int m_columns = 0;
};

// The first data row of a grid that reads as the line does (as load() reads it, one cell per
// column of the grid), or -1: how an entry found elsewhere is selected in its list.
int FindLineRow(const StringGrid& grid, QByteArrayView line);

// Fills a list grid's data rows from rows read; an empty list keeps one blank row, so the grid
// always has a row to select. The first data row becomes current.
void FillListRows(StringGrid& grid, const QList<Row>& rows);

// The delete command of the lists: the only data row is blanked, any other current row removed.
void DeleteListRow(StringGrid& grid);

// Before the editor opens for 新規 (in every list): a blank row is inserted at the current row
// unless that row's title cell holds only blanks, which the editor then takes as it is. The
// current row stays.
void PrepareNewListRow(StringGrid& grid, int titleColumn);
