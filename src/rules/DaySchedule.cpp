#include "rules/DaySchedule.h"

#include "rules/BytesHasher.h"

#include "data/CsvLine.h"
#include "data/KalendoError.h"
#include "rules/ListFile.h"

#include <QHash>
#include <QMutex>
#include <QRegularExpression>

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace {

void requireCaption(const QString& caption) {
    static const QRegularExpression form(QStringLiteral("^\\d{4}/\\d{2}/\\d{2}$"));
    if (!form.match(caption).hasMatch())
        throw KalendoError::notDate(caption);
}

// owner: the bytes that hold the line, which a large field then shares (SharedBytes).
Row lineToRow(QByteArrayView line, const QByteArray* owner = nullptr) {
    return LineRow(line, ScheduleColumn::Count, owner);
}

bool allDigits(QByteArrayView text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The entries in the order of their numbers, 2 before 10; an empty number field comes first
// and one that is no number (a hand edit) after the numbers, in the text sort's order.
void sortByNumber(StringGrid& dayList) {
    const int first = dayList.fixedRows();
    QList<Row> rows;
    for (int r = first; r < dayList.rowCount(); ++r)
        rows.append(dayList.row(r));
    const auto number = [](const Row& row) {
        QByteArrayView n = row.at(ScheduleColumn::Number);
        if (n.isEmpty() || !allDigits(n))
            return std::optional<QByteArrayView>();
        while (n.size() > 1 && n.front() == '0')
            n = n.sliced(1);
        return std::optional<QByteArrayView>(n);
    };
    // Empty first, as the text sort has it; then numbers; then the rest as text.
    const auto group = [&](const Row& row) {
        return row.at(ScheduleColumn::Number).trimmed().isEmpty() ? 0 : number(row) ? 1 : 2;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& x, const Row& y) {
        const int gx = group(x);
        const int gy = group(y);
        if (gx != gy)
            return gx < gy;
        if (gx == 1) {
            const auto a = number(x);
            const auto b = number(y);
            return a->size() != b->size() ? a->size() < b->size() : *a < *b;
        }
        return CompareGridText(x.at(ScheduleColumn::Number), y.at(ScheduleColumn::Number)) < 0;
    });
    for (int i = 0; i < rows.size(); ++i)
        dayList.row(first + i) = rows.at(i);
}

// The list's rows from the day's lines, which forEachRow(f) gives to f in file order.
template <typename ForEachRow> void listRows(ForEachRow&& forEachRow, StringGrid& dayList) {
    const int first = dayList.fixedRows();
    dayList.setRowCount(first);
    forEachRow([&](const Row& row) {
        dayList.setRowCount(dayList.rowCount() + 1);
        dayList.setRow(dayList.rowCount() - 1, row);
    });
    if (dayList.rowCount() == first) {
        dayList.setRowCount(first + 1);
        dayList.setCell(ScheduleColumn::Number, first, "1");
    }
    sortByNumber(dayList);
    dayList.setCurrentRow(first);
}

// A row's own bytes: those of its first cell that holds any. A row the list still holds as it
// was read shares them with the row read, whatever was sorted or renumbered around it.
const char* rowBytes(const Row& row) {
    for (const QByteArray& cell : row)
        if (!cell.isEmpty())
            return cell.constData();
    return nullptr;
}

// The lines of a save, given to add: forEachLine(f) gives f every line of the year in order,
// f(line, isDay) where the caller already knows whether it is the day's. With written, the
// day's lines as written (after all the others) are copied there. owner: the bytes that hold
// every line given, if one array does. dayRows: the rows the day's lines were read as, in file
// order (LoadDayRows), if known.
template <typename ForEachLine, typename Add>
void saveLines(ForEachLine&& forEachLine, const StringGrid& dayList, const QByteArray& dayKey,
               Add&& add, TextLines* written = nullptr, const QByteArray* owner = nullptr,
               const DayLineRows* dayRows = nullptr) {
    // The bytes stay where the caller holds them for the whole save: no copy of a day's lines,
    // however long.
    std::vector<QByteArray> dayLines;
    forEachLine([&](QByteArrayView line, std::optional<bool> isDay = std::nullopt) {
        // Not value_or(): its argument would test every line of the year for the key.
        if (!(isDay ? *isDay : IsDayLine(line, dayKey)))
            add(line);
        else
            dayLines.push_back(QByteArray::fromRawData(line.data(), line.size()));
    });
    const bool rowsKnown = dayRows && dayRows->size() == dayLines.size();
    // A row nobody changed keeps its line: fields past the seventh, bytes after a NUL, empty
    // fields. Rows as read take their lines first, so that a row only renumbered (by a deletion
    // or a new entry above it) never takes the line of another that is still as read.
    const int first = dayList.fixedRows();
    std::vector<std::optional<QByteArray>> keptLines(
        size_t(std::max(dayList.rowCount() - first, 0)));
    std::vector<bool> asRead(keptLines.size()); // in the caller's bytes, not made here
    std::vector<bool> lineTaken(dayLines.size());
    if (rowsKnown) {
        // A row still holding the bytes of a row read, and equal to it, takes that row's line
        // without its text being looked up.
        QHash<const char*, qsizetype> readAt;
        readAt.reserve(qsizetype(dayLines.size()));
        for (size_t k = 0; k < dayLines.size(); ++k)
            if (const char* bytes = rowBytes((*dayRows)[k]))
                readAt.insert(bytes, qsizetype(k));
        for (int r = first; r < dayList.rowCount(); ++r) {
            const Row& row = dayList.row(r);
            const auto at = readAt.constFind(rowBytes(row));
            if (at == readAt.cend() || lineTaken[size_t(*at)] || row != (*dayRows)[size_t(*at)])
                continue;
            lineTaken[size_t(*at)] = true;
            keptLines[size_t(r - first)] = dayLines[size_t(*at)];
            asRead[size_t(r - first)] = true;
        }
    }
    ReadLines readLines(ScheduleColumn::Number);
    for (size_t k = 0; k < dayLines.size(); ++k)
        if (!lineTaken[k])
            readLines.add(rowsKnown ? (*dayRows)[k] : lineToRow(dayLines[k], owner), dayLines[k]);
    for (int r = first; r < dayList.rowCount(); ++r) {
        if (asRead[size_t(r - first)])
            continue;
        keptLines[size_t(r - first)] = readLines.take(dayList.row(r));
        asRead[size_t(r - first)] = keptLines[size_t(r - first)].has_value();
    }
    for (int r = first; r < dayList.rowCount(); ++r)
        if (!keptLines[size_t(r - first)])
            keptLines[size_t(r - first)] = readLines.takeRenumbered(dayList.row(r));
    for (int r = first; r < dayList.rowCount(); ++r) {
        // A row without a title still has its date when the file gave it; the placeholder of
        // an empty day and an emptied row have neither and are no entries.
        QByteArray line;
        if (const auto& kept = keptLines[size_t(r - first)]) {
            line = *kept;
        } else if (!dayList.cell(ScheduleColumn::Title, r).isEmpty() ||
                   !dayList.cell(ScheduleColumn::Date, r).isEmpty()) {
            // Written with the day's key, so that a row read from a line quoted by hand
            // ("20250307 without its closing quote) stays on its day.
            Row row = dayList.row(r);
            row[ScheduleColumn::Date] = dayKey;
            line = RowToCommaLine(row);
        } else {
            continue;
        }
        add(line);
        if (!written)
            continue;
        // A line as read lies in the caller's bytes: a copy, or a share of them for a large one.
        // A line made here is shared as it is.
        if (!asRead[size_t(r - first)])
            written->append(line);
        else if (owner)
            written->append(SharedBytes(*owner, line));
        else
            written->append(QByteArray(line.constData(), line.size()));
    }
}

// The lines of bytes[from, to) as a save writes them, joined by CR LF, when the bytes already
// hold them so: each line followed by CR LF (the last may end the bytes), none starting with a
// blank or a control byte; from may start with the CR LF that ends the line before. Nothing
// where the bytes differ: their lines are then written one by one. known: all the bytes are
// known to hold their lines so (a version a save wrote), and are not looked at.
std::optional<QByteArrayView> linesAsSaved(const char* bytes, qsizetype from, qsizetype to,
                                           bool known) {
    const auto blankOrControl = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    if (known) {
        const qsizetype first = from < to && bytes[from] == '\r' ? from + 2 : from;
        const qsizetype last = to - first >= 2 && bytes[to - 1] == '\n' ? to - 2 : to;
        return QByteArrayView(bytes + first, std::max<qsizetype>(last - first, 0));
    }
    if (from < to && bytes[from] != '\r' && blankOrControl(bytes[from]))
        return std::nullopt;
    if (!TextFileDetail::linesEndAsSaved(bytes + from, to - from))
        return std::nullopt;
    return linesAsSaved(bytes, from, to, true);
}

// Whether a line made by a save reads back as itself, one line led by no blank or control byte.
bool madeLineAsSaved(QByteArrayView line) {
    return !line.isEmpty() && static_cast<unsigned char>(line.front()) > 0x20 &&
           std::none_of(line.begin(), line.end(),
                        [](char c) { return c == '\r' || c == '\n' || c == '\x1a'; });
}

// What the last save of a day wrote, for the next save from that version: while the file is
// certainly that version, its lines are known to stand as a save writes them, and its hash is
// known.
struct WrittenYear {
    QString path;
    FileStamp stamp; // ownWrite
    bool asSaved = false;
    std::optional<quint64> hash;
};
QMutex writtenYearLock;
WrittenYear& writtenYear() {
    static WrittenYear written;
    return written;
}

// DaySaveLines, told whether the year's bytes hold their lines as a save writes them (asSaved).
void daySaveLines(const TextBuffer& year, const StringGrid& dayList, const QByteArray& dayKey,
                  const AddLine& add, const DayLineStarts* dayStarts, TextLines* written,
                  const DayLineRows* dayRows, bool asSaved);

} // namespace

int CaptionYear(const QString& caption) {
    requireCaption(caption);
    return caption.left(4).toInt();
}

QByteArray CaptionDayKey(const QString& caption) {
    requireCaption(caption);
    return (caption.mid(0, 4) + caption.mid(5, 2) + caption.mid(8, 2)).toLatin1();
}

bool IsDayLine(QByteArrayView line, const QByteArray& dayKey) {
    // Asked of every line of a year at each save: a line that starts with a digit has its key
    // unquoted, ended by a comma, a blank or a control byte, so no copy of it is needed.
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!line.isEmpty() && digit(line.front()) && allDigits(dayKey)) {
        const qsizetype k = dayKey.size();
        return line.startsWith(dayKey) && (line.size() == k || line.at(k) == ',' ||
                                           static_cast<unsigned char>(line.at(k)) <= 0x20);
    }
    return FirstCommaField(line.toByteArray()) == dayKey;
}

void ForEachLineWithDayKeys(const char* data, qsizetype size, const QList<QDate>& dates,
                            const std::function<bool(qsizetype)>& accept,
                            const std::function<void(qsizetype, qsizetype)>& onLine) {
    // The keys by all but their last digit, each found in turn; the nearest of them is the next.
    struct Keys {
        QByteArray head;
        QByteArray lastDigits;
        qsizetype next = -2; // -1: no more; -2: not looked for yet
    };
    std::vector<Keys> keys;
    for (const QDate& date : dates) {
        const QByteArray key = date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        if (key.isEmpty())
            continue;
        const QByteArray head = key.chopped(1);
        const auto same =
            std::find_if(keys.begin(), keys.end(), [&](const Keys& k) { return k.head == head; });
        if (same == keys.end())
            keys.push_back({head, QByteArray(1, key.back())});
        else if (!same->lastDigits.contains(key.back()))
            same->lastDigits += key.back();
    }
    const auto nextOf = [&](const Keys& k, qsizetype from) {
        for (;;) {
            const qsizetype at = TextFileDetail::find(data, size, from, k.head);
            if (at < 0)
                return at;
            const qsizetype last = at + k.head.size();
            if (last < size &&
                std::memchr(k.lastDigits.constData(), data[last], size_t(k.lastDigits.size())) &&
                (!accept || accept(last + 1)))
                return at;
            from = at + 1;
        }
    };
    const auto find = [&](qsizetype from) {
        qsizetype first = -1;
        for (Keys& k : keys) {
            if (k.next != -1 && k.next < from)
                k.next = nextOf(k, from);
            if (k.next >= 0 && (first < 0 || k.next < first))
                first = k.next;
        }
        return first;
    };
    TextFileDetail::forEachLineFound(data, size, find, onLine);
}

void FillYearTable(const TextLines& lines, StringGrid& yearTable) {
    yearTable = StringGrid(ScheduleColumn::Count, int(lines.size()), 0, 0);
    for (int r = 0; r < lines.size(); ++r)
        yearTable.setRow(r, lineToRow(lines.at(r)));
}

void ListDayRows(const TextLines& lines, const QByteArray& dayKey, StringGrid& dayList) {
    listRows(
        [&](auto&& f) {
            for (const QByteArray& line : lines)
                if (IsDayLine(line, dayKey))
                    f(lineToRow(line, &line));
        },
        dayList);
}

void LoadDayRows(const QString& path, const QByteArray& dayKey, TextBuffer& year,
                 StringGrid& dayList, DayLineStarts* dayStarts, DayLineRows* dayRows) {
    std::vector<std::pair<qsizetype, qsizetype>> dayLines;
    year.loadBytes(path, [&](qsizetype start, qsizetype end) {
        const char* bytes = year.bytes().constData() + start;
        auto keep = [&](qsizetype lineStart, qsizetype size) {
            if (IsDayLine(QByteArrayView(bytes + lineStart, size), dayKey))
                dayLines.emplace_back(start + lineStart, size);
        };
        // A line of the day holds a key of digits as it is, quoted or not (see IsDayLine), so
        // only the lines that hold it need a look.
        if (!dayKey.isEmpty() && allDigits(dayKey))
            TextFileDetail::forEachLineWith(bytes, end - start, dayKey, keep);
        else
            TextFileDetail::forEachLine(bytes, end - start, keep);
    });
    const char* bytes = year.bytes().constData();
    DayLineRows rows;
    rows.reserve(dayLines.size());
    for (const auto& [start, size] : dayLines)
        rows.push_back(lineToRow(QByteArrayView(bytes + start, size), &year.bytes()));
    listRows(
        [&](auto&& f) {
            for (const Row& row : rows)
                f(row);
        },
        dayList);
    if (dayRows)
        *dayRows = std::move(rows);
    if (dayStarts) {
        dayStarts->clear();
        for (const auto& line : dayLines)
            dayStarts->push_back(line.first);
    }
}

TextLines DaySaveLines(const TextLines& yearLines, const StringGrid& dayList,
                       const QByteArray& dayKey) {
    TextLines out;
    out.reserve(yearLines.size() + dayList.rowCount());
    saveLines(
        [&](auto&& f) {
            for (const QByteArray& line : yearLines)
                f(line);
        },
        dayList, dayKey, [&](QByteArrayView line) { out.append(line.toByteArray()); });
    return out;
}

void DaySaveLines(const TextBuffer& year, const StringGrid& dayList, const QByteArray& dayKey,
                  const AddLine& add, const DayLineStarts* dayStarts, TextLines* written,
                  const DayLineRows* dayRows) {
    daySaveLines(year, dayList, dayKey, add, dayStarts, written, dayRows, false);
}

namespace {

void daySaveLines(const TextBuffer& year, const StringGrid& dayList, const QByteArray& dayKey,
                  const AddLine& add, const DayLineStarts* dayStarts, TextLines* written,
                  const DayLineRows* dayRows, bool asSaved) {
    const QByteArray& bytes = year.bytes();
    const char* const end = bytes.constData() + bytes.size();
    // The other days' lines go on in runs where the file already holds them as the save writes
    // them, each followed by CR LF: one copy for a run instead of one for every line.
    const char* runStart = nullptr;
    const char* runEnd = nullptr;
    const auto flush = [&] {
        if (runStart)
            add(QByteArrayView(runStart, runEnd));
        runStart = nullptr;
    };
    const auto addLine = [&](QByteArrayView line) {
        const bool inFile = line.data() >= bytes.constData() && line.data() < end;
        if (inFile && runStart && line.data() == runEnd + 2 && runEnd[0] == '\r' &&
            runEnd[1] == '\n') {
            runEnd = line.data() + line.size();
            return;
        }
        flush();
        if (inFile) {
            runStart = line.data();
            runEnd = line.data() + line.size();
        } else {
            add(line);
        }
    };
    saveLines(
        [&](auto&& f) {
            if (!dayStarts) {
                year.forEachFileLine([&](qsizetype start, qsizetype size) {
                    f(QByteArrayView(bytes.constData() + start, size));
                });
                return;
            }
            // Knowing where the day's lines are, the others go in the pieces between them, each
            // as one run where it already holds its lines as written.
            const char* data = bytes.constData();
            const auto others = [&](qsizetype from, qsizetype to) {
                if (const auto lines = linesAsSaved(data, from, to, asSaved)) {
                    if (!lines->isEmpty())
                        f(*lines, false);
                    return;
                }
                auto each = [&](qsizetype start, qsizetype size) {
                    f(QByteArrayView(data + from + start, size), false);
                };
                TextFileDetail::forEachLine(data + from, to - from, each);
            };
            qsizetype from = 0;
            for (const qsizetype start : *dayStarts) {
                others(from, start);
                const char* lineEnd =
                    std::find_if(data + start, end, [](char c) { return c == '\r' || c == '\n'; });
                f(QByteArrayView(data + start, lineEnd), true);
                from = lineEnd - data;
            }
            others(from, bytes.size());
        },
        dayList, dayKey, addLine, written, &bytes, dayStarts ? dayRows : nullptr);
    flush();
}

} // namespace

TextLines DayLines(const TextBuffer& year, const QByteArray& dayKey) {
    TextLines lines;
    const char* bytes = year.bytes().constData();
    year.forEachFileLine([&](qsizetype start, qsizetype size) {
        const QByteArrayView line(bytes + start, size);
        if (IsDayLine(line, dayKey))
            lines.append(line.toByteArray());
    });
    return lines;
}

ChangedFileSave SaveDay(const QString& path, TextBuffer& year, StringGrid& dayList,
                        const QByteArray& dayKey, const DayLineStarts* dayStarts, SavedDay* saved,
                        std::optional<quint64>* hash, const DayLineRows* dayRows) {
    // The version read, if the last save wrote it: then its lines stand as saved, and where
    // this save writes the same bytes again its hash is known.
    WrittenYear known;
    {
        const QMutexLocker locker(&writtenYearLock);
        const WrittenYear& last = writtenYear();
        if (dayStarts && last.path == path && last.stamp.ownWrite &&
            CertainlyUnchanged(last.stamp, year.stamp()))
            known = last;
    }
    const QByteArray& bytes = year.bytes();
    TextLines written;
    const bool telling = saved && dayStarts;
    const auto whole = [&](const AddLine& add) {
        written.clear();
        daySaveLines(year, dayList, dayKey, add, dayStarts, telling ? &written : nullptr, dayRows,
                     known.asSaved);
    };
    ChangedFileSave save;
    try {
        BytesHasher hasher;
        const bool hashing = hash && !known.hash;
        qsizetype at = 0;          // where the next text goes
        bool asRead = true;        // every text so far where it stood in the version read
        bool madeAsSaved = true;   // every line made here reads back as itself
        FileStamp writtenStamp;
        // The pieces go to the file as they come, each followed by CR LF.
        save.backupFailure = SaveTextLinesFrom(
            path,
            [&](const AddLine& add) {
                hasher = BytesHasher();
                at = 0;
                asRead = true;
                madeAsSaved = true;
                whole([&](QByteArrayView text) {
                    const bool inBytes = text.data() >= bytes.constData() &&
                                         text.data() < bytes.constData() + bytes.size();
                    if (!inBytes)
                        madeAsSaved = madeAsSaved && madeLineAsSaved(text);
                    asRead = asRead && text.data() == bytes.constData() + at &&
                             at + text.size() + 2 <= bytes.size() &&
                             bytes[at + text.size()] == '\r' &&
                             bytes[at + text.size() + 1] == '\n';
                    at += text.size() + 2;
                    if (hashing) {
                        hasher.add(text);
                        hasher.add("\r\n");
                    }
                    add(text);
                });
            },
            &year.stamp(), &writtenStamp);
        save.outcome = ChangedFileSave::Saved;
        // The hash of what was written: hashed as it went, or that of the version read when
        // the same bytes went back. Else none: the identity step reads the year itself, as it
        // would anyway where the year changed.
        const bool sameBytes = asRead && at == bytes.size();
        std::optional<quint64> writtenHash;
        if (hashing)
            writtenHash = hasher.finish();
        else if (sameBytes)
            writtenHash = known.hash;
        if (hash)
            *hash = writtenHash;
        {
            const QMutexLocker locker(&writtenYearLock);
            writtenYear() = WrittenYear();
            if (writtenStamp.ownWrite && dayStarts)
                writtenYear() = {path, writtenStamp, madeAsSaved, writtenHash};
        }
        if (telling) {
            // Looked at once written: whatever another program writes after this is seen by
            // its times, or by the bytes where they cannot tell.
            FileStamp read = year.stamp();
            read.bytes = QByteArray(); // the year's bytes are freed with the list's
            *saved = {path, dayKey, read, *dayStarts, std::move(written), writtenStamp, sameBytes};
        }
        return save;
    } catch (const FileChangedError&) {
    }
    {
        const QMutexLocker locker(&writtenYearLock);
        writtenYear() = WrittenYear();
    }
    const TextLines before = DayLines(year, dayKey);
    save = SaveOverChangedFile(path, LineChanges(before, DaySaveLines(before, dayList, dayKey)),
                               whole);
    if (save.outcome == ChangedFileSave::Conflict) {
        ListDayRows(save.merged, dayKey, dayList);
        year = std::move(save.file);
    }
    return save;
}

void RenumberRows(StringGrid& grid, int column) {
    for (int r = grid.fixedRows(); r < grid.rowCount(); ++r)
        grid.setCell(column, r, QByteArray::number(r - grid.fixedRows() + 1));
}

void DeleteDayRow(StringGrid& dayList) {
    if (dayList.rowCount() - dayList.fixedRows() <= 1)
        dayList.clearRow(dayList.fixedRows());
    else
        dayList.removeRow(dayList.currentRow());
    RenumberRows(dayList, ScheduleColumn::Number);
}

void StoreDayEntry(StringGrid& dayList, const QByteArray& dayKey, const DayEntry& entry) {
    const int r = dayList.currentRow();
    dayList.setRow(r, Row{dayKey, QByteArray::number(r - dayList.fixedRows() + 1), entry.start,
                          entry.end, entry.title, entry.place, entry.memo});
    SortGridRows(dayList, ScheduleColumn::Start, false);
    RenumberRows(dayList, ScheduleColumn::Number);
}

QString StoredTimeText(const QByteArray& stored) {
    const QString text = QString::fromLatin1(stored.trimmed());
    // A hand-written one-digit hour would fill the box's hour with "9:" and read as 00.
    static const QRegularExpression oneDigitHour(QStringLiteral("^\\d:\\d\\d$"));
    return oneDigitHour.match(text).hasMatch() ? QLatin1Char('0') + text : text;
}

QString CompleteTime(const QString& text) {
    if (text == EmptyTimeText)
        return text;
    QString t = text;
    t.replace(QLatin1Char(' '), QLatin1Char('0'));
    if (t.size() != 5 || t.at(2) != QLatin1Char(':'))
        return t;
    if (t.left(2) >= QLatin1String("24"))
        t.replace(0, 2, QStringLiteral("00"));
    if (t.mid(3, 2) >= QLatin1String("60"))
        t.replace(3, 2, QStringLiteral("00"));
    return t;
}
