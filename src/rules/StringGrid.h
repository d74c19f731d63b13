#pragma once

#include "data/CsvLine.h"

#include <QList>

// The cells of a list grid as code page 932 bytes: the working copy a list window edits and
// saves. Row 0 .. fixedRows-1 are header rows; the rest are data rows. Windows show it through
// a view; everything a window does to its rows happens here, so it can be tested without one.
class StringGrid {
public:
    StringGrid(int columns = 1, int rows = 1, int fixedRows = 0, int fixedColumns = 0);

    int columnCount() const { return m_columns; }
    int rowCount() const { return int(m_rows.size()); }
    int fixedRows() const { return m_fixedRows; }
    int fixedColumns() const { return m_fixedColumns; }

    // Grows with empty rows or shrinks from the end; never below the header rows.
    void setRowCount(int rows);

    const QByteArray& cell(int column, int row) const;
    void setCell(int column, int row, const QByteArray& text);

    const Row& row(int row) const { return m_rows.at(row); }
    Row& row(int row) { return m_rows[row]; }
    void setRow(int row, const Row& cells);

    // Empties every cell of a row.
    void clearRow(int row);
    // Inserts an empty row at index, moving it and the rows below down by one.
    void insertRow(int index);
    // Removes a row, moving the rows below up by one.
    void removeRow(int index);
    // Moves a row to another index, the rows between shifting by one.
    void moveRow(int from, int to);

    // The current (selected) row; kept within the data rows.
    int currentRow() const { return m_currentRow; }
    void setCurrentRow(int row);

private:
    int m_columns;
    int m_fixedRows;
    int m_fixedColumns;
    int m_currentRow;
    QList<Row> m_rows;
};

// Reorders the data rows by one column's text: ascending by code page 932 bytes with ASCII
// letters compared case-insensitively; empty text first, and a month's weekday rules (MM/--)
// before its fixed dates. Descending writes the same order back to front. Header rows, the row
// count and the current row index stay as they were.
void SortGridRows(StringGrid& grid, int column, bool descending);

// The comparison SortGridRows uses: negative, zero or positive.
int CompareGridText(const QByteArray& a, const QByteArray& b);
