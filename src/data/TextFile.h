#pragma once

#include "data/KalendoError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <algorithm>
#include <array>
#include <bit>
#include <functional>
#include <optional>
#include <vector>

using TextLines = QList<QByteArray>;

// What a data file was when it was read, so that a save can tell whether another program (an
// editor, a sync) has written it since: which file it was, its size and times and, for a file
// of at most StampedBytes, its bytes as read (shared with the reader's copy, not copied), which
// tell a change of the same size made within the file system's clock tick.
struct FileStamp {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    QByteArray bytes; // before any Ctrl-Z, when size <= StampedBytes
    // The wall clock just before the file was looked at (not part of what the file was).
    qint64 takenNs = 0;
    // Looked at right after this program wrote it, with the writer's modification time (see
    // SaveTextPiecesFrom): no later write leaves that time, so the times alone tell.
    bool ownWrite = false;
    bool operator==(const FileStamp& other) const {
        return exists == other.exists && device == other.device && inode == other.inode &&
               size == other.size && modifiedNs == other.modifiedNs &&
               changedNs == other.changedNs && bytes == other.bytes;
    }
};
constexpr qint64 StampedBytes = qint64(16) << 20;

// What the file at path is now, from its metadata alone (no bytes); a missing file (or folder)
// gives a stamp that does not exist. A file that cannot be looked at gives nullopt.
std::optional<FileStamp> StatFileStamp(const QString& path);

// Whether a file stamped when it was read is certainly unchanged, given its stamp now: the same
// file, size and times, and its last change at least a clock tick of any file system older than
// the reading, so that any later write shows in its times. A file written just before it was
// read may have been written again within the same tick: then this answers false, and only its
// bytes can tell. A stamp of this program's own write (ownWrite) needs only the same times.
bool CertainlyUnchanged(const FileStamp& read, const FileStamp& now);

// Whether two stamps show the same file with the same size and times (their bytes aside).
bool SameFileTimes(const FileStamp& a, const FileStamp& b);

// Whether the file at path, read now by the rules of TextBuffer::loadBytes (up to its first
// Ctrl-Z), holds exactly these bytes; read is what the file was at this reading. Compared a
// block at a time as it is read: nothing the size of the file is allocated. A file that cannot
// be read holds none.
bool FileHoldsBytes(const QString& path, QByteArrayView bytes, FileStamp& read);

// Thrown by a save given the stamp of the file as read when the file is no longer that one;
// nothing was written.
class FileChangedError : public KalendoError {
public:
    explicit FileChangedError(const QString& path);
};

// The largest data file read: 512 MB, more than twice a year file of a million long entries.
// A larger file is refused rather than read until memory runs out.
constexpr qint64 MaxTextFileBytes = qint64(512) << 20;
// The largest identity file read (Kalendo's own, beside each year file): its records hold each
// line of the year file with its escaped bytes and identity beside it, so it is larger than the
// year file, and must stay readable whenever that is. Still within 32 bits for TextBuffer::Span.
constexpr qint64 MaxIdentityFileBytes = 3 * MaxTextFileBytes;
static_assert(MaxIdentityFileBytes < (qint64(1) << 31));

// Reads a text file into lines. A line ends at CR (an LF right after it belongs to the line
// end); blanks and control bytes at the start of a line are dropped; Ctrl-Z or the physical
// end ends the file; empty lines are skipped. A missing file (or folder) reads as no lines.
// Only regular files are read: a pipe or a device in a file's place is refused without
// waiting on it, and so is a file larger than limitBytes. An existing file that cannot
// be read throws a KalendoError naming the file.
// With stamp, what the file was is kept there.
TextLines LoadTextLines(const QString& path, FileStamp* stamp = nullptr,
                        qint64 limitBytes = MaxTextFileBytes);

// A whole file's bytes as they are, for files of other programs (no line rules, Ctrl-Z kept).
// A missing file or one that cannot be read throws KalendoError::io.
QByteArray LoadFileBytes(const QString& path, qint64 limitBytes = MaxTextFileBytes);

// The same rules over bytes already in memory.
TextLines SplitTextLines(const QByteArray& bytes);

namespace TextFileDetail {
// The bytes before the first Ctrl-Z, which ends them for every reader.
qsizetype bytesBeforeCtrlZ(const char* data, qsizetype size);
// One bit for each byte from data that ends a piece of the bytes, 64 bytes to a mask, for
// count <= 64 * 64 bytes: a CR, and an LF but for one right after a CR (afterCR: the byte before
// data was one), whose piece would be empty.
void lineEndMasks(const char* data, qsizetype count, bool afterCR, quint64* masks);
// Whether the bytes end their lines as a save writes them: each CR followed by LF, each LF right
// after a CR, and the byte after each LF (if any) above blank.
bool linesEndAsSaved(const char* data, qsizetype size);

// The first place at or after from where the needle's bytes stand, or -1.
qsizetype find(const char* data, qsizetype size, qsizetype from, QByteArrayView needle);

template <typename OnLine> void forEachLine(const char* data, qsizetype size, OnLine& onLine) {
    const auto piece = [&](qsizetype first, qsizetype end) {
        while (first < end && static_cast<unsigned char>(data[first]) <= 0x20)
            ++first;
        if (first < end)
            onLine(first, end - first);
    };
    constexpr qsizetype chunkBytes = 64 * 64;
    quint64 masks[64];
    qsizetype pos = 0;
    for (qsizetype chunk = 0; chunk < size; chunk += chunkBytes) {
        const qsizetype count = std::min(chunkBytes, size - chunk);
        lineEndMasks(data + chunk, count, chunk > 0 && data[chunk - 1] == '\r', masks);
        for (qsizetype m = 0; m * 64 < count; ++m) {
            for (quint64 ends = masks[m]; ends != 0; ends &= ends - 1) {
                const qsizetype end = chunk + m * 64 + std::countr_zero(ends);
                piece(pos, end);
                pos = end + 1;
            }
        }
    }
    piece(pos, size);
}

// Calls onLine(start, size), in order, for each line of the bytes (by the rules of
// forEachLine) where find(from) finds something at or after from (its place, or -1), once however
// often. Only the places found are looked at, not every line: the way to find a few lines among
// many. What is found starts with a byte above blank and holds no CR or LF, so that it lies
// within a line.
template <typename Find, typename OnLine>
void forEachLineFound(const char* data, qsizetype size, Find&& find, OnLine& onLine) {
    const auto isEnd = [](char c) { return c == '\r' || c == '\n'; };
    for (qsizetype from = 0;;) {
        const qsizetype at = find(from);
        if (at < 0)
            return;
        qsizetype start = at;
        while (start > from && !isEnd(data[start - 1]))
            --start;
        while (start < at && static_cast<unsigned char>(data[start]) <= 0x20)
            ++start;
        qsizetype end = at + 1;
        while (end < size && !isEnd(data[end]))
            ++end;
        onLine(start, end - start);
        from = end;
    }
}

// The lines that hold the needle, as forEachLineFound gives them.
template <typename OnLine>
void forEachLineWith(const char* data, qsizetype size, QByteArrayView needle, OnLine& onLine) {
    forEachLineFound(
        data, size, [&](qsizetype from) { return find(data, size, from, needle); }, onLine);
}
} // namespace TextFileDetail

// Needles whose bytes may each be one of a few: one needle stands for a word written in several
// ways (ASCII case, full- and half-width forms), and a set of them is searched in one pass.
class AnyNeedle {
public:
    // Each needle: the bytes allowed at each of its places (none empty).
    using Needle = std::vector<QByteArray>;
    // How often a byte stands in the bytes searched, roughly (any scale): the places of a needle
    // whose bytes are rarest are the ones compared 64 at a time.
    using ByteShare = std::function<double(char)>;
    explicit AnyNeedle(std::vector<Needle> needles = {}, const ByteShare& share = {});

    bool isEmpty() const { return m_needles.empty(); }
    // Whether a needle stands whole at place.
    bool standsAt(const char* data, qsizetype size, qsizetype place) const;
    // The first place at or after from where one of the needles stands, or -1.
    qsizetype find(const char* data, qsizetype size, qsizetype from) const;

    // What is compared 64 places at a time: the two rarest of a needle's first eight places (the
    // one place of a needle of one byte), each a set of bytes at an offset from the needle's
    // start. Only where both places of some needle hold is that needle compared whole.
    struct Probe {
        int offset;
        QByteArray bytes;
    };
    static constexpr int MaxProbes = 64;
    const std::vector<Probe>& probes() const { return m_probes; }
    // For each needle, its two probes (the same one twice for a needle of one byte).
    const std::vector<std::array<int, 2>>& probePairs() const { return m_pairs; }
    // The largest probed offset + 1.
    int reach() const { return m_reach; }

private:
    std::vector<Needle> m_needles;
    std::vector<Probe> m_probes;
    std::vector<std::array<int, 2>> m_pairs;
    int m_reach = 0;
};

namespace TextFileDetail {
// The lines that hold any of the needles, as forEachLineFound gives them.
template <typename OnLine>
void forEachLineWithAny(const char* data, qsizetype size, const AnyNeedle& needles,
                        OnLine& onLine) {
    forEachLineFound(
        data, size, [&](qsizetype from) { return needles.find(data, size, from); }, onLine);
}
} // namespace TextFileDetail

// Calls onLine(start, size) for each line of the bytes by the reading rules of LoadTextLines,
// without copying any: every CR and LF ends a piece of the bytes, a piece that is empty once its
// leading blanks and control bytes are dropped is no line (so the LF of a CR LF, or an empty
// line, gives none), and Ctrl-Z ends the bytes. The line ends are found many bytes at a time,
// since this walks every byte of every file read.
template <typename OnLine> void ForEachTextLine(const char* data, qsizetype size, OnLine&& onLine) {
    TextFileDetail::forEachLine(data, TextFileDetail::bytesBeforeCtrlZ(data, size), onLine);
}

// Lines kept as places in one buffer rather than one copy each: the lines of a file read whole,
// and lines made in memory after it.
class TextBuffer {
public:
    // A line's place: files are at most MaxTextFileBytes, so 32 bits hold it, and the index of
    // a large file stays small enough to stay in the cache.
    struct Span {
        quint32 start;
        quint32 size : 31;
        quint32 made : 1; // in the bytes of the lines made in memory rather than the file's
    };

    qsizetype size() const { return qsizetype(m_lines.size()); }
    bool isEmpty() const { return m_lines.empty(); }
    QByteArrayView line(qsizetype i) const {
        const Span& s = m_lines[size_t(i)];
        return {(s.made ? m_made : m_bytes).constData() + s.start, qsizetype(s.size)};
    }
    TextLines toLines() const;

    // Empties the buffer but keeps its storage, so that reading the next file allocates nothing.
    void clear();
    // Reads a file by the rules of LoadTextLines: a missing file gives no lines, one that cannot
    // be read throws KalendoError::io.
    void load(const QString& path);

    // For readers that go through the lines as they find them: reads the file's bytes only
    // (same rules for a missing or unreadable file; nothing from a Ctrl-Z on is kept); the
    // reader then walks them with forEachFileLine() and adds the lines it keeps, those of the
    // file by their place, others made in memory.
    void loadBytes(const QString& path, qint64 limitBytes = MaxTextFileBytes);
    // The same, handing the bytes on as they are read, a few lines at a time while they are
    // still in the processor's cache: onLines(start, end) for consecutive pieces of the bytes,
    // each ending just after a line end or at the end of the bytes. A failure to read (thrown)
    // leaves the buffer empty.
    using OnLines = std::function<void(qsizetype start, qsizetype end)>;
    void loadBytes(const QString& path, const OnLines& onLines);
    const QByteArray& bytes() const { return m_bytes; }
    // The file read last, as it was then.
    const FileStamp& stamp() const { return m_stamp; }
    template <typename OnLine> void forEachFileLine(OnLine&& onLine) const {
        TextFileDetail::forEachLine(m_bytes.constData(), m_bytes.size(), onLine);
    }
    // Forgets the lines but keeps the bytes, for a reader that walks them again.
    void dropLines() { m_lines.clear(); }
    // Room for this many lines in all, for a reader that knows roughly how many will come.
    void reserveLines(qsizetype lines) { m_lines.reserve(size_t(lines)); }
    qsizetype lineCapacity() const { return qsizetype(m_lines.capacity()); }
    void addFileLine(qsizetype start, qsizetype size) {
        m_lines.push_back({quint32(start), quint32(size), 0});
    }
    void addMade(QByteArrayView line);

    // Makes the buffer what a save of its lines writes (each line followed by CR LF) with the
    // lines at the given indices (ascending) left out and the given lines after the others,
    // rewriting its bytes in place: the file just saved, without reading it. False, and nothing
    // changed, where that cannot be done in place (lines made in memory, line ends shorter than
    // CR LF) or an added line would not read back as that one line.
    bool rewriteAsSaved(const std::vector<qsizetype>& dropped, const TextLines& added,
                        const FileStamp& stamp);

private:
    QByteArray m_bytes;
    QByteArray m_made;
    std::vector<Span> m_lines;
    FileStamp m_stamp;
};

// Rewrites a data file whole: every line followed by CR LF, no header, no byte-order mark.
// The lines go to a temporary file in the same folder, which replaces the original only once
// everything is written and flushed; on any failure the original stays untouched and a
// KalendoError with the user's message and the file's path is thrown. The data folder is never
// created. The version replaced is kept in backup/ first (data/Backup.h); the result is the
// message to show when it could not be, empty otherwise.
// Given the stamp of the file as read (expected), the file is replaced only while it is still
// that file, unchanged (or still missing); else FileChangedError is thrown and nothing written,
// so that a list open while another program wrote the file never overwrites its lines.
QString SaveTextLines(const QString& path, const TextLines& lines,
                      const FileStamp* expected = nullptr);

// The same for lines handed over as they come: lines(add) calls add(text) in order, and each
// text is written followed by CR LF. A text may be several lines already joined by CR LF (a run
// of a file's bytes as they stand), so that a large file's lines need no copy each.
// With written, the file's stamp once replaced (without its bytes): ownWrite when the file then
// still has the modification time the writer gave it.
using AddLine = std::function<void(QByteArrayView)>;
QString SaveTextLinesFrom(const QString& path, const std::function<void(const AddLine&)>& lines,
                          const FileStamp* expected = nullptr, FileStamp* written = nullptr);
// The same for lines that may come in pieces: add(text, lineEnds) writes the text, followed by
// CR LF when lineEnds; a line of megabytes need never be whole in memory.
using AddPiece = std::function<void(QByteArrayView, bool)>;
QString SaveTextPiecesFrom(const QString& path, const std::function<void(const AddPiece&)>& pieces,
                           const FileStamp* expected = nullptr, FileStamp* written = nullptr);

// Writes a file for another program (an export) whole: it replaces the file at path only once
// complete, and keeps no backup, since it is no data file and may lie in any folder. A failure
// throws KalendoError with the user's message and leaves any earlier file as it was.
void SaveExportFile(const QString& path, const QByteArray& bytes);

// What a save's temporary file adds to the hidden name of the file it replaces, before six
// random characters: ".2025.csv.kalendo-save-Ab3xYz".
inline constexpr char SaveTempSuffix[] = ".kalendo-save-";

// Removes the temporary files that saves killed part-way left in a data folder (hidden regular
// files named as SaveTextLines names them, and those of earlier releases, ".2025.csv.Ab3xYz",
// for Kalendo's own file names only), and those left beside the file a data file links to.
// Only call it while no other process can be saving there. Failures are ignored: a file left
// stays harmless.
void RemoveLeftoverSaves(const QString& folder);
