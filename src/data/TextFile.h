#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <vector>

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

// Walks the lines of bytes by the reading rules of LoadTextLines without copying them: each
// call of next() gives the next line's place in the bytes, until it returns false.
class TextLineScanner {
public:
    TextLineScanner(const char* data, qsizetype size) : m_data(data), m_size(size) {}
    bool next(qsizetype& start, qsizetype& size);

private:
    const char* m_data;
    qsizetype m_size;
    // Where the piece of the bytes up to the next line end starts.
    qsizetype m_pos = 0;
    // The line ends (CR, LF, Ctrl-Z) not yet passed among the 64 bytes from m_block, one bit
    // each: every byte is looked at once, many at a time.
    qsizetype m_block = -64;
    quint64 m_ends = 0;
    bool m_done = false;
};

// Lines kept as places in one buffer rather than one copy each: the lines of a file read whole,
// and lines made in memory after it.
class TextBuffer {
public:
    struct Span {
        qsizetype start;
        qsizetype size;
        bool made; // in the bytes of the lines made in memory rather than the file's
    };

    qsizetype size() const { return qsizetype(m_lines.size()); }
    bool isEmpty() const { return m_lines.empty(); }
    QByteArrayView line(qsizetype i) const {
        const Span& s = m_lines[size_t(i)];
        return {(s.made ? m_made : m_bytes).constData() + s.start, s.size};
    }
    const Span& span(qsizetype i) const { return m_lines[size_t(i)]; }
    TextLines toLines() const;

    // Empties the buffer but keeps its storage, so that reading the next file allocates nothing.
    void clear();
    // Reads a file by the rules of LoadTextLines: a missing file gives no lines, one that cannot
    // be read throws KalendoError::io.
    void load(const QString& path);

    // For readers that go through the lines as they find them: reads the file's bytes only
    // (same rules for a missing or unreadable file); the reader then walks bytes() with a
    // TextLineScanner and adds the lines it keeps, those of the file by their place, others
    // made in memory.
    void loadBytes(const QString& path);
    const QByteArray& bytes() const { return m_bytes; }
    void addFileLine(qsizetype start, qsizetype size) { m_lines.push_back({start, size, false}); }
    void addMade(QByteArrayView line);

private:
    QByteArray m_bytes;
    QByteArray m_made;
    std::vector<Span> m_lines;
};

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
