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

// The lists' reading: CommaLineToRow of the line with one "," appended (so that an empty last
// field still fills its cell), without copying the line. With owner, the bytes that hold the
// line, a cell of SharedCellBytes or more that the line holds as it is shares them (SharedBytes).
void ListLineToRow(QByteArrayView line, Row& row, const QByteArray* owner = nullptr);

// From this size on a cell read from bytes held in memory may share them rather than be a copy.
constexpr qsizetype SharedCellBytes = 64 * 1024;

// Part of the owner's bytes as an array that shares the owner's storage (a reference to it,
// freed with the last) when part lies in it, holds SharedCellBytes or more and half the owner's
// bytes or more; else a copy. A field of megabytes then costs nothing more, while a part that
// outlives its owner never keeps more than twice its size in memory.
QByteArray SharedBytes(const QByteArray& owner, QByteArrayView part);

// The line with one field (counted from 0 as CommaLineToRow counts them) replaced by the text,
// quoted as RowToCommaLine would; every other byte stays. A line with fewer fields gets commas
// up to it.
QByteArray ReplaceCommaField(const QByteArray& line, int field, const QByteArray& text);

// The line's first field as the grid reading sees it (quotes removed), without splitting the
// rest: what a schedule line's day key really is, even when a hand edit quoted it.
QByteArray FirstCommaField(const QByteArray& line);
