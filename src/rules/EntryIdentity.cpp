#include "rules/EntryIdentity.h"

#include "data/CsvLine.h"
#include "data/KalendoError.h"
#include "rules/BytesHasher.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QTimeZone>
#include <QUuid>

#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <vector>

namespace {

constexpr char Header[] = "# Kalendo: UID,RECURRENCE-ID,SEQUENCE,LAST-MODIFIED,line[,NAME=value]";
const QString StampFormat = QStringLiteral("yyyyMMdd'T'HHmmss'Z'");

// Field bytes that would break a record (separators, blanks a reader drops, the escape itself)
// become %XX; everything else stays readable.
constexpr bool escapedByte(unsigned char u) {
    return u <= 0x20 || u == 0x7F || u == ',' || u == '%' || u == '=' || u == '#';
}

void appendEncoded(QByteArray& out, QByteArrayView bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    qsizetype run = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto u = static_cast<unsigned char>(bytes[i]);
        if (!escapedByte(u))
            continue;
        out.append(bytes.data() + run, i - run);
        const char escape[3] = {'%', hex[u >> 4], hex[u & 15]};
        out.append(escape, 3);
        run = i + 1;
    }
    out.append(bytes.data() + run, bytes.size() - run);
}

QByteArray decode(const QByteArray& text) {
    return QByteArray::fromPercentEncoding(text);
}

struct Record {
    QByteArray line;
    EntryIdentity identity;
};

// A record from its line; false for a line that is not one (a hand edit, a damaged file).
bool parseRecord(const QByteArray& text, Record& record) {
    if (text.startsWith('#'))
        return false;
    const QList<QByteArray> fields = text.trimmed().split(',');
    if (fields.size() < 5 || fields.at(0).isEmpty())
        return false;
    bool ok = false;
    record.identity.uid = decode(fields.at(0));
    record.identity.recurrenceId = decode(fields.at(1));
    record.identity.sequence = fields.at(2).isEmpty() ? 0 : fields.at(2).toInt(&ok);
    if (!fields.at(2).isEmpty() && (!ok || record.identity.sequence < 0))
        return false;
    if (const QByteArray& stamp = fields.at(3); stamp.size() == 16 && stamp.at(8) == 'T') {
        // Read by hand: a year's records are many, and QDateTime's format parsing is slow.
        const auto number = [&](int at, int size) { return stamp.mid(at, size).toInt(); };
        record.identity.lastModified =
            QDateTime(QDate(number(0, 4), number(4, 2), number(6, 2)),
                      QTime(number(9, 2), number(11, 2), number(13, 2)), QTimeZone::utc());
    }
    record.line = decode(fields.at(4));
    for (qsizetype i = 5; i < fields.size(); ++i) {
        const qsizetype eq = fields.at(i).indexOf('=');
        if (eq > 0)
            record.identity.properties.insert(fields.at(i).left(eq),
                                              decode(fields.at(i).mid(eq + 1)));
    }
    return !record.line.isEmpty();
}

void appendDigits(QByteArray& out, int value, int width) {
    char digits[4];
    for (int i = width - 1; i >= 0; --i, value /= 10)
        digits[i] = char('0' + value % 10);
    out.append(digits, width);
}

// LAST-MODIFIED as records hold it, "yyyyMMdd'T'HHmmss'Z'": by hand, since every record of a
// large year is written at a save, and formatting through QDateTime is slow.
void appendStamp(QByteArray& out, const QDateTime& stamp) {
    if (!stamp.isValid())
        return;
    const QDateTime utc = stamp.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    if (date.year() < 1000 || date.year() > 9999) {
        out += utc.toString(StampFormat).toLatin1();
        return;
    }
    appendDigits(out, date.year(), 4);
    appendDigits(out, date.month(), 2);
    appendDigits(out, date.day(), 2);
    out += 'T';
    appendDigits(out, time.hour(), 2);
    appendDigits(out, time.minute(), 2);
    appendDigits(out, time.second(), 2);
    out += 'Z';
}

// Where a record goes in pieces: each piece is handed on and out emptied, so that a record of a
// line of megabytes is never whole in memory.
using RecordPiece = std::function<void(QByteArrayView)>;
constexpr qsizetype RecordPieceBytes = qsizetype(1) << 16;

void appendRecord(QByteArray& out, QByteArrayView line, const EntryIdentity& id,
                  const RecordPiece* spill = nullptr) {
    appendEncoded(out, id.uid);
    out += ',';
    appendEncoded(out, id.recurrenceId);
    out += ',';
    out += QByteArray::number(id.sequence);
    out += ',';
    appendStamp(out, id.lastModified);
    out += ',';
    for (qsizetype at = 0; at < line.size(); at += RecordPieceBytes) {
        appendEncoded(out, line.sliced(at, std::min(RecordPieceBytes, line.size() - at)));
        if (spill && out.size() >= RecordPieceBytes) {
            (*spill)(out);
            out.resize(0);
        }
    }
    for (auto it = id.properties.cbegin(); it != id.properties.cend(); ++it) {
        out += ',';
        appendEncoded(out, it.key());
        out += '=';
        appendEncoded(out, it.value());
    }
}

int upperHex(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Whether a field is as appendEncoded writes it: no byte it escapes left as it is, and every
// escape one of a byte it escapes, in upper-case hex.
bool encodedAsWritten(QByteArrayView field) {
    for (qsizetype i = 0; i < field.size(); ++i) {
        const auto u = static_cast<unsigned char>(field[i]);
        if (u != '%') {
            if (escapedByte(u))
                return false;
            continue;
        }
        if (i + 2 >= field.size())
            return false;
        const int high = upperHex(field[i + 1]);
        const int low = upperHex(field[i + 2]);
        if (high < 0 || low < 0 || !escapedByte(static_cast<unsigned char>(high * 16 + low)))
            return false;
        i += 2;
    }
    return true;
}

// A field as appendEncoded writes it, unescaped (what fromPercentEncoding gives for it).
void appendDecoded(QByteArray& out, QByteArrayView field) {
    qsizetype run = 0;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '%')
            continue;
        out.append(field.data() + run, i - run);
        out += char(upperHex(field[i + 1]) * 16 + upperHex(field[i + 2]));
        i += 2;
        run = i + 1;
    }
    out.append(field.data() + run, field.size() - run);
}

// Whether a LAST-MODIFIED field is as appendStamp writes the time it reads as.
bool stampAsWritten(QByteArrayView stamp) {
    if (stamp.isEmpty())
        return true;
    if (stamp.size() != 16 || stamp[8] != 'T' || stamp[15] != 'Z' || stamp[0] == '0')
        return false;
    for (const int i : {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14})
        if (stamp[i] < '0' || stamp[i] > '9')
            return false;
    const auto number = [&](int at, int size) { return stamp.sliced(at, size).toInt(); };
    return QDate(number(0, 4), number(4, 2), number(6, 2)).isValid() &&
           QTime(number(9, 2), number(11, 2), number(13, 2)).isValid();
}

// Bytes that views point into while matching: a block never moves once made.
class Arena {
public:
    QByteArrayView keep(QByteArrayView bytes) {
        if (m_blocks.empty() ||
            m_blocks.back().capacity() - m_blocks.back().size() < bytes.size()) {
            m_blocks.emplace_back();
            m_blocks.back().reserve(std::max<qsizetype>(bytes.size(), qsizetype(1) << 20));
        }
        QByteArray& block = m_blocks.back();
        const qsizetype at = block.size();
        block.append(bytes); // within its capacity: nothing moves
        return {block.constData() + at, bytes.size()};
    }

private:
    std::vector<QByteArray> m_blocks;
};

// The keys an entry is known by, from the surest to the loosest: the cells each compares.
enum Stage { Cells, Edited, Texts, Times, OtherDay, StageCount };
std::span<const int> keyColumns(Stage stage) {
    using namespace ScheduleColumn;
    static constexpr int cells[] = {Date, Start, End, Title, Place, Memo};
    static constexpr int texts[] = {Date, Title, Place, Memo};
    static constexpr int times[] = {Date, Start, End};
    static constexpr int otherDay[] = {Start, End, Title, Place, Memo};
    switch (stage) {
    case Cells:
    case Edited:
        return cells;
    case Texts:
        return texts;
    case Times:
        return times;
    case OtherDay:
        return otherDay;
    default:
        return {};
    }
}

bool sameKey(const Row& a, const Row& b, Stage stage) {
    for (const int c : keyColumns(stage))
        if (a[c] != b[c])
            return false;
    return true;
}

// The UID earlier versions exported for an entry (its day and number): a data folder that has
// never had identities keeps what other calendars already hold from it.
// It is "schedule-" + the first 12 bytes of a SHA-1 in hex + "@kalendo": a year's lines keep
// only those bytes until their records are written.
using EarlierUidBytes = std::array<char, 12>;
EarlierUidBytes earlierUidBytes(QByteArrayView where, int nth) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(where);
    if (nth > 0)
        hash.addData(QByteArray('#' + QByteArray::number(nth)));
    const QByteArray digest = hash.result();
    EarlierUidBytes bytes;
    std::memcpy(bytes.data(), digest.constData(), bytes.size());
    return bytes;
}

QByteArray earlierUid(const EarlierUidBytes& bytes) {
    return "schedule-" + QByteArray(bytes.data(), qsizetype(bytes.size())).toHex() + "@kalendo";
}

// A line's day and number as earlier versions named an entry by them.
QByteArray entryWhere(QByteArrayView line) {
    Row cells(2);
    ListLineToRow(line, cells);
    return cells[0].trimmed() + '/' + cells[1].trimmed();
}

QByteArray newUid() {
    return QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "@kalendo";
}

quint64 bytesHash(QByteArrayView bytes) {
    BytesHasher hasher;
    hasher.add(bytes);
    return hasher.finish();
}

QByteArray bytesMark(const QByteArray& bytes) {
    return QByteArray::number(bytesHash(bytes), 16);
}

QByteArray yearMark(quint64 hash) {
    return "#year " + QByteArray::number(hash, 16);
}

QByteArray yearMark(const QByteArray& yearBytes) {
    return yearMark(bytesHash(yearBytes));
}

QByteArray recordsMark(const QByteArray& records) {
    return bytesMark(records);
}

// The mark line of identity files found to fit their records, with the stamp they had when read:
// while a file is certainly that one still, its records need not be read again to know its mark.
// Saves come from the window and from the sync, so the note is shared under a lock.
struct CheckedMark {
    FileStamp stamp;
    QByteArray line;
};
QMutex checkedMarksLock;
QHash<QString, CheckedMark>& checkedMarks() {
    static QHash<QString, CheckedMark> marks;
    return marks;
}

// The mark line of the identity file at path as noted while it is certainly the file then read,
// else empty.
QByteArray notedMark(const QString& path) {
    const std::optional<FileStamp> now = StatFileStamp(path);
    if (!now || !now->exists)
        return {};
    const QMutexLocker locker(&checkedMarksLock);
    const auto it = checkedMarks().constFind(path);
    return it != checkedMarks().cend() && CertainlyUnchanged(it->stamp, *now) ? it->line
                                                                              : QByteArray();
}

// The mark line of an identity file read (file) when it fits the records after it, else empty;
// a fitting one is noted with the file's stamp.
QByteArray fittingMark(const QString& path, const TextBuffer& file) {
    const QByteArray& all = file.bytes();
    const qsizetype first = all.indexOf('\n');
    const qsizetype second = first < 0 ? -1 : all.indexOf('\n', first + 1);
    if (second <= 0)
        return {};
    const QByteArray line = all.mid(first + 1, second - first - 1).trimmed();
    const qsizetype blank = line.lastIndexOf(' ');
    if (blank < 0 ||
        line.mid(blank + 1) != recordsMark(QByteArray::fromRawData(all.constData() + second + 1,
                                                                   all.size() - second - 1)))
        return {};
    FileStamp stamp = file.stamp();
    stamp.bytes.clear(); // the metadata tells; the records need not stay in memory
    const QMutexLocker locker(&checkedMarksLock);
    checkedMarks().insert(path, {stamp, line});
    return line;
}

// A key's hash: its cells are never joined into one array, which for a field of megabytes would
// be megabytes again. Equal hashes are confirmed by sameKey.
quint64 keyHash(const Row& r, Stage stage) {
    BytesHasher hasher;
    for (const int c : keyColumns(stage)) {
        hasher.add(r[c]);
        hasher.add(QByteArrayView("", 1)); // a cell never holds a NUL
    }
    return hasher.finish();
}

QByteArray readYearBytes(const QString& path) {
    return QFile::exists(path) ? LoadFileBytes(path) : QByteArray();
}

// The lines of bytes read whole (by the rules of LoadTextLines), by their places: a large year
// and its identity file are matched without a copy of each line. The places are kept in blocks,
// so that none is copied or left behind as their number grows.
class LinePlaces {
public:
    explicit LinePlaces(const QByteArray& bytes) : m_bytes(bytes) {
        ForEachTextLine(m_bytes.constData(), m_bytes.size(), [this](qsizetype start, qsizetype n) {
            if ((m_size & BlockMask) == 0)
                m_blocks.push_back(std::make_unique<Place[]>(size_t(BlockMask) + 1));
            m_blocks.back()[size_t(m_size & BlockMask)] = {quint32(start), quint32(n)};
            ++m_size;
        });
    }
    qsizetype size() const { return m_size; }
    QByteArrayView line(qsizetype i) const {
        const Place& place = m_blocks[size_t(i >> BlockBits)][size_t(i & BlockMask)];
        return {m_bytes.constData() + place.start, qsizetype(place.size)};
    }
    Row cells(qsizetype i) const { return EntryCells(line(i), &m_bytes); }
    const QByteArray* storage() const { return &m_bytes; }
    // Line i's bytes to change in place, or null while another holder shares them.
    char* mutableLine(qsizetype i) {
        if (!m_bytes.isDetached())
            return nullptr;
        const Place& place = m_blocks[size_t(i >> BlockBits)][size_t(i & BlockMask)];
        return m_bytes.data() + place.start;
    }

private:
    struct Place {
        quint32 start;
        quint32 size;
    };
    static constexpr int BlockBits = 16;
    static constexpr qsizetype BlockMask = (qsizetype(1) << BlockBits) - 1;
    QByteArray m_bytes; // shared with the reader's
    std::vector<std::unique_ptr<Place[]>> m_blocks;
    qsizetype m_size = 0;
};

// Lines given as a list, seen the same way.
struct ListLines {
    const TextLines& list;
    qsizetype size() const { return list.size(); }
    QByteArrayView line(qsizetype i) const { return list.at(i); }
    Row cells(qsizetype i) const { return EntryCells(list.at(i)); }
    const QByteArray* storage() const { return nullptr; }
    char* mutableLine(qsizetype) const { return nullptr; }
};

// A record of the identity file as matching needs it, without taking it apart: where it and its
// line stand, the hash of that line unescaped, and its UID's number among the UIDs met.
struct RecordRef {
    quint64 lineHash = 0;
    qint32 text = 0; // its index among the identity file's lines
    qint32 uid = 0;
    quint32 lineAt = 0;     // the line field, within the text, up to the next comma
    bool escaped = false;   // the line field holds escapes
    bool asWritten = false; // the text is what appendRecord writes for its line and identity
};

// bytesHash of a field as appendEncoded writes it, unescaped: decoded a piece at a time into
// scratch, so that a line of megabytes is never whole twice.
quint64 decodedHash(QByteArrayView field, QByteArray& scratch) {
    BytesHasher hasher;
    constexpr qsizetype piece = qsizetype(1) << 16;
    for (qsizetype at = 0; at < field.size();) {
        qsizetype end = std::min(field.size(), at + piece);
        // An escape stays whole: never cut within its three bytes (every '%' starts one).
        if (end < field.size()) {
            if (field[end - 1] == '%')
                end -= 1;
            else if (field[end - 2] == '%')
                end -= 2;
        }
        scratch.resize(0);
        appendDecoded(scratch, field.sliced(at, end - at));
        hasher.add(scratch);
        at = end;
    }
    return hasher.finish();
}

// Looks at a line of the identity file; false for one that is no record (parseRecord's rules).
bool scanRecord(QByteArrayView raw, RecordRef& ref, QByteArray& scratch) {
    const QByteArrayView text = raw.trimmed();
    QByteArrayView fields[5];
    qsizetype at = 0;
    for (int f = 0; f < 5; ++f) {
        if (at > text.size())
            return false;
        const void* comma = std::memchr(text.data() + at, ',', size_t(text.size() - at));
        const qsizetype end = comma ? static_cast<const char*>(comma) - text.data() : text.size();
        fields[f] = text.sliced(at, end - at);
        at = end + 1;
    }
    if (fields[0].isEmpty() || fields[4].isEmpty())
        return false;
    bool ok = true;
    if (!fields[2].isEmpty() && (fields[2].toInt(&ok) < 0 || !ok))
        return false;

    const auto escapes = [](QByteArrayView field) {
        return std::memchr(field.data(), '%', size_t(field.size())) != nullptr;
    };
    ref.lineAt = quint32(fields[4].data() - raw.data());
    ref.escaped = escapes(fields[4]);

    // As written: each field as appendRecord writes it, the properties in its order.
    const QByteArrayView sequence = fields[2];
    ref.asWritten =
        text.size() == raw.size() && encodedAsWritten(fields[0]) && encodedAsWritten(fields[1]) &&
        (sequence == "0" ||
         (!sequence.isEmpty() && sequence.size() <= 9 && sequence[0] >= '1' && sequence[0] <= '9' &&
          std::all_of(sequence.begin(), sequence.end(),
                      [](char c) { return c >= '0' && c <= '9'; }))) &&
        stampAsWritten(fields[3]) && encodedAsWritten(fields[4]);
    for (QByteArrayView previous; ref.asWritten && at <= text.size();) {
        const void* comma = std::memchr(text.data() + at, ',', size_t(text.size() - at));
        const qsizetype end = comma ? static_cast<const char*>(comma) - text.data() : text.size();
        const QByteArrayView property = text.sliced(at, end - at);
        at = end + 1;
        const void* eq = std::memchr(property.data(), '=', size_t(property.size()));
        const qsizetype key = eq ? static_cast<const char*>(eq) - property.data() : 0;
        const QByteArrayView name = property.first(key);
        ref.asWritten = key > 0 && !escapes(name) && encodedAsWritten(name) &&
                        encodedAsWritten(property.sliced(key + 1)) &&
                        (previous.isEmpty() || previous < name);
        previous = name;
    }

    scratch.resize(0);
    if (!ref.escaped)
        ref.lineHash = bytesHash(fields[4]);
    else if (ref.asWritten)
        ref.lineHash = decodedHash(fields[4], scratch);
    else
        ref.lineHash = bytesHash(decode(fields[4].toByteArray()));
    return true;
}

// What matching gave a line of the year.
// Earlier: the UID earlier versions exported (Matching::earlierUids).
enum class Source : quint8 { None, Record, Moved, Changed, Known, New, Earlier };
struct Given {
    Source source = Source::None;
    qint32 index = -1; // of the record, the known identity or the new UID
};

struct Matching {
    std::vector<RecordRef> records;
    std::vector<Given> given; // for each line
    std::vector<QByteArrayView> newUids;
    std::vector<EarlierUidBytes> earlierUids;
    Arena arena; // new UIDs
    // Lines of records decoded where they stand (see decodeInPlace), by record.
    QHash<qint32, QByteArrayView> decoded;
    QDateTime now;
    bool changed = false;
};

// The line field of a record as it stands in the identity file.
template <typename Texts> QByteArrayView recordLineField(const Texts& texts, const RecordRef& ref) {
    const QByteArrayView rest = texts.line(ref.text).sliced(ref.lineAt);
    const void* comma = std::memchr(rest.data(), ',', size_t(rest.size()));
    qsizetype end = comma ? static_cast<const char*>(comma) - rest.data() : rest.size();
    if (!comma) // the last field, where the record's trailing blanks were trimmed
        while (end > 0 &&
               (rest[end - 1] == ' ' || (rest[end - 1] >= '\t' && rest[end - 1] <= '\r')))
            --end;
    return rest.first(end);
}

// The line a record holds, unescaped.
template <typename Texts>
QByteArrayView recordLineOf(const Texts& texts, const RecordRef& ref, QByteArray& scratch) {
    const QByteArrayView field = recordLineField(texts, ref);
    if (!ref.escaped)
        return field;
    scratch.resize(0);
    if (ref.asWritten)
        appendDecoded(scratch, field);
    else
        scratch = decode(field.toByteArray());
    return scratch;
}

// The UID a record holds, unescaped.
template <typename Texts>
QByteArrayView recordUidOf(const Texts& texts, const RecordRef& ref, QByteArray& scratch) {
    const QByteArrayView text = texts.line(ref.text).trimmed();
    const QByteArrayView field = text.first(text.indexOf(','));
    if (!field.contains('%'))
        return field;
    scratch = decode(field.toByteArray());
    return scratch;
}

// Whether a line field as appendEncoded writes it holds the line's bytes, without decoding it.
bool encodedEquals(QByteArrayView field, QByteArrayView line) {
    qsizetype at = 0;
    for (qsizetype i = 0; i < field.size(); ++i, ++at) {
        if (at == line.size())
            return false;
        char c = field[i];
        if (c == '%') {
            c = char(upperHex(field[i + 1]) * 16 + upperHex(field[i + 2]));
            i += 2;
        }
        if (c != line[at])
            return false;
    }
    return at == line.size();
}

// The identity a record holds. Its line field, which may be megabytes or decoded in place
// (ending at lineEnd then), is left out.
template <typename Texts>
EntryIdentity recordIdentity(const Texts& texts, const RecordRef& ref,
                             const char* lineEnd = nullptr) {
    const QByteArrayView raw = texts.line(ref.text);
    if (!lineEnd) {
        const QByteArrayView field = recordLineField(texts, ref);
        lineEnd = field.data() + field.size();
    }
    Record record;
    parseRecord(raw.first(ref.lineAt).toByteArray() + 'x' +
                    raw.sliced(lineEnd - raw.data()).toByteArray(),
                record);
    return record.identity;
}

// Where a record's line decoded in place ends, or null.
inline const char* decodedEnd(const Matching& m, qint32 record) {
    const auto it = m.decoded.constFind(record);
    return it == m.decoded.cend() ? nullptr : it->data() + it->size();
}

// Matches the records (identity file's lines) to the year's lines by the rules of the header;
// by another day only with otherDays (whose records are all at hand).
template <typename Lines, typename Texts>
Matching matchLines(const Lines& lines, Texts& texts, const QList<KnownIdentity>& known,
                    const QList<EntryEdit>& edits, bool otherDays = true) {
    Matching m;
    m.now = Clock::now().toUTC();
    const qsizetype n = lines.size();
    m.given.resize(size_t(n));
    const auto done = [&](qsizetype i) { return m.given[size_t(i)].source != Source::None; };

    {
        QByteArray scratch;
        m.records.reserve(size_t(texts.size()));
        for (qsizetype t = 0; t < texts.size(); ++t) {
            const QByteArrayView text = texts.line(t);
            if (text.startsWith('#'))
                continue;
            RecordRef ref;
            if (!scanRecord(text, ref, scratch)) {
                m.changed = true; // a damaged record is dropped when the file is next written
                continue;
            }
            ref.text = qint32(t);
            m.records.push_back(ref);
        }
    }
    auto& records = m.records;

    // Each record's UID by a number, records with the same UID sharing it: an entry of several
    // days has a record per day under one UID, so its UID serves as often as it has records; a
    // copied line's, once. Numbered through the UIDs' hashes sorted rather than a table of them
    // all, which would take more memory than the records.
    std::vector<int> recordsOf; // by number
    std::vector<int> taken;     // lines given it, by number
    std::vector<std::pair<quint64, qint32>> byUid;
    {
        QByteArray scratch;
        QByteArray other;
        byUid.reserve(records.size());
        for (size_t r = 0; r < records.size(); ++r) {
            records[r].uid = -1;
            byUid.emplace_back(bytesHash(recordUidOf(texts, records[r], scratch)), qint32(r));
        }
        std::sort(byUid.begin(), byUid.end());
        for (size_t j = 0; j < byUid.size(); ++j) {
            RecordRef& first = records[size_t(byUid[j].second)];
            if (first.uid >= 0)
                continue;
            first.uid = qint32(recordsOf.size());
            recordsOf.push_back(1);
            const QByteArrayView uid = recordUidOf(texts, first, scratch);
            for (size_t k = j + 1; k < byUid.size() && byUid[k].first == byUid[j].first; ++k) {
                RecordRef& next = records[size_t(byUid[k].second)];
                if (next.uid < 0 && recordUidOf(texts, next, other) == uid) {
                    next.uid = first.uid;
                    ++recordsOf.back();
                }
            }
        }
        taken.assign(recordsOf.size(), 0);
        if (known.isEmpty())
            std::vector<std::pair<quint64, qint32>>().swap(byUid);
    }
    // The number of a record's UID, or -1 for a UID no record holds.
    const auto uidNumber = [&](const QByteArray& uid) {
        const quint64 hash = bytesHash(uid);
        QByteArray scratch;
        for (auto it =
                 std::lower_bound(byUid.begin(), byUid.end(), std::pair<quint64, qint32>(hash, -1));
             it != byUid.end() && it->first == hash; ++it)
            if (recordUidOf(texts, records[size_t(it->second)], scratch) == uid)
                return records[size_t(it->second)].uid;
        return -1;
    };

    const bool firstTime = records.empty() && known.isEmpty();
    std::vector<bool> used(records.size(), false);
    const auto served = [&](size_t r) {
        const auto u = size_t(records[r].uid);
        return taken[u] >= std::max(1, recordsOf[u]);
    };
    const auto take = [&](qsizetype line, Source source, qint32 index, qint32 uid) {
        m.given[size_t(line)] = {source, index};
        if (uid >= 0)
            ++taken[size_t(uid)];
    };

    // Lines the caller has just written with an identity it knows.
    {
        QHash<QByteArray, std::deque<int>> knownByLine;
        for (int k = 0; k < known.size(); ++k)
            knownByLine[known.at(k).line].push_back(k);
        for (qsizetype i = 0; i < n && !knownByLine.isEmpty(); ++i) {
            const QByteArrayView line = lines.line(i);
            auto it = knownByLine.find(QByteArray::fromRawData(line.data(), line.size()));
            if (it == knownByLine.end())
                continue;
            const int k = it->front();
            take(i, Source::Known, k, uidNumber(known.at(k).identity.uid));
            m.changed = true;
            it->pop_front();
            if (it->empty())
                knownByLine.erase(it);
        }
    }
    // A record whose UID a known line now holds is that entry's earlier state.
    if (!known.isEmpty())
        for (size_t r = 0; r < records.size(); ++r) {
            if (taken[size_t(records[r].uid)] == 0)
                continue;
            const EntryIdentity identity = recordIdentity(texts, records[r]);
            used[r] = std::any_of(known.begin(), known.end(), [&](const KnownIdentity& k) {
                return k.identity.uid == identity.uid &&
                       k.identity.recurrenceId == identity.recurrenceId;
            });
        }

    // By bytes: records grouped by their line's hash, each group in file order; a group may hold
    // another line's record too, which the bytes tell apart. The hashes' top bits point into the
    // sorted groups, so that a line finds its group in a step or two.
    {
        std::vector<std::pair<quint64, qint32>> byHash;
        byHash.reserve(records.size());
        for (size_t r = 0; r < records.size(); ++r)
            if (!used[r])
                byHash.emplace_back(records[r].lineHash, qint32(r));
        std::sort(byHash.begin(), byHash.end());
        const int bits = std::max(1, int(std::bit_width(byHash.size())) - 1);
        const auto bucket = [&](quint64 hash) { return size_t(hash >> (64 - bits)); };
        std::vector<qint32> bucketStart((size_t(1) << bits) + 1, qint32(byHash.size()));
        for (size_t j = byHash.size(); j-- > 0;)
            bucketStart[bucket(byHash[j].first)] = qint32(j);
        for (size_t k = bucketStart.size() - 1; k-- > 0;)
            bucketStart[k] = std::min(bucketStart[k], bucketStart[k + 1]);
        std::vector<bool> gone(byHash.size(), false);
        std::vector<qint32> firstLeft(byHash.size()); // of a group, kept at its first place
        for (size_t j = 0; j < byHash.size(); ++j)
            firstLeft[j] = qint32(j);
        QByteArray scratch;
        for (qsizetype i = 0; i < n && !byHash.empty(); ++i) {
            if (done(i))
                continue;
            const QByteArrayView line = lines.line(i);
            const quint64 hash = bytesHash(line);
            auto g = size_t(bucketStart[bucket(hash)]);
            while (g < byHash.size() && byHash[g].first < hash)
                ++g;
            if (g == byHash.size() || byHash[g].first != hash)
                continue;
            for (auto j = size_t(firstLeft[g]); j < byHash.size() && byHash[j].first == hash; ++j) {
                if (gone[j])
                    continue;
                const auto r = size_t(byHash[j].second);
                const RecordRef& ref = records[r];
                if (ref.escaped && ref.asWritten ? !encodedEquals(recordLineField(texts, ref), line)
                                                 : recordLineOf(texts, ref, scratch) != line)
                    continue;
                gone[j] = true;
                if (served(r))
                    continue; // a copied record: its UID serves once
                used[r] = true;
                take(i, Source::Record, qint32(r), records[r].uid);
                break;
            }
            auto& first = firstLeft[g];
            while (size_t(first) < byHash.size() && byHash[size_t(first)].first == hash &&
                   gone[size_t(first)])
                ++first;
        }
    }

    // By cells, then texts, then times; only lines and records still without a match.
    std::vector<qsizetype> left;
    for (qsizetype i = 0; i < n; ++i)
        if (!done(i))
            left.push_back(i);
    const auto anyRecordLeft = [&] {
        for (size_t r = 0; r < records.size(); ++r)
            if (!used[r] && !served(r))
                return true;
        return false;
    };
    // Whether a record is one day of an event over several days: another record holds its UID
    // and RECURRENCE-ID. Such a day found on another day would stretch the event over the gap
    // between, so it is never taken for one moved there. Counted once, for the UIDs of several
    // records.
    QHash<QByteArray, int> dayRecords;
    const auto dayOfSeveral = [&](size_t r) {
        if (recordsOf[size_t(records[r].uid)] < 2)
            return false;
        const auto which = [&](size_t k) -> QByteArray {
            return QByteArray::number(records[k].uid) + ',' +
                   recordIdentity(texts, records[k], decodedEnd(m, qint32(k))).recurrenceId;
        };
        if (dayRecords.isEmpty())
            for (size_t k = 0; k < records.size(); ++k)
                if (recordsOf[size_t(records[k].uid)] > 1)
                    ++dayRecords[which(k)];
        return dayRecords.value(which(r)) > 1;
    };
    if (!left.empty() && anyRecordLeft()) {
        std::vector<Row> lineCells(left.size());
        for (size_t j = 0; j < left.size(); ++j)
            lineCells[j] = lines.cells(left[j]);
        // The records left have their lines decoded where they stand when the identity file's
        // bytes are this step's alone: a record of a line of megabytes then needs no copy. Such
        // a record is never written as it stood (only records matched by their bytes are).
        for (size_t r = 0; r < records.size(); ++r) {
            if (used[r] || served(r) || !records[r].escaped)
                continue;
            char* at = texts.mutableLine(records[r].text);
            if (!at)
                break;
            const QByteArrayView field = recordLineField(texts, records[r]);
            char* const start = at + (field.data() - texts.line(records[r].text).data());
            qsizetype size = 0;
            if (records[r].asWritten) {
                for (qsizetype i = 0; i < field.size(); ++i, ++size) {
                    if (start[i] != '%') {
                        start[size] = start[i];
                        continue;
                    }
                    start[size] = char(upperHex(start[i + 1]) * 16 + upperHex(start[i + 2]));
                    i += 2;
                }
            } else {
                const QByteArray line = decode(field.toByteArray());
                size = line.size(); // never more than the field
                std::memcpy(start, line.constData(), size_t(size));
            }
            // Moved to the field's end, which the identity's fields after it are found by.
            char* const moved = start + field.size() - size;
            std::memmove(moved, start, size_t(size));
            m.decoded.insert(qint32(r), QByteArrayView(moved, size));
        }
        QByteArray scratch;
        const auto recordCells = [&](size_t r) {
            if (const auto it = m.decoded.constFind(qint32(r)); it != m.decoded.cend())
                return EntryCells(*it, texts.storage());
            const QByteArrayView line = recordLineOf(texts, records[r], scratch);
            return line.data() == scratch.constData() ? EntryCells(scratch)
                                                      : EntryCells(line, texts.storage());
        };
        // An edit made in the day list: the entry as it was now stands as it became. Of edits
        // from the same cells, the last counts.
        std::vector<std::pair<Row, Row>> editCells;
        QHash<quint64, int> editOf; // by the hash of the cells before
        for (const EntryEdit& edit : edits) {
            editCells.emplace_back(EntryCells(edit.before), EntryCells(edit.after));
            editOf.insert(keyHash(editCells.back().first, Cells), int(editCells.size() - 1));
        }
        for (int stage = Cells; stage < (otherDays ? StageCount : OtherDay); ++stage) {
            // Records by their key's hash, each with the cells a line must show to fit: its own,
            // or those of the edit it became (the edit's index).
            QHash<quint64, std::deque<std::pair<size_t, int>>> byKey;
            for (size_t r = 0; r < records.size(); ++r) {
                if (used[r] || served(r))
                    continue;
                const Row cells = recordCells(r);
                if (stage != Edited) {
                    byKey[keyHash(cells, Stage(stage))].emplace_back(r, -1);
                    continue;
                }
                const auto edit = editOf.constFind(keyHash(cells, Cells));
                if (edit == editOf.cend())
                    continue;
                const auto& [before, after] = editCells[size_t(*edit)];
                if (sameKey(cells, before, Cells))
                    byKey[keyHash(after, Cells)].emplace_back(r, *edit);
            }
            if (byKey.isEmpty())
                continue;
            QHash<quint64, int> linesWithKey;
            const bool oneToOne = stage == Times || stage == OtherDay;
            if (oneToOne)
                for (size_t j = 0; j < left.size(); ++j)
                    if (!done(left[j]))
                        ++linesWithKey[keyHash(lineCells[j], Stage(stage))];
            for (size_t j = 0; j < left.size(); ++j) {
                if (done(left[j]))
                    continue;
                const quint64 key = keyHash(lineCells[j], Stage(stage));
                auto it = byKey.find(key);
                if (it == byKey.end() || it->empty())
                    continue;
                // Texts changed, or the date: only a key that one line and one record share
                // says which; a delete and an identical add elsewhere read as a move.
                if (oneToOne && (it->size() != 1 || linesWithKey.value(key) != 1))
                    continue;
                // The first record whose cells are the line's (the hash may hold others too).
                auto fit = it->begin();
                for (; fit != it->end(); ++fit) {
                    const Row cells = fit->second >= 0 ? editCells[size_t(fit->second)].second
                                                       : recordCells(fit->first);
                    if (sameKey(cells, lineCells[j], Stage(stage)))
                        break;
                }
                if (fit == it->end())
                    continue;
                const size_t r = fit->first;
                // Of a line without a title the other cells tell nothing of who it is.
                if (stage == OtherDay &&
                    (lineCells[j][ScheduleColumn::Title].isEmpty() || dayOfSeveral(r)))
                    continue;
                it->erase(fit);
                used[r] = true;
                take(left[j], stage == Cells ? Source::Moved : Source::Changed, qint32(r),
                     records[r].uid);
                m.changed = true;
            }
        }
    }

    // New entries. The first time each gets the UID earlier versions exported for its day and
    // number, the nth line of the same day and number counted from 0 in file order, unless an
    // earlier line already has that UID (a day and number written by hand as another's). Counted
    // and told apart through sorted hashes, never a table of every line's UID: a year of millions
    // of lines has its identities made here at once.
    if (firstTime && !left.empty()) {
        std::vector<std::pair<quint64, qint32>> byWhere; // (hash of the day and number, line)
        byWhere.reserve(left.size());
        for (const qsizetype i : left)
            byWhere.emplace_back(bytesHash(entryWhere(lines.line(i))), qint32(i));
        std::sort(byWhere.begin(), byWhere.end());
        m.earlierUids.resize(left.size());
        const auto index = [&](qsizetype i) { return i - left.front(); }; // left holds every line
        for (size_t j = 0; j < byWhere.size();) {
            size_t end = j + 1;
            while (end < byWhere.size() && byWhere[end].first == byWhere[j].first)
                ++end;
            QHash<QByteArray, int> seen; // the lines of this hash, in file order
            for (; j < end; ++j) {
                const qsizetype i = byWhere[j].second;
                const QByteArray where = entryWhere(lines.line(i));
                m.earlierUids[size_t(index(i))] = earlierUidBytes(where, seen[where]++);
            }
        }
        std::vector<std::pair<quint64, qint32>>().swap(byWhere);
        std::vector<qint32> sameUid(left.size());
        for (size_t k = 0; k < sameUid.size(); ++k)
            sameUid[k] = qint32(k);
        std::sort(sameUid.begin(), sameUid.end(), [&](qint32 a, qint32 b) {
            const int order = std::memcmp(m.earlierUids[size_t(a)].data(),
                                          m.earlierUids[size_t(b)].data(), sizeof(EarlierUidBytes));
            return order != 0 ? order < 0 : a < b;
        });
        for (size_t k = 0; k < sameUid.size(); ++k) {
            const auto line = left[size_t(sameUid[k])];
            if (k > 0 && m.earlierUids[size_t(sameUid[k])] == m.earlierUids[size_t(sameUid[k - 1])])
                continue; // given new below
            take(line, Source::Earlier, sameUid[k], -1);
        }
        m.changed = true;
    }
    for (const qsizetype i : left) {
        if (done(i))
            continue;
        take(i, Source::New, qint32(m.newUids.size()), -1);
        m.newUids.push_back(m.arena.keep(newUid()));
        m.changed = true;
    }
    for (size_t r = 0; r < records.size(); ++r)
        if (!used[r])
            m.changed = true;
    return m;
}

// The identity matching gave line i.
template <typename Texts>
EntryIdentity identityOf(const Matching& m, qsizetype i, const Texts& texts,
                         const QList<KnownIdentity>& known) {
    const Given& given = m.given[size_t(i)];
    EntryIdentity identity;
    switch (given.source) {
    case Source::Record:
    case Source::Moved:
        return recordIdentity(texts, m.records[size_t(given.index)], decodedEnd(m, given.index));
    case Source::Changed:
        identity =
            recordIdentity(texts, m.records[size_t(given.index)], decodedEnd(m, given.index));
        ++identity.sequence;
        identity.lastModified = m.now;
        return identity;
    case Source::Known:
        return known.at(given.index).identity;
    case Source::None:
        return identity;
    case Source::New:
        identity.uid = m.newUids[size_t(given.index)].toByteArray();
        identity.lastModified = m.now;
        return identity;
    case Source::Earlier:
        identity.uid = earlierUid(m.earlierUids[size_t(given.index)]);
        identity.lastModified = m.now;
        return identity;
    }
    return identity;
}

// Line i's record as the identity file holds it: a record matched by its bytes and already as
// written stays as it is, without being taken apart. Made records come as appendRecord spills
// them, the rest returned.
template <typename Lines, typename Texts>
QByteArrayView recordOf(const Matching& m, qsizetype i, const Lines& lines, const Texts& texts,
                        const QList<KnownIdentity>& known, QByteArray& scratch,
                        const RecordPiece& spill) {
    const Given& given = m.given[size_t(i)];
    if (given.source == Source::Record && m.records[size_t(given.index)].asWritten)
        return texts.line(m.records[size_t(given.index)].text);
    scratch.resize(0);
    appendRecord(scratch, lines.line(i), identityOf(m, i, texts, known), &spill);
    return scratch;
}

// Gives record i: its first pieces to spill, the rest returned (see appendRecord).
using RecordOf = std::function<QByteArrayView(qsizetype, QByteArray&, const RecordPiece&)>;

// Writes an identity file: its header, the mark line when there is a year mark (it covers the
// records, so they are made twice: to know it, then to write them), then count records, as
// record gives them. Messages as WriteYearIdentities.
QStringList writeIdentityFile(const QString& path, const QByteArray& yearMark, qsizetype count,
                              const RecordOf& record) {
    try {
        QByteArray scratch;
        BytesHasher hasher;
        qint64 bytes = qint64(sizeof Header) + 1;
        const RecordPiece hash = [&](QByteArrayView text) {
            hasher.add(text);
            bytes += text.size();
        };
        for (qsizetype i = 0; i < count; ++i) {
            hash(record(i, scratch, hash));
            hash("\r\n");
        }
        QByteArray markLine;
        if (!yearMark.isEmpty()) {
            markLine = yearMark + ' ' + QByteArray::number(hasher.finish(), 16);
            bytes += markLine.size() + 2;
        }
        // Never a file that no later read would take: the one there stays.
        if (bytes > MaxIdentityFileBytes)
            return {QStringLiteral("予定の識別情報を保存できませんでした。\n"
                                   "識別情報が大きすぎます（上限 %1 MB）。")
                        .arg(MaxIdentityFileBytes / (1024 * 1024))};
        const QString failure = SaveTextPiecesFrom(path, [&](const AddPiece& add) {
            add(QByteArrayView(Header), true);
            if (!markLine.isEmpty())
                add(markLine, true);
            const RecordPiece piece = [&](QByteArrayView text) { add(text, false); };
            for (qsizetype i = 0; i < count; ++i)
                add(record(i, scratch, piece), true);
        });
        return failure.isEmpty() ? QStringList() : QStringList{failure};
    } catch (const KalendoError& error) {
        return {QStringLiteral("予定の識別情報を保存できませんでした。\n") + error.message()};
    }
}

} // namespace

// Makes YearIdentities from a matching, for those who read the identities one by one.
class YearIdentitiesBuilder {
public:
    template <typename Lines, typename Texts>
    static YearIdentities build(const Matching& m, const Lines& lines, const Texts& texts,
                                const QList<KnownIdentity>& known, TextLines lineList = {}) {
        YearIdentities out;
        const qsizetype n = lines.size();
        if (lineList.size() == n) {
            out.m_lines = std::move(lineList);
        } else {
            out.m_lines.reserve(n);
            for (qsizetype i = 0; i < n; ++i)
                out.m_lines.append(lines.line(i).toByteArray());
        }
        out.m_identities.reserve(n);
        for (qsizetype i = 0; i < n; ++i)
            out.m_identities.append(identityOf(m, i, texts, known));
        out.m_changed = m.changed;
        return out;
    }
};

YearIdentities YearIdentities::match(const TextLines& yearLines, const TextLines& identityLines,
                                     const QList<KnownIdentity>& known,
                                     const QList<EntryEdit>& edits) {
    const ListLines lines{yearLines};
    ListLines texts{identityLines};
    return YearIdentitiesBuilder::build(matchLines(lines, texts, known, edits), lines, texts, known,
                                        yearLines);
}

YearIdentities YearIdentities::read(const QString& dataFolder, int year) {
    TextBuffer yearFile;
    yearFile.loadBytes(ScheduleFilePath(dataFolder, year));
    // An identity file that exists but cannot be read (too large, a read error) is not read as
    // missing: every entry would get a new UID, and the identities no line tells again (another
    // calendar's UID, an alarm) would be lost once the file is written. The caller fails instead.
    TextBuffer identityFile;
    identityFile.loadBytes(IdentityFilePath(dataFolder, year), MaxIdentityFileBytes);
    const LinePlaces lines(yearFile.bytes());
    LinePlaces texts(identityFile.bytes());
    return YearIdentitiesBuilder::build(matchLines(lines, texts, {}, {}), lines, texts, {});
}

qsizetype YearIdentities::find(const QByteArray& uid, const QByteArray& recurrenceId) const {
    for (qsizetype i = 0; i < m_identities.size(); ++i)
        if (m_identities.at(i).uid == uid && m_identities.at(i).recurrenceId == recurrenceId)
            return i;
    return -1;
}

QByteArray InexactTextMark(const QByteArray& title, const QByteArray& place,
                           const QByteArray& memo) {
    const QByteArray texts = title.trimmed() + '\0' + place.trimmed() + '\0' + memo.trimmed();
    return QCryptographicHash::hash(texts, QCryptographicHash::Sha1).toHex().left(16);
}

QByteArray InexactTextKey(const QList<QByteArray>& cells) {
    using namespace ScheduleColumn;
    QByteArray key;
    for (const int c : {Date, Start, End, Title, Place, Memo})
        key += cells.value(c).trimmed() + '\0';
    return key;
}

// The 「※」 keys found in years, by identity file, with the stamps of the files they came from:
// the year file's only where the identity file names the mark (a file without marks marks
// nothing, whatever the year holds). The day list asks at every opening and the hint after every
// month step; most years have no mark, and their identity files (megabytes) need not be read
// again, nor a marked year's lines matched again, while the files are certainly unchanged.
namespace {
struct KnownKeys {
    FileStamp identities;
    std::optional<FileStamp> year;
    QSet<QByteArray> keys;
};
QMutex knownKeysLock;
QHash<QString, KnownKeys>& knownKeys() {
    static QHash<QString, KnownKeys> known;
    return known;
}
FileStamp stampWithoutBytes(FileStamp stamp) {
    stamp.bytes.clear(); // the metadata tells
    return stamp;
}
} // namespace

QSet<QByteArray> InexactTextKeys(const QString& dataFolder, int year) {
    QSet<QByteArray> keys;
    const QString path = IdentityFilePath(dataFolder, year);
    try {
        const std::optional<FileStamp> now = StatFileStamp(path);
        if (!now || !now->exists)
            return keys;
        const QString yearPath = ScheduleFilePath(dataFolder, year);
        {
            const QMutexLocker locker(&knownKeysLock);
            const auto it = knownKeys().constFind(path);
            if (it != knownKeys().cend() && CertainlyUnchanged(it->identities, *now)) {
                if (!it->year)
                    return keys;
                const std::optional<FileStamp> yearNow = StatFileStamp(yearPath);
                if (yearNow && CertainlyUnchanged(*it->year, *yearNow))
                    return it->keys;
            }
        }
        TextBuffer file;
        file.loadBytes(path, MaxIdentityFileBytes);
        // Read whole anyway: whether its mark fits is noted, so that a save of the year while
        // the file stays as it is need not read it again. Hashed once per version of the file.
        if (notedMark(path).isEmpty())
            fittingMark(path, file);
        const FileStamp identities = stampWithoutBytes(file.stamp());
        if (!file.bytes().contains(InexactTextProperty)) {
            const QMutexLocker locker(&knownKeysLock);
            knownKeys().insert(path, {identities, std::nullopt, {}});
            return keys; // most years: one scan, nothing matched
        }
        // Matched to the lines as they are now, as YearIdentities::read matches them: a line
        // edited since its record was written (by hand, or by a program that does not record
        // identities) is still found. The identity file is the one just read, and only records
        // that name the mark are parsed.
        TextBuffer yearFile;
        yearFile.loadBytes(yearPath);
        const LinePlaces lines(yearFile.bytes());
        LinePlaces texts(file.bytes());
        file = TextBuffer(); // the matching may decode the records' lines in place
        const Matching m = matchLines(lines, texts, {}, {});
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const Given& given = m.given[size_t(i)];
            if ((given.source != Source::Record && given.source != Source::Moved &&
                 given.source != Source::Changed) ||
                !texts.line(m.records[size_t(given.index)].text).contains(InexactTextProperty))
                continue;
            const QByteArray mark =
                identityOf(m, i, texts, {}).properties.value(InexactTextProperty);
            if (mark.isEmpty())
                continue;
            const Row cells = lines.cells(i);
            using namespace ScheduleColumn;
            if (mark == InexactTextMark(cells.value(Title), cells.value(Place), cells.value(Memo)))
                keys.insert(InexactTextKey(cells));
        }
        const QMutexLocker locker(&knownKeysLock);
        knownKeys().insert(path, {identities, stampWithoutBytes(yearFile.stamp()), keys});
    } catch (const KalendoError&) {
        // A file that cannot be read marks nothing; whoever reads it says why.
    }
    return keys;
}

std::optional<YearIdentities> DayLineIdentities(const QString& dataFolder, int year,
                                                const QList<QDate>& dates,
                                                const TextLines& dayLines) {
    const QString path = IdentityFilePath(dataFolder, year);
    if (!QFile::exists(path))
        return std::nullopt;
    TextBuffer file;
    file.loadBytes(path, MaxIdentityFileBytes);
    // A record holds its line's bytes, the date's digits among them as they are. Its
    // LAST-MODIFIED ("20261207T093000Z") holds a date too, never a line's: the day's key followed
    // by a T is no day's line, and passed over (each record made today holds today's key there).
    const char* records = file.bytes().constData();
    const qsizetype size = file.bytes().size();
    TextLines recordLines;
    ForEachLineWithDayKeys(
        records, size, dates,
        [&](qsizetype after) { return after >= size || records[after] != 'T'; },
        [&](qsizetype start, qsizetype length) {
            recordLines.append(QByteArray(records + start, length));
        });
    // Not by another day: the records of the other days are not at hand to say whether a line
    // is the only one that fits.
    const ListLines lines{dayLines};
    const ListLines texts{recordLines};
    return YearIdentitiesBuilder::build(matchLines(lines, texts, {}, {}, false), lines, texts, {},
                                        dayLines);
}

Row EntryCells(QByteArrayView line, const QByteArray* owner) {
    Row row(ScheduleColumn::Count);
    ListLineToRow(line, row, owner);
    for (QByteArray& cell : row) {
        const QByteArrayView trimmed = QByteArrayView(cell).trimmed();
        if (trimmed.size() != cell.size())
            cell = SharedBytes(cell, trimmed);
    }
    return row;
}

QString IdentityFilePath(const QString& dataFolder, int year) {
    return dataFolder + QString::asprintf("%.4d", year) + QStringLiteral(".uid.csv");
}

QStringList WriteYearIdentities(const QString& dataFolder, int year, const YearIdentities& ids) {
    return writeIdentityFile(IdentityFilePath(dataFolder, year), {}, ids.size(),
                             [&](qsizetype i, QByteArray& scratch, const RecordPiece& spill) {
                                 scratch.resize(0);
                                 appendRecord(scratch, ids.line(i), ids.identity(i), &spill);
                                 return QByteArrayView(scratch);
                             });
}

QStringList RecordYearIdentities(const QString& dataFolder, int year,
                                 const QList<KnownIdentity>& known, const QList<EntryEdit>& edits,
                                 const quint64* written) {
    const QString path = IdentityFilePath(dataFolder, year);
    try {
        // Unchanged since the identities were matched to it: nothing to do.
        // The mark also covers the records after it, so a hand edit of them is seen.
        const bool byMarkAlone = known.isEmpty() && edits.isEmpty();
        QByteArray yearBytes;
        if (!written)
            yearBytes = readYearBytes(ScheduleFilePath(dataFolder, year));
        QByteArray mark = written ? yearMark(*written) : yearMark(yearBytes);
        QByteArray markStart = mark + ' ';
        if (byMarkAlone && notedMark(path).startsWith(markStart))
            return {};
        // An identity file that exists but cannot be read fails here (see read()).
        TextBuffer identityFile;
        identityFile.loadBytes(path, MaxIdentityFileBytes);
        if (byMarkAlone && fittingMark(path, identityFile).startsWith(markStart))
            return {};
        if (written) {
            // Matched to the year as it is now, which another program may have written since.
            yearBytes = readYearBytes(ScheduleFilePath(dataFolder, year));
            mark = yearMark(yearBytes);
            markStart = mark + ' ';
        }
        // Both files whole once, the lines as places in them: a large year is matched and its
        // identities written without a copy of every line.
        const LinePlaces lines(yearBytes);
        // The identity file's bytes are the matching's own from here: its records' lines can be
        // decoded where they stand.
        LinePlaces texts(identityFile.bytes());
        identityFile = TextBuffer();
        Matching m = matchLines(lines, texts, known, edits);
        // A file without the mark gets it, so that the next unchanged save is quick.
        if (texts.size() < 2 || !texts.line(1).startsWith(markStart))
            m.changed = true;
        if (!m.changed)
            return {};
        return writeIdentityFile(path, mark, lines.size(),
                                 [&](qsizetype i, QByteArray& scratch, const RecordPiece& spill) {
                                     return recordOf(m, i, lines, texts, known, scratch, spill);
                                 });
    } catch (const KalendoError& error) {
        return {QStringLiteral("予定の識別情報を保存できませんでした。\n") + error.message()};
    }
}
