// Arbitrary data folders and years: building the tables stops only with a conversion or date
// message, keeps every anniversary and schedule line, and the day annotations of whatever was
// built agree, for every day, with a straight scan of the lists. A day's hint shows at most its
// number of lines, the last one counting the rest, each line made of no more than 1,024 bytes
// and shown as the day's whole text shows it.
//
// Input: the year in decimal on the first line (any other text picks a year from its bytes),
// then the holiday, event, anniversary and schedule files, separated by lines "====". A file
// whose section is absent does not exist.
#include "FuzzSupport.h"
#include "data/ShownText.h"
#include "data/TextFile.h"
#include "rules/ComType.h"
#include "rules/YearTables.h"

#include <QFile>
#include <QHash>

#include <array>
#include <cstdint>
#include <optional>

namespace {

const QByteArray kSeparator = "\n====\n";

int yearOf(const QByteArray& header) {
    bool ok = false;
    const int value = header.toInt(&ok);
    if (ok && value >= 1 && value <= 9999)
        return value;
    uint sum = 0;
    for (char c : header)
        sum = sum * 31 + static_cast<unsigned char>(c);
    return 1 + int(sum % 9999);
}

void place(const QString& path, const std::optional<QByteArray>& bytes) {
    QFile::remove(path);
    if (!bytes)
        return;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(*bytes) != bytes->size())
        fuzzFail("cannot write a data file");
}

std::optional<int> readInt(const QByteArray& text) {
    qsizetype i = 0;
    if (text.startsWith('+') || text.startsWith('-'))
        ++i;
    if (i >= text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        if (text.at(i) < '0' || text.at(i) > '9')
            return std::nullopt;
        value = value * 10 + (text.at(i) - '0');
        if (value > std::numeric_limits<int>::max())
            return std::nullopt;
    }
    return int(text.startsWith('-') ? -value : value);
}

QByteArray twoDigits(int value) {
    return QByteArray(1, char('0' + value / 10)) + char('0' + value % 10);
}

using DayItems = std::array<QList<QByteArray>, 4>;

// What each kind contributes to the days of a year, item by item in list order, from one plain
// pass over every line of every list, keyed by "MM/DD".
QHash<QByteArray, DayItems> scanned(const YearTables& t, int year) {
    static const QByteArray marks[] = {"\x81\xa5", "\x81\x9f", "\x81\x9a"}; // ▼ ◆ ★
    const TextLines* lists[] = {&t.YearHolidays(), &t.YearEvents(), &t.Anniversaries(),
                                &t.YearSchedules()};
    const QByteArray yearKey = twoDigits(year / 100) + twoDigits(year % 100);
    QHash<QByteArray, DayItems> days;
    for (int kind = 0; kind <= 3; ++kind) {
        for (const QByteArray& line : *lists[kind]) {
            QByteArray key = kind == 2 ? line.mid(5, 5) : line.left(5);
            if (kind == 3) {
                // A schedule line is its day's when it starts with the day's YYYYMMDD, in quotes
                // or not, ended by a comma, a blank or a control byte.
                const qsizetype quote = line.startsWith('"') ? 1 : 0;
                const qsizetype at = 8 + 2 * quote;
                const QByteArray date = line.mid(quote, 8);
                bool digits = date.size() == 8 && line.size() > at;
                for (const char c : date)
                    digits = digits && c >= '0' && c <= '9';
                if (!digits || !date.startsWith(yearKey) || (quote && line.at(9) != '"') ||
                    (line.at(at) != ',' && static_cast<unsigned char>(line.at(at)) > 0x20))
                    continue;
                key = date.mid(4, 2) + '/' + date.mid(6, 2);
            }
            QByteArray rest = line.mid(line.indexOf(',') + 1);
            if (!rest.contains(','))
                continue;
            std::optional<int> since;
            if (kind == 2 && !(since = readInt(line.left(4))) && !line.startsWith("----"))
                continue; // no years to count: left out, but for an anniversary without a year
            QByteArray item;
            if (kind == 3) {
                for (int i = 0; i < 3; ++i)
                    rest.remove(0, rest.indexOf(',') + 1);
                item = rest.replace(',', '-').replace("\" \"", "").replace("--", "");
            } else {
                item = marks[kind] + rest.left(rest.indexOf(','));
                if (kind == 2 && since)
                    item += '[' + QByteArray::number(year - *since) + ']';
            }
            days[key][size_t(kind)].append(item);
        }
    }
    return days;
}

// Items of kinds first..last joined: CR LF before an item whenever the text is not empty.
QByteArray joined(const std::array<QList<QByteArray>, 4>& items, int first, int last) {
    QByteArray text;
    for (int kind = first; kind <= last; ++kind) {
        for (const QByteArray& item : items[size_t(kind)]) {
            if (!text.isEmpty())
                text += "\r\n";
            text += item;
        }
    }
    return text;
}

// The lines of a day's text: no stored line holds a CR or LF.
QList<QByteArray> textLines(const QByteArray& text) {
    QList<QByteArray> lines;
    for (qsizetype start = 0; !text.isEmpty();) {
        const qsizetype end = text.indexOf("\r\n", start);
        lines.append(text.mid(start, end < 0 ? -1 : end - start));
        if (end < 0)
            break;
        start = end + 2;
    }
    return lines;
}

template <typename When>
void checkHint(const YearTables& t, int year, int month, int day, const QByteArray& whole,
               qsizetype maxLines, const When& when) {
    constexpr qsizetype lineBytes = 4 * MaxShownLineChars;
    qsizetype more = -1;
    const QByteArray headText = t.annotationHead(0, 3, year, month, day, maxLines, more, lineBytes);
    if (whole.isEmpty()) { // most days: nothing to show
        FUZZ_CHECK(headText.isEmpty() && more == 0, when());
        return;
    }
    const QList<QByteArray> all = textLines(whole);
    const QList<QByteArray> head = textLines(headText);
    const qsizetype cap = maxLines > 0 ? std::max<qsizetype>(maxLines, 2) : all.size();
    FUZZ_CHECK(head.size() + more == all.size(), when());
    FUZZ_CHECK(all.size() <= cap ? more == 0 : head.size() == cap - 1, when());
    const QStringList shown = ShownDayAnnotation(t, year, month, day, maxLines).split('\n');
    FUZZ_CHECK(shown.size() == std::max<qsizetype>(head.size() + (more > 0 ? 1 : 0), 1), when());
    for (qsizetype i = 0; i < head.size(); ++i) {
        FUZZ_CHECK(head.at(i).size() <= lineBytes, when());
        FUZZ_CHECK(shown.at(i) == ShownLine(all.at(i)), when());
    }
    if (more > 0)
        FUZZ_CHECK(shown.last() == QStringLiteral("他%1件").arg(more), when());
}

// Every day, the months from the one before shownMonth first: tables built for a shown month
// answer for the months its grid shows from their first index, for the others from a complete
// one.
void checkAnnotations(const YearTables& t, int year, int shownMonth, qsizetype hintLines) {
    const QHash<QByteArray, DayItems> days = scanned(t, year);
    for (int i = 0; i < 12; ++i) {
        const int month = (shownMonth + 10 + i) % 12 + 1;
        for (int day = 1; day <= DaysInMonth(year, month); ++day) {
            const DayItems expected = days.value(twoDigits(month) + '/' + twoDigits(day));
            const auto when = [&] {
                return QStringLiteral("%1/%2/%3").arg(year).arg(month).arg(day);
            };
            for (int kind = 0; kind <= 3; ++kind) {
                const QByteArray one = BuildDayAnnotation(t, kind, kind, year, month, day);
                FUZZ_CHECK(one == joined(expected, kind, kind), when());
                FUZZ_CHECK(t.hasAnnotation(kind, year, month, day) == !one.isEmpty(), when());
            }
            const QByteArray whole = joined(expected, 0, 3);
            FUZZ_CHECK(BuildDayAnnotation(t, 0, 3, year, month, day) == whole, when());
            checkHint(t, year, month, day, whole, hintLines, when);
            FUZZ_CHECK(BuildDayAnnotation(t, 1, 2, year, month, day) == joined(expected, 1, 2),
                       when());
        }
    }
    // Kinds out of order and days that do not exist give no text.
    FUZZ_CHECK(BuildDayAnnotation(t, 2, 1, year, 1, 1).isEmpty(), QString());
    for (int day : {0, 32, -1})
        FUZZ_CHECK(BuildDayAnnotation(t, 0, 3, year, 1, day).isEmpty(), QString());
    for (int month : {0, 13})
        FUZZ_CHECK(BuildDayAnnotation(t, 0, 3, year, month, 1).isEmpty(), QString());
}

bool build(YearTables& t, int year, const QString& folder, int shownMonth) {
    try {
        BuildYearTables(t, year, folder, shownMonth);
        return true;
    } catch (const KalendoError& e) {
        // Only the reading of rules can fail here: every file exists and is readable. The
        // message names the rule file and its line.
        static const QRegularExpression ruleMessages(
            QStringLiteral("\\A(?:'.*' は整数ではありません|日付に変換できない値が渡されました)"
                           "\\n.*/(?:holiday|event)\\.csv の [1-9][0-9]* 行目\\z"),
            QRegularExpression::DotMatchesEverythingOption);
        if (!ruleMessages.match(e.message()).hasMatch())
            fuzzFail("unexpected message:", e.message());
        return false;
    } catch (...) {
        fuzzFail("foreign exception");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype eol = bytes.indexOf('\n');
    const int year = yearOf(bytes.left(eol < 0 ? bytes.size() : eol));
    std::optional<QByteArray> files[4];
    if (eol >= 0) {
        QByteArray rest = bytes.mid(eol + 1);
        for (auto& file : files) {
            const qsizetype at = rest.indexOf(kSeparator);
            file = at < 0 ? rest : rest.left(at);
            if (at < 0)
                break;
            rest = rest.mid(at + kSeparator.size());
        }
    }

    const QString folder = scratchFolder();
    static QString schedulePath;
    if (!schedulePath.isEmpty())
        QFile::remove(schedulePath);
    schedulePath = ScheduleFilePath(folder, year);
    place(HolidayFilePath(folder), files[0]);
    place(EventFilePath(folder), files[1]);
    place(AnniversaryFilePath(folder), files[2]);
    place(schedulePath, files[3]);

    // The month shown (0: none) comes from the input's size.
    const int shownMonth = int(size % 13);
    // The hint's number of lines (0: no bound) as well.
    const qsizetype hintLines = qsizetype(size / 13 % 5);
    YearTables fresh;
    const bool built = build(fresh, year, folder, shownMonth);
    const TextLines given[4] = {SplitTextLines(files[0].value_or(QByteArray())),
                                SplitTextLines(files[1].value_or(QByteArray())),
                                SplitTextLines(files[2].value_or(QByteArray())),
                                SplitTextLines(files[3].value_or(QByteArray()))};
    // Anniversaries and schedule entries are read before any rule: always every line, as stored.
    FUZZ_CHECK(fresh.Anniversaries() == given[2], QStringLiteral("anniversary lines lost"));
    FUZZ_CHECK(fresh.YearSchedules() == given[3], QStringLiteral("schedule lines lost"));
    if (built) {
        FUZZ_CHECK(fresh.YearEvents().size() == given[1].size(), QStringLiteral("events"));
        const qsizetype equinoxes = year <= 2100 ? 2 : 0;
        FUZZ_CHECK(fresh.YearHolidays().size() >= given[0].size() + equinoxes,
                   QStringLiteral("holidays"));
    }
    checkAnnotations(fresh, year, shownMonth, hintLines);
    // A schedule of another year and anniversaries counted from another year.
    checkAnnotations(fresh, year % 9999 + 1, shownMonth, hintLines);

    // Tables rebuilt over those of earlier inputs hold nothing of them.
    static YearTables reused;
    const bool rebuilt = build(reused, year, folder, (shownMonth + 6) % 13);
    FUZZ_CHECK(rebuilt == built, QStringLiteral("rebuild differs"));
    if (rebuilt) {
        FUZZ_CHECK(reused.YearHolidays() == fresh.YearHolidays(), QString());
        FUZZ_CHECK(reused.YearEvents() == fresh.YearEvents(), QString());
        FUZZ_CHECK(reused.Anniversaries() == fresh.Anniversaries(), QString());
        FUZZ_CHECK(reused.YearSchedules() == fresh.YearSchedules(), QString());
        checkAnnotations(reused, year, (shownMonth + 6) % 13, hintLines);
    }
    return 0;
}
