#pragma once

#include <QByteArray>
#include <QList>

// One row of a list grid: its cells as code page 932 bytes, hidden columns included.
using Row = QList<QByteArray>;

// One row to one comma-separated line. A cell holding a blank, a control byte, a double quote
// or a comma is written in double quotes with its quotes doubled.
QByteArray RowToCommaLine(const Row& row);

// One line into the row's cells (the row keeps its size). Fields fill the cells from the left;
// an unquoted field runs to the next comma, blanks inside it kept and blanks around it dropped;
// an empty field is stored as a single blank so that the next field lands in the next cell;
// fields beyond the last cell are dropped.
void CommaLineToRow(const QByteArray& line, Row& row);

// The line with one field (counted from 0 as CommaLineToRow counts them) replaced by the text,
// quoted as RowToCommaLine would; every other byte stays. A line with fewer fields gets commas
// up to it.
QByteArray ReplaceCommaField(const QByteArray& line, int field, const QByteArray& text);

// The line's first field as the grid reading sees it (quotes removed), without splitting the
// rest: what a schedule line's day key really is, even when a hand edit quoted it.
QByteArray FirstCommaField(const QByteArray& line);
