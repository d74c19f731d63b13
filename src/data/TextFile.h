#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

using TextLines = QList<QByteArray>;

// The largest data file read: 512 MB, more than twice a year file of a million long entries.
// A larger file is refused rather than read until memory runs out.
constexpr qint64 MaxTextFileBytes = qint64(512) << 20;

// Reads a text file into lines. A line ends at CR (an LF right after it belongs to the line
// end); blanks and control bytes at the start of a line are dropped; Ctrl-Z or the physical
// end ends the file; empty lines are skipped. A missing file (or folder) reads as no lines.
// Only regular files are read: a pipe or a device in a file's place is refused without
// waiting on it, and so is a file larger than MaxTextFileBytes. An existing file that cannot
// be read throws a KalendoError naming the file.
TextLines LoadTextLines(const QString& path);

// A whole file's bytes as they are, for files of other programs (no line rules, Ctrl-Z kept).
// A missing file or one that cannot be read throws KalendoError::io.
QByteArray LoadFileBytes(const QString& path);

// The same rules over bytes already in memory.
TextLines SplitTextLines(const QByteArray& bytes);

// Rewrites a data file whole: every line followed by CR LF, no header, no byte-order mark.
// The lines go to a temporary file in the same folder, which replaces the original only once
// everything is written and flushed; on any failure the original stays untouched and a
// KalendoError with the user's message and the file's path is thrown. The data folder is never
// created. The version replaced is kept in backup/ first (data/Backup.h); the result is the
// message to show when it could not be, empty otherwise.
QString SaveTextLines(const QString& path, const TextLines& lines);

// Writes a file for another program (an export) whole: it replaces the file at path only once
// complete, and keeps no backup, since it is no data file and may lie in any folder. A failure
// throws KalendoError with the user's message and leaves any earlier file as it was.
void SaveExportFile(const QString& path, const QByteArray& bytes);

// Removes the temporary files that saves killed part-way left in a data folder (hidden regular
// files named like SaveTextLines names them: ".2025.csv.Ab3xYz"). Only call it while no other
// process can be saving there. Failures are ignored: a file left stays harmless.
void RemoveLeftoverSaves(const QString& folder);
