#include "rules/EntryIdentity.h"

#include "data/CsvLine.h"
#include "data/KalendoError.h"
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
#include <bit>
#include <deque>
#include <set>
#include <vector>

namespace {

constexpr char Header[] = "# Kalendo: UID,RECURRENCE-ID,SEQUENCE,LAST-MODIFIED,line[,NAME=value]";
const QString StampFormat = QStringLiteral("yyyyMMdd'T'HHmmss'Z'");

// Field bytes that would break a record (separators, blanks a reader drops, the escape itself)
// become %XX; everything else stays readable.
QByteArray encode(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F || c == ',' || c == '%' || c == '=' || c == '#') {
            out += '%';
            out += QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
        } else {
            out += c;
        }
    }
    return out;
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

QByteArray recordLine(const QByteArray& line, const EntryIdentity& id) {
    QByteArray out =
        encode(id.uid) + ',' + encode(id.recurrenceId) + ',' + QByteArray::number(id.sequence) +
        ',' +
        (id.lastModified.isValid() ? id.lastModified.toUTC().toString(StampFormat).toLatin1()
                                   : QByteArray()) +
        ',' + encode(line);
    for (auto it = id.properties.cbegin(); it != id.properties.cend(); ++it)
        out += ',' + encode(it.key()) + '=' + encode(it.value());
    return out;
}

// The keys an entry is known by, from the surest to the loosest.
enum Stage { Cells, Edited, Texts, Times, StageCount };
QByteArray keyOf(const Row& r, Stage stage) {
    using namespace ScheduleColumn;
    switch (stage) {
    case Cells:
    case Edited:
        return r[Date] + '\0' + r[Start] + '\0' + r[End] + '\0' + r[Title] + '\0' + r[Place] +
               '\0' + r[Memo];
    case Texts:
        return r[Date] + '\0' + r[Title] + '\0' + r[Place] + '\0' + r[Memo];
    case Times:
        return r[Date] + '\0' + r[Start] + '\0' + r[End];
    default:
        return {};
    }
}

// The UID earlier versions exported for an entry (its day and number): a data folder that has
// never had identities keeps what other calendars already hold from it.
QByteArray earlierUid(const Row& r, int nth) {
    QByteArray where = r[ScheduleColumn::Date] + '/' + r[ScheduleColumn::Number];
    if (nth > 0)
        where += '#' + QByteArray::number(nth);
    return "schedule-" +
           QCryptographicHash::hash(where, QCryptographicHash::Sha1).toHex().left(24) + "@kalendo";
}

QByteArray newUid() {
    return QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "@kalendo";
}

// What the identity file notes of the year file it was matched to: a save that left the year's
// bytes as they were needs no matching again.
// A fast hash: it tells a change from none, no adversary is involved, and it is asked at
// every save of a large year. Its own, not Qt's: qHash differs with the processor's features,
// so a folder used on another computer would be matched again at every save.
quint64 bytesHash(const char* p, qsizetype n) {
    constexpr quint64 k1 = 0x9E3779B185EBCA87ULL;
    constexpr quint64 k2 = 0xC2B2AE3D27D4EB4FULL;
    const auto word = [](const char* at) { return qFromLittleEndian<quint64>(at); };
    const auto mix = [&](quint64 acc, quint64 value) {
        return std::rotl(acc + value * k2, 31) * k1;
    };
    const quint64 length = quint64(n);
    quint64 lanes[4] = {0x4B616C656E646FULL + k1 + k2, 0x4B616C656E646FULL + k2,
                        0x4B616C656E646FULL, 0x4B616C656E646FULL - k1};
    // Four lanes of eight bytes, so that the multiplications overlap.
    for (; n >= 32; p += 32, n -= 32)
        for (int i = 0; i < 4; ++i)
            lanes[i] = mix(lanes[i], word(p + 8 * i));
    quint64 h = std::rotl(lanes[0], 1) + std::rotl(lanes[1], 7) + std::rotl(lanes[2], 12) +
                std::rotl(lanes[3], 18) + length;
    for (; n >= 8; p += 8, n -= 8)
        h = std::rotl(h ^ mix(0, word(p)), 27) * k1 + k2;
    for (; n > 0; ++p, --n)
        h = std::rotl(h ^ (quint64(static_cast<unsigned char>(*p)) * k1), 11) * k2;
    h ^= h >> 33;
    h *= k2;
    h ^= h >> 29;
    h *= k1;
    return h ^ (h >> 32);
}

QByteArray bytesMark(const QByteArray& bytes) {
    return QByteArray::number(bytesHash(bytes.constData(), bytes.size()), 16);
}

QByteArray yearMark(const QByteArray& yearBytes) {
    return "#year " + bytesMark(yearBytes);
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

// The mark line of the identity file at path when it fits the records after it, else empty.
QByteArray fittingMark(const QString& path) {
    const std::optional<FileStamp> now = StatFileStamp(path);
    if (!now || !now->exists)
        return {};
    {
        const QMutexLocker locker(&checkedMarksLock);
        const auto it = checkedMarks().constFind(path);
        if (it != checkedMarks().cend() && CertainlyUnchanged(it->stamp, *now))
            return it->line;
    }
    TextBuffer file;
    file.loadBytes(path, MaxIdentityFileBytes);
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

QByteArray readYearBytes(const QString& path) {
    return QFile::exists(path) ? LoadFileBytes(path) : QByteArray();
}

YearIdentities readMatched(const QString& dataFolder, int year, const QList<KnownIdentity>& known,
                           const QList<EntryEdit>& edits = {},
                           const QByteArray& yearBytes = QByteArray(), bool haveBytes = false) {
    const QString path = ScheduleFilePath(dataFolder, year);
    const TextLines yearLines = haveBytes ? SplitTextLines(yearBytes) : LoadTextLines(path);
    // An identity file that exists but cannot be read (too large, a read error) is not read as
    // missing: every entry would get a new UID, and the identities no line tells again (another
    // calendar's UID, an alarm) would be lost once the file is written. The caller fails instead.
    const TextLines identityLines =
        LoadTextLines(IdentityFilePath(dataFolder, year), nullptr, MaxIdentityFileBytes);
    YearIdentities ids = YearIdentities::match(yearLines, identityLines, known, edits);
    if (haveBytes) {
        ids.setYearMark(yearMark(yearBytes));
        // A file without the mark gets it, so that the next unchanged save is quick.
        if (identityLines.size() < 2 ||
            !identityLines.at(1).startsWith(QByteArray(ids.yearMark() + ' ')))
            ids.markChanged();
    }
    return ids;
}

} // namespace

YearIdentities YearIdentities::match(const TextLines& yearLines, const TextLines& identityLines,
                                     const QList<KnownIdentity>& known,
                                     const QList<EntryEdit>& edits) {
    YearIdentities out;
    out.m_lines = yearLines;
    const qsizetype n = yearLines.size();
    out.m_identities.resize(n);
    std::vector<bool> done(size_t(n), false);

    std::vector<Record> records;
    records.reserve(size_t(identityLines.size()));
    for (const QByteArray& text : identityLines) {
        Record record;
        if (parseRecord(text, record))
            records.push_back(std::move(record));
        else if (!text.startsWith('#'))
            out.m_changed = true; // a damaged record is dropped when the file is next written
    }
    const bool firstTime = records.empty() && known.isEmpty();
    std::vector<bool> used(records.size(), false);
    // Lines given each UID, and records holding it: an entry of several days has a record per
    // day under one UID, so its UID serves as often as it has records; a copied line's, once.
    QHash<QByteArray, int> uids;
    QHash<QByteArray, int> recordsOf;
    for (const Record& record : records)
        ++recordsOf[record.identity.uid];
    const auto served = [&](const QByteArray& uid) {
        return uids.value(uid) >= std::max(1, recordsOf.value(uid));
    };

    const auto take = [&](qsizetype line, const EntryIdentity& identity) {
        out.m_identities[line] = identity;
        done[size_t(line)] = true;
        ++uids[identity.uid];
    };

    // Lines the caller has just written with an identity it knows.
    {
        QHash<QByteArray, std::deque<int>> knownByLine;
        for (int k = 0; k < known.size(); ++k)
            knownByLine[known.at(k).line].push_back(k);
        for (qsizetype i = 0; i < n && !knownByLine.isEmpty(); ++i) {
            auto it = knownByLine.find(yearLines.at(i));
            if (it == knownByLine.end())
                continue;
            take(i, known.at(it->front()).identity);
            out.m_changed = true;
            it->pop_front();
            if (it->empty())
                knownByLine.erase(it);
        }
    }
    // A record whose UID a known line now holds is that entry's earlier state.
    for (size_t r = 0; r < records.size(); ++r)
        if (uids.contains(records[r].identity.uid) &&
            std::any_of(known.begin(), known.end(), [&](const KnownIdentity& k) {
                return k.identity.uid == records[r].identity.uid &&
                       k.identity.recurrenceId == records[r].identity.recurrenceId;
            }))
            used[r] = true;

    // By bytes.
    {
        QHash<QByteArray, std::deque<size_t>> byLine;
        for (size_t r = 0; r < records.size(); ++r)
            if (!used[r])
                byLine[records[r].line].push_back(r);
        for (qsizetype i = 0; i < n; ++i) {
            if (done[size_t(i)])
                continue;
            auto it = byLine.find(yearLines.at(i));
            if (it == byLine.end())
                continue;
            while (!it->empty() && served(records[it->front()].identity.uid))
                it->pop_front(); // a copied record: its UID serves once
            if (it->empty())
                continue;
            used[it->front()] = true;
            take(i, records[it->front()].identity);
            it->pop_front();
        }
    }

    // By cells, then texts, then times.
    std::vector<Row> lineCells(static_cast<size_t>(n));
    bool anyLeft = false;
    for (qsizetype i = 0; i < n; ++i)
        if (!done[size_t(i)]) {
            lineCells[size_t(i)] = EntryCells(yearLines.at(i));
            anyLeft = true;
        }
    // An edit made in the day list: the entry as it was now stands as it became.
    QHash<QByteArray, QByteArray> becameOf;
    for (const EntryEdit& edit : edits)
        becameOf.insert(keyOf(EntryCells(edit.before), Cells),
                        keyOf(EntryCells(edit.after), Cells));
    for (int stage = Cells; anyLeft && stage < StageCount; ++stage) {
        QHash<QByteArray, std::deque<size_t>> byKey;
        for (size_t r = 0; r < records.size(); ++r) {
            if (used[r] || served(records[r].identity.uid))
                continue;
            const QByteArray key = keyOf(EntryCells(records[r].line), Stage(stage));
            if (stage != Edited)
                byKey[key].push_back(r);
            else if (const auto became = becameOf.constFind(key); became != becameOf.cend())
                byKey[*became].push_back(r);
        }
        if (byKey.isEmpty())
            continue;
        QHash<QByteArray, int> linesWithKey;
        if (stage == Times)
            for (qsizetype i = 0; i < n; ++i)
                if (!done[size_t(i)])
                    ++linesWithKey[keyOf(lineCells[size_t(i)], Times)];
        for (qsizetype i = 0; i < n; ++i) {
            if (done[size_t(i)])
                continue;
            const QByteArray key = keyOf(lineCells[size_t(i)], Stage(stage));
            auto it = byKey.find(key);
            if (it == byKey.end() || it->empty())
                continue;
            // Texts changed: only a time that one line and one record share says which.
            if (stage == Times && (it->size() != 1 || linesWithKey.value(key) != 1))
                continue;
            const size_t r = it->front();
            it->pop_front();
            used[r] = true;
            EntryIdentity identity = records[r].identity;
            if (stage != Cells) {
                ++identity.sequence;
                identity.lastModified = Clock::now().toUTC();
            }
            take(i, identity);
            out.m_changed = true;
        }
    }

    // New entries.
    QHash<QByteArray, int> seen;
    for (qsizetype i = 0; i < n; ++i) {
        if (done[size_t(i)])
            continue;
        EntryIdentity identity;
        if (firstTime) {
            const Row cells = EntryCells(yearLines.at(i));
            const QByteArray where =
                cells[ScheduleColumn::Date] + '/' + cells[ScheduleColumn::Number];
            identity.uid = earlierUid(cells, seen[where]++);
        }
        if (identity.uid.isEmpty() || uids.contains(identity.uid))
            identity.uid = newUid();
        identity.lastModified = Clock::now().toUTC();
        take(i, identity);
        out.m_changed = true;
    }
    for (size_t r = 0; r < records.size(); ++r)
        if (!used[r])
            out.m_changed = true;
    return out;
}

YearIdentities YearIdentities::read(const QString& dataFolder, int year) {
    return readMatched(dataFolder, year, {});
}

qsizetype YearIdentities::find(const QByteArray& uid, const QByteArray& recurrenceId) const {
    for (qsizetype i = 0; i < m_identities.size(); ++i)
        if (m_identities.at(i).uid == uid && m_identities.at(i).recurrenceId == recurrenceId)
            return i;
    return -1;
}

TextLines YearIdentities::fileLines() const {
    TextLines out;
    out.reserve(m_lines.size() + 1);
    out << QByteArray(Header);
    QByteArray records;
    TextLines recordLines;
    recordLines.reserve(m_lines.size());
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        recordLines << recordLine(m_lines.at(i), m_identities.at(i));
        records += recordLines.last() + "\r\n"; // as the file holds them
    }
    if (!m_yearMark.isEmpty())
        out << m_yearMark + ' ' + recordsMark(records);
    out << recordLines;
    return out;
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

// Identity files seen to carry no 「※」 mark, with their stamps as read. The day list asks at
// every opening and the hint after every month step; most years have no mark, and their
// identity files (megabytes) need not be read again while they are certainly unchanged.
namespace {
QMutex unmarkedFilesLock;
QHash<QString, FileStamp>& unmarkedFiles() {
    static QHash<QString, FileStamp> files;
    return files;
}
} // namespace

QSet<QByteArray> InexactTextKeys(const QString& dataFolder, int year) {
    QSet<QByteArray> keys;
    const QString path = IdentityFilePath(dataFolder, year);
    try {
        const std::optional<FileStamp> now = StatFileStamp(path);
        if (!now || !now->exists)
            return keys;
        {
            const QMutexLocker locker(&unmarkedFilesLock);
            const auto it = unmarkedFiles().constFind(path);
            if (it != unmarkedFiles().cend() && CertainlyUnchanged(*it, *now))
                return keys;
        }
        TextBuffer file;
        file.loadBytes(path, MaxIdentityFileBytes);
        if (!file.bytes().contains(InexactTextProperty)) {
            FileStamp stamp = file.stamp();
            stamp.bytes.clear(); // the metadata tells
            const QMutexLocker locker(&unmarkedFilesLock);
            unmarkedFiles().insert(path, stamp);
            return keys; // most years: one scan, nothing matched
        }
        // Matched to the lines as they are now: a line edited since its record was written
        // (by hand, or by a program that does not record identities) is still found.
        const YearIdentities ids = YearIdentities::read(dataFolder, year);
        for (qsizetype i = 0; i < ids.size(); ++i) {
            const QByteArray mark = ids.identity(i).properties.value(InexactTextProperty);
            if (mark.isEmpty())
                continue;
            const Row cells = EntryCells(ids.line(i));
            using namespace ScheduleColumn;
            if (mark == InexactTextMark(cells.value(Title), cells.value(Place), cells.value(Memo)))
                keys.insert(InexactTextKey(cells));
        }
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
    std::set<std::pair<qsizetype, qsizetype>> found;
    const char* records = file.bytes().constData();
    const qsizetype size = file.bytes().size();
    for (const QDate& date : dates) {
        const QByteArray key = date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        const auto findLineKey = [&](qsizetype from) {
            for (;;) {
                const qsizetype at = TextFileDetail::find(records, size, from, key);
                if (at < 0 || at + key.size() >= size || records[at + key.size()] != 'T')
                    return at;
                from = at + 1;
            }
        };
        const auto keep = [&](qsizetype start, qsizetype length) { found.emplace(start, length); };
        TextFileDetail::forEachLineFound(records, size, findLineKey, keep);
    }
    TextLines recordLines;
    for (const auto& [start, length] : found)
        recordLines.append(QByteArray(records + start, length));
    return YearIdentities::match(dayLines, recordLines);
}

Row EntryCells(const QByteArray& line) {
    Row row(ScheduleColumn::Count);
    CommaLineToRow(line + ',', row);
    for (QByteArray& cell : row)
        cell = cell.trimmed();
    return row;
}

QString IdentityFilePath(const QString& dataFolder, int year) {
    return dataFolder + QString::asprintf("%.4d", year) + QStringLiteral(".uid.csv");
}

QStringList WriteYearIdentities(const QString& dataFolder, int year, const YearIdentities& ids) {
    try {
        const TextLines lines = ids.fileLines();
        qint64 bytes = 0;
        for (const QByteArray& line : lines)
            bytes += line.size() + 2;
        // Never a file that no later read would take: the one there stays.
        if (bytes > MaxIdentityFileBytes)
            return {QStringLiteral("予定の識別情報を保存できませんでした。\n"
                                   "識別情報が大きすぎます（上限 %1 MB）。")
                        .arg(MaxIdentityFileBytes / (1024 * 1024))};
        const QString failure = SaveTextLines(IdentityFilePath(dataFolder, year), lines);
        return failure.isEmpty() ? QStringList() : QStringList{failure};
    } catch (const KalendoError& error) {
        return {QStringLiteral("予定の識別情報を保存できませんでした。\n") + error.message()};
    }
}

QStringList RecordYearIdentities(const QString& dataFolder, int year,
                                 const QList<KnownIdentity>& known, const QList<EntryEdit>& edits) {
    YearIdentities ids;
    try {
        const QByteArray bytes = readYearBytes(ScheduleFilePath(dataFolder, year));
        if (known.isEmpty() && edits.isEmpty()) {
            // Unchanged since the identities were matched to it: nothing to do.
            // The mark also covers the records after it, so a hand edit of them is seen.
            try {
                const QByteArray mark = fittingMark(IdentityFilePath(dataFolder, year));
                if (!mark.isEmpty() && mark.startsWith(QByteArray(yearMark(bytes) + ' ')))
                    return {};
            } catch (const KalendoError&) {
                // Matching reads it again and says why it cannot; the file is left as it is.
            }
        }
        ids = readMatched(dataFolder, year, known, edits, bytes, true);
    } catch (const KalendoError& error) {
        return {QStringLiteral("予定の識別情報を保存できませんでした。\n") + error.message()};
    }
    return ids.changed() ? WriteYearIdentities(dataFolder, year, ids) : QStringList();
}
