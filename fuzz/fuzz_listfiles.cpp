// Any bytes as the file of a list window, loaded and saved by the core functions the windows
// call (the day list: LoadDayRows and ListDayRows, StoreDayEntry, DaySaveLines; the anniversary
// and rule lists: ListFile, FillListRows, SortAnniversaryRows or SortGridRows). Saved without an
// edit, the file gives back every line byte for byte; an edit of one row changes that row's line
// and no other (in the day list the edit renumbers the day, so there the other rows keep all but
// their number); a row only renumbered (by deleting the first) keeps every byte of its line but the
// number.
#include "FuzzSupport.h"
#include "data/CsvLine.h"
#include "data/TextFile.h"
#include "rules/DaySchedule.h"
#include "rules/ListFile.h"
#include "rules/RuleEntry.h"
#include "rules/StringGrid.h"

#include <QFile>

#include <algorithm>
#include <cstdint>

namespace {

struct ListKind {
    int columns;
    void (*sort)(StringGrid& grid);
    QByteArray tail;
    Row edit; // what the editor's OK stores
};

// The anniversary list and the rule list, as their windows set up ListForm.
const ListKind lists[] = {
    {2,
     [](StringGrid& grid) { SortAnniversaryRows(grid, 0); },
     ",",
     {"2030/01/01", "\x95\xd2\x8f\x57"}},
    {4,
     [](StringGrid& grid) { SortGridRows(grid, 0, false); },
     {},
     {"01/--", "\x95\xd2\x8f\x57", "2", "1"}},
};

Row readRow(const QByteArray& line, int columns) {
    Row row(columns);
    CommaLineToRow(line + ',', row);
    return row;
}

template <typename T> QList<T> sorted(QList<T> items) {
    std::sort(items.begin(), items.end());
    return items;
}

// Removes one item equal to `item`; false when there is none.
template <typename T> bool takeOne(QList<T>& items, const T& item) {
    const qsizetype at = items.indexOf(item);
    if (at < 0)
        return false;
    items.removeAt(at);
    return true;
}

QString hex(const TextLines& lines) {
    QString out;
    for (const QByteArray& line : lines)
        out += QString::fromLatin1(line.toHex()) + QLatin1Char('|');
    return out;
}

// What a save writes, read back as the next showing reads it.
TextLines saveAndRead(const QString& path, const TextLines& lines) {
    TextLines back;
    FUZZ_CHECK(runCore([&] {
                   SaveTextLines(path, lines);
                   back = LoadTextLines(path);
               }),
               QStringLiteral("save failed"));
    FUZZ_CHECK(back == lines, hex(lines) + QStringLiteral(" -> ") + hex(back));
    return back;
}

// The day's rows of saved lines, the number cell left out (an edit renumbers the day) and the
// key as the day's (a rewritten row gets it, though its line was a broken quote).
QList<Row> dayRows(const TextLines& lines, const QByteArray& dayKey) {
    QList<Row> rows;
    for (const QByteArray& line : lines)
        if (IsDayLine(line, dayKey)) {
            Row row = asRead(readRow(line, ScheduleColumn::Count));
            row[ScheduleColumn::Number] = " ";
            row[ScheduleColumn::Date] = dayKey;
            rows.append(row);
        }
    return rows;
}

TextLines otherDays(const TextLines& lines, const QByteArray& dayKey) {
    TextLines out;
    for (const QByteArray& line : lines)
        if (!IsDayLine(line, dayKey))
            out.append(line);
    return out;
}

void dayList(const QString& path, const TextLines& read, int pick) {
    // The day shown: one whose lines are in the file, or one without any.
    QList<QByteArray> keys{"20250307"};
    for (const QByteArray& line : read)
        keys.append(FirstCommaField(line));
    const QByteArray dayKey = keys.at(pick % keys.size());
    if (dayKey.isEmpty())
        return; // no caption gives an empty day key

    StringGrid list(ScheduleColumn::Count, 1, 1, 2);
    ListDayRows(read, dayKey, list);
    // The window reads the file as bytes and looks only at the lines that hold the key: the
    // same rows, and the same lines saved.
    StringGrid fromBytes(ScheduleColumn::Count, 1, 1, 2);
    TextBuffer year;
    QByteArray writtenFromBytes; // every text handed to the save, then CR LF
    QByteArray writtenKnown;     // the same, with the day's lines known from the reading
    DayLineStarts starts;
    DayLineRows rows;
    FUZZ_CHECK(runCore([&] {
                   LoadDayRows(path, dayKey, year, fromBytes, &starts, &rows);
                   DaySaveLines(year, fromBytes, dayKey, [&](QByteArrayView text) {
                       writtenFromBytes.append(text).append("\r\n");
                   });
                   DaySaveLines(
                       year, fromBytes, dayKey,
                       [&](QByteArrayView text) { writtenKnown.append(text).append("\r\n"); },
                       &starts, nullptr, &rows);
               }),
               QStringLiteral("load as bytes failed"));
    FUZZ_CHECK(fromBytes.rowCount() == list.rowCount(), hex(read));
    for (int r = 0; r < list.rowCount(); ++r)
        FUZZ_CHECK(fromBytes.row(r) == list.row(r), hex(read));
    QByteArray written;
    for (const QByteArray& line : DaySaveLines(read, list, dayKey))
        written += line + "\r\n";
    FUZZ_CHECK(writtenFromBytes == written, QString::fromLatin1(writtenFromBytes.toHex()));
    FUZZ_CHECK(writtenKnown == written, QString::fromLatin1(writtenKnown.toHex()));
    TextLines saved = saveAndRead(path, DaySaveLines(read, list, dayKey));
    // Every line byte for byte, the other days first and in order.
    FUZZ_CHECK(otherDays(saved, dayKey) == otherDays(read, dayKey), hex(saved));
    FUZZ_CHECK(sorted(saved) == sorted(read), hex(read) + QStringLiteral(" -> ") + hex(saved));
    QList<Row> before = dayRows(read, dayKey);

    // Deleting the first row renumbers the others only: every other byte of their lines stays
    // (but for a line whose open quote would swallow the number, which is written anew).
    if (before.size() >= 2 && std::none_of(read.begin(), read.end(), [&](const QByteArray& l) {
            return IsDayLine(l, dayKey) && l.contains('"');
        })) {
        StringGrid shortened(ScheduleColumn::Count, 1, 1, 2);
        ListDayRows(read, dayKey, shortened);
        DeleteDayRow(shortened);
        const auto numberless = [&](const TextLines& lines) {
            QList<QByteArray> out;
            for (const QByteArray& line : lines)
                if (IsDayLine(line, dayKey))
                    out.append(ReplaceCommaField(line, ScheduleColumn::Number, "0"));
            return out;
        };
        QList<QByteArray> unsaved = numberless(read);
        const TextLines afterDelete = DaySaveLines(read, shortened, dayKey);
        for (const QByteArray& line : numberless(afterDelete))
            FUZZ_CHECK(takeOne(unsaved, line),
                       hex(read) + QStringLiteral(" -> ") + hex(afterDelete));
        FUZZ_CHECK(unsaved.size() == 1, hex(read) + QStringLiteral(" -> ") + hex(afterDelete));
    }

    // The editor's OK on one row of the day.
    const int first = list.fixedRows();
    const int row = first + pick / 7 % (list.rowCount() - first);
    const Row edited = list.row(row);
    list.setCurrentRow(row);
    const DayEntry entry{"10:00", {}, "\x95\xd2\x8f\x57", {}, {}};
    StoreDayEntry(list, dayKey, entry);
    // The same edit in the list read as bytes, its rows' lines found by the rows read.
    fromBytes.setCurrentRow(row);
    StoreDayEntry(fromBytes, dayKey, entry);
    QByteArray editedKnown;
    DaySaveLines(
        year, fromBytes, dayKey,
        [&](QByteArrayView text) { editedKnown.append(text).append("\r\n"); }, &starts, nullptr,
        &rows);
    written.clear();
    for (const QByteArray& line : DaySaveLines(read, list, dayKey))
        written += line + "\r\n";
    // Two of the day's lines may read as the same row (bytes hidden behind a NUL): the rows
    // read keep their own lines, where the text lookup gives the first equal line to the row
    // left. Then only the rows and the other days must agree.
    bool sameRowTwice = false;
    QList<Row> seen;
    for (const QByteArray& line : read)
        if (IsDayLine(line, dayKey)) {
            const Row r = asRead(readRow(line, ScheduleColumn::Count));
            sameRowTwice |= seen.contains(r);
            seen.append(r);
        }
    if (sameRowTwice) {
        const auto lines = [](const QByteArray& bytes) {
            TextLines out;
            for (const QByteArray& line : bytes.split('\n'))
                if (!line.isEmpty())
                    out.append(line.chopped(1));
            return out;
        };
        const TextLines known = lines(editedKnown), reference = lines(written);
        FUZZ_CHECK(otherDays(known, dayKey) == otherDays(reference, dayKey),
                   QString::fromLatin1(editedKnown.toHex()));
        FUZZ_CHECK(sorted(dayRows(known, dayKey)) == sorted(dayRows(reference, dayKey)),
                   QString::fromLatin1(editedKnown.toHex()));
    } else {
        FUZZ_CHECK(editedKnown == written, QString::fromLatin1(editedKnown.toHex()));
    }
    saved = saveAndRead(path, DaySaveLines(read, list, dayKey));
    FUZZ_CHECK(otherDays(saved, dayKey) == otherDays(read, dayKey), hex(saved));
    Row was = asRead(edited);
    was[ScheduleColumn::Number] = " ";
    was[ScheduleColumn::Date] = dayKey;
    // The edited row was read from the file, unless the day had none: then it was the
    // placeholder, which is no line.
    const bool dayHadLines = !before.isEmpty();
    FUZZ_CHECK(takeOne(before, was) == dayHadLines, hex(saved));
    before.append(asRead({dayKey, " ", entry.start, entry.end, entry.title, {}, {}}));
    FUZZ_CHECK(sorted(dayRows(saved, dayKey)) == sorted(before), hex(saved));
}

void listWindow(const QString& path, const TextLines& read, const ListKind& kind, int pick) {
    ListFile file;
    StringGrid grid(kind.columns, 1, 1, 0);
    QList<Row> rows;
    FUZZ_CHECK(runCore([&] { rows = file.load(path, kind.columns); }), QStringLiteral("load"));
    FillListRows(grid, rows);
    kind.sort(grid);
    const auto save = [&] {
        return saveAndRead(path, file.lines(file.entries(grid, 0), kind.tail));
    };

    // Every line comes back byte for byte; only the order may change (the list is sorted). An
    // anniversary line without the comma after its title gets it, or it would not show.
    TextLines kept;
    for (const QByteArray& line : read)
        kept.append(!kind.tail.isEmpty() && line.count(',') < 2 ? line + kind.tail : line);
    FUZZ_CHECK(sorted(save()) == sorted(kept), hex(read));

    // The editor's OK on one row: that row's line goes, the edited row's line comes, nothing
    // else changes. Rows that read alike cannot be told apart; any one of their lines may go.
    const int row = grid.fixedRows() + pick % (grid.rowCount() - grid.fixedRows());
    const Row was = grid.row(row);
    for (int c = 0; c < kind.columns; ++c)
        grid.setCell(c, row, kind.edit.at(c));
    kind.sort(grid);
    TextLines gone = kept;
    TextLines came;
    for (const QByteArray& line : save())
        if (!takeOne(gone, line))
            came.append(line);
    const bool changed = asRead(was) != asRead(kind.edit);
    FUZZ_CHECK(came.size() == (changed ? 1 : 0), hex(came));
    FUZZ_CHECK(gone.size() == (changed && !read.isEmpty() ? 1 : 0), hex(gone));
    // The line that went is one of those the edited row was read from.
    for (const QByteArray& line : gone) {
        bool fromWas = false;
        for (qsizetype i = 0; i < read.size(); ++i)
            fromWas |=
                kept.at(i) == line && asRead(readRow(read.at(i), kind.columns)) == asRead(was);
        FUZZ_CHECK(fromWas, hex(gone));
    }
    for (const QByteArray& line : came)
        FUZZ_CHECK(asRead(readRow(line, kind.columns)) == asRead(kind.edit), hex(came));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The first byte chooses the list, the second the day and the row edited, the rest is the
    // file.
    const int which = data[0] % 3;
    const int pick = data[1];
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2));
    static const QString path = scratchFolder() + QStringLiteral("list.csv");
    writeRaw(path, bytes);
    TextLines read;
    FUZZ_CHECK(runCore([&] { read = LoadTextLines(path); }), QStringLiteral("load failed"));
    if (which == 0)
        dayList(path, read, pick);
    else
        listWindow(path, read, lists[which - 1], pick);
    return 0;
}
