#include "rules/YearTables.h"

#include "data/Codec.h"
#include "data/KalendoError.h"
#include "rules/ComType.h"

#include <QDate>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <set>
#include <string>
#include <string_view>

namespace {

const QByteArray& cp932(const char* utf8) {
    // The few fixed texts of the tables, encoded once.
    static QHash<const char*, QByteArray> cache;
    auto it = cache.find(utf8);
    if (it == cache.end())
        it = cache.insert(utf8, Codec::encodeOrThrow(QString::fromUtf8(utf8)));
    return *it;
}

const QByteArray& vernalTitle() {
    return cp932("春分の日");
}
const QByteArray& autumnalTitle() {
    return cp932("秋分の日");
}
const QByteArray& substituteTitle() {
    return cp932("振替休日");
}
const QByteArray& nationalRestDayTitle() {
    return cp932("国民の休日");
}

const QByteArray& kindMark(int kind) {
    static const char* const marks[] = {"▼", "◆", "★"};
    return cp932(marks[kind]);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A stored number: optional sign, then decimal digits and nothing else.
std::optional<int> parseInt(const QByteArray& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == '+' || text.at(i) == '-')) {
        negative = text.at(i) == '-';
        ++i;
    }
    if (i >= text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text.at(i)))
            return std::nullopt;
        value = value * 10 + (text.at(i) - '0');
        if (value > std::numeric_limits<int>::max())
            return std::nullopt;
    }
    return int(negative ? -value : value);
}

// The bytes pos..pos+len of a field widened to whole characters: a double-byte character that
// the range cuts shows whole in a message.
QByteArray wholeCharacters(const QByteArray& field, qsizetype pos, qsizetype len) {
    qsizetype from = pos;
    qsizetype to = pos + len;
    for (qsizetype i = 0; i < field.size() && i < to;) {
        const qsizetype width = Codec::isDoubleByteAt(field, i) ? 2 : 1;
        if (i < from && i + width > from)
            from = i;
        if (i + width > to)
            to = i + width;
        i += width;
    }
    return field.mid(from, to - from);
}

// The number in bytes pos..pos+len of a field.
int toIntOrThrow(const QByteArray& field, qsizetype pos, qsizetype len) {
    if (auto value = parseInt(field.mid(pos, len)))
        return *value;
    throw KalendoError::notInteger(Codec::toUnicode(wholeCharacters(field, pos, len)));
}

// Day of the week, 0 = Sunday; a date that does not exist throws.
int weekday(int year, int month, int day) {
    const QDate date(year, month, day);
    if (year < 1 || year > 9999 || !date.isValid())
        throw KalendoError::invalidDate();
    return date.dayOfWeek() % 7;
}

QByteArray twoDigits(int value) {
    return QString::asprintf("%.2d", value).toLatin1();
}

int equinoxDay(int year, double constant) {
    const int n = year - 1980;
    const auto a = static_cast<qint64>(std::trunc(0.242194 * n + constant));
    const auto b = static_cast<qint64>(std::trunc(n / 4.0));
    return int(a - b);
}

// A rule line read by plain comma splitting; quotes stay part of the fields.
struct PlainRule {
    QByteArray date;
    QByteArray title;
    QByteArray rest;
    bool isFixedDate() const { return rest.startsWith('0'); }
};

PlainRule splitRule(const QByteArray& line) {
    PlainRule rule;
    const qsizetype first = line.indexOf(',');
    if (first >= 0)
        rule.date = line.left(first);
    const QByteArray after = line.mid(first + 1);
    const qsizetype second = after.indexOf(',');
    if (second >= 0)
        rule.title = after.left(second);
    rule.rest = after.mid(second + 1);
    return rule;
}

QByteArray joinRule(const QByteArray& date, const QByteArray& title, const QByteArray& rest) {
    return date + ',' + title + ',' + rest;
}

// The n-th given weekday of the month as its date line, or the line as read when the month has
// no such day.
QByteArray resolveWeekdayRule(const PlainRule& rule, int year) {
    const int month = toIntOrThrow(rule.date, 0, 2);
    const int week = toIntOrThrow(rule.rest, 0, 1);
    const int wday = toIntOrThrow(rule.rest, 2, 1);
    if (month < 1 || month > 12)
        throw KalendoError::invalidDate();
    const int length = DaysInMonth(year, month);
    int counter = 0;
    for (int d = 1; d <= length; ++d) {
        if (weekday(year, month, d) == wday)
            ++counter;
        if (counter == week)
            return joinRule(rule.date.left(3) + twoDigits(d), rule.title, rule.rest);
    }
    return joinRule(rule.date, rule.title, rule.rest);
}

// Appends a fixed-date holiday and the substitute holiday it causes.
void addFixedHoliday(TextLines& out, const QByteArray& line, const PlainRule& rule, int year) {
    out.append(line);
    if (rule.date == "05/03" || rule.date == "05/04")
        return;
    if (rule.date == "05/05") {
        const int wd = weekday(year, 5, 5);
        if (wd <= 2) // Sunday, Monday or Tuesday
            out.append(joinRule("05/06", substituteTitle(), rule.rest));
        return;
    }
    const int month = toIntOrThrow(rule.date, 0, 2);
    const int day = toIntOrThrow(rule.date, 3, 2);
    // 31 December of last year on a Sunday makes 1 January of this year a substitute holiday.
    if (month == 12 && day == 31 && QDate(year - 1, 12, 31).dayOfWeek() == 7)
        out.append(joinRule("01/01", substituteTitle(), rule.rest));
    const QDate date(year, month, day);
    // A date the year does not have (02/29 in a common year) is no day at all this year.
    if (!date.isValid() || year < 1 || year > 9999)
        return;
    if (date.dayOfWeek() != 7)
        return;
    const QDate next = date.addDays(1);
    if (next.year() != year)
        return; // the day after 31 December is next year's: its table adds it
    const QByteArray nextDate =
        next.month() == month ? QByteArray(rule.date.left(3) + twoDigits(day + 1))
                              : QByteArray(twoDigits(next.month()) + '/' + twoDigits(next.day()));
    out.append(joinRule(nextDate, substituteTitle(), rule.rest));
}

int slotOf(int month, int day) {
    return month * 32 + day;
}

// "MM/DD" at offset, or -1.
int monthDaySlot(const QByteArray& line, qsizetype offset) {
    if (line.size() < offset + 5)
        return -1;
    const char* p = line.constData() + offset;
    if (!isDigit(p[0]) || !isDigit(p[1]) || p[2] != '/' || !isDigit(p[3]) || !isDigit(p[4]))
        return -1;
    const int month = (p[0] - '0') * 10 + (p[1] - '0');
    const int day = (p[3] - '0') * 10 + (p[4] - '0');
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return -1;
    return slotOf(month, day);
}

bool hasTwoCommas(const QByteArray& line) {
    const qsizetype first = line.indexOf(',');
    return first >= 0 && line.indexOf(',', first + 1) >= 0;
}

} // namespace

YearTables::YearTables() {
    for (int k = 0; k < 4; ++k)
        reindex(k);
}

void YearTables::reindex(int kind) {
    const TextLines& lines = m_lists[kind];
    Index& index = m_index[kind];
    index.start.assign(kSlots + 1, 0);
    index.order.clear();
    index.otherYear.clear();
    index.year = m_year;
    index.anniversaryYear.assign(kind == akAnniversary ? size_t(lines.size()) : 0, 0);
    clearCache();

    std::vector<int> lineSlot(size_t(lines.size()), -1);
    std::vector<int> counts(kSlots, 0);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        if (!hasTwoCommas(line))
            continue;
        int slot = -1;
        if (kind == akSchedule) {
            if (line.size() < 8)
                continue;
            const char* p = line.constData();
            bool digits = true;
            for (int j = 0; j < 8; ++j)
                digits = digits && isDigit(p[j]);
            if (!digits)
                continue;
            const int y =
                (p[0] - '0') * 1000 + (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
            const int m = (p[4] - '0') * 10 + (p[5] - '0');
            const int d = (p[6] - '0') * 10 + (p[7] - '0');
            if (y == index.year && m >= 1 && m <= 12 && d >= 1 && d <= 31) {
                slot = slotOf(m, d);
            } else {
                index.otherYear[line.left(8)].append(int(i));
                continue;
            }
        } else {
            slot = monthDaySlot(line, kind == akAnniversary ? 5 : 0);
            if (slot < 0)
                continue;
            if (kind == akAnniversary) {
                // A line whose first four bytes are not a year cannot count its years: it is
                // left out, and every other line still shows.
                const auto year = parseInt(line.left(4));
                if (!year)
                    continue;
                index.anniversaryYear[size_t(i)] = *year;
            }
        }
        lineSlot[size_t(i)] = slot;
        ++counts[size_t(slot)];
    }
    int total = 0;
    for (int s = 0; s < kSlots; ++s) {
        index.start[size_t(s)] = total;
        total += counts[size_t(s)];
    }
    index.start[kSlots] = total;
    index.order.resize(size_t(total));
    std::vector<int> fill(index.start.begin(), index.start.end() - 1);
    for (size_t i = 0; i < lineSlot.size(); ++i)
        if (lineSlot[i] >= 0)
            index.order[size_t(fill[size_t(lineSlot[i])]++)] = int(i);
}

namespace {

// A schedule line as the annotation shows it: number, start and end dropped; then every comma
// made a separator "-", quoted blanks removed, and doubled separators removed, in that order,
// each a single left-to-right pass. Written into out, which is reused between lines.
// Where the shown text of a schedule line starts: after its fourth comma.
qsizetype scheduleTextStart(const QByteArray& line) {
    qsizetype pos = line.indexOf(',') + 1;
    for (int i = 0; i < 3; ++i) {
        const qsizetype comma = line.indexOf(',', pos);
        if (comma >= 0)
            pos = comma + 1;
    }
    return pos;
}

void cleanScheduleLine(const QByteArray& line, std::string& out) {
    const qsizetype pos = scheduleTextStart(line);
    out.assign(line.constData() + pos, size_t(line.size() - pos));
    std::replace(out.begin(), out.end(), ',', '-');
    // Left to right, each match skipped whole; the runs between matches move down in one piece,
    // so that a long field costs a scan, not a step per byte.
    auto removeAll = [&out](std::string_view what) {
        size_t w = out.find(what);
        if (w == std::string::npos)
            return;
        size_t r = w;
        while (r < out.size()) {
            if (out.compare(r, what.size(), what) == 0) {
                r += what.size();
                continue;
            }
            const size_t next = out.find(what, r + 1);
            const size_t end = next == std::string::npos ? out.size() : next;
            std::memmove(&out[w], &out[r], end - r);
            w += end - r;
            r = end;
        }
        out.resize(w);
    };
    removeAll("\" \"");
    removeAll("--");
}

// Whether the line's shown text cleans down to nothing, without cleaning it: only quotes,
// blanks, commas and hyphens can go, so any other byte answers at once.
bool scheduleTextEmpty(const QByteArray& line, std::string& cleaned) {
    const qsizetype pos = scheduleTextStart(line);
    for (qsizetype i = pos; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c != '"' && c != ' ' && c != ',' && c != '-')
            return false;
    }
    cleanScheduleLine(line, cleaned);
    return cleaned.empty();
}

// The day a resolved rule line names in a year, if it names one.
std::optional<QDate> lineDay(const QByteArray& line, int year) {
    const int slot = monthDaySlot(line, 0);
    if (slot < 0)
        return std::nullopt;
    const QDate date(year, slot / 32, slot % 32);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

// The holidays of a year: the holiday rules resolved with their substitutes, the equinox days,
// then every day sandwiched between two of those (substitutes aside) that is no holiday itself.
void buildHolidays(TextLines& out, int year, const QString& dataFolder) {
    TextLines rules = LoadTextLines(HolidayFilePath(dataFolder));
    if (year <= 2100) {
        rules.append("03/" + twoDigits(equinoxDay(year, 20.8431)) + ',' + vernalTitle() + ",0,0");
        rules.append("09/" + twoDigits(equinoxDay(year, 23.2488)) + ',' + autumnalTitle() + ",0,0");
    }
    std::set<QDate> ruleDays;
    for (const QByteArray& line : rules) {
        const PlainRule rule = splitRule(line);
        const qsizetype at = out.size();
        if (rule.isFixedDate())
            addFixedHoliday(out, line, rule, year);
        else
            out.append(resolveWeekdayRule(rule, year));
        if (const auto day = lineDay(out.at(at), year))
            ruleDays.insert(*day);
        // 1 January and 31 December have a neighbour in the next or last year.
        for (const int other : {year - 1, year + 1}) {
            if (other < 1 || other > 9999 || !rule.date.startsWith(other < year ? "12" : "01"))
                continue;
            const QByteArray resolved = rule.isFixedDate() ? line : resolveWeekdayRule(rule, other);
            if (const auto day = lineDay(resolved, other))
                ruleDays.insert(*day);
        }
    }
    std::set<QDate> holidays;
    for (const QByteArray& line : out)
        if (const auto day = lineDay(line, year))
            holidays.insert(*day);
    for (const QDate& before : ruleDays) {
        const QDate day = before.addDays(1);
        if (day.year() == year && !holidays.count(day) && ruleDays.count(day.addDays(1)))
            out.append(twoDigits(day.month()) + '/' + twoDigits(day.day()) + ',' +
                       nationalRestDayTitle() + ",0,0");
    }
}

void appendItem(QByteArray& text, const char* data, qsizetype size) {
    if (!text.isEmpty())
        text += "\r\n";
    text.append(data, size);
}

} // namespace

std::pair<const int*, const int*> YearTables::lineRange(int kind, int year, int month,
                                                        int day) const {
    const Index& index = m_index[kind];
    if (kind == akSchedule && year != index.year) {
        const auto it = index.otherYear.constFind(
            QString::asprintf("%.4d%.2d%.2d", year, month, day).toLatin1());
        if (it == index.otherYear.cend())
            return {nullptr, nullptr};
        return {it->constData(), it->constData() + it->size()};
    }
    const size_t slot = size_t(slotOf(month, day));
    const int* base = index.order.data();
    return {base + index.start[slot], base + index.start[slot + 1]};
}

void YearTables::appendPiece(QByteArray& text, int kind, int line, int year) const {
    const QByteArray& stored = m_lists[kind].at(line);
    if (kind == akSchedule) {
        thread_local std::string cleaned;
        cleanScheduleLine(stored, cleaned);
        appendItem(text, cleaned.data(), qsizetype(cleaned.size()));
        return;
    }
    // The title: between the first and the second comma, quotes and all.
    const qsizetype first = stored.indexOf(',');
    const qsizetype second = stored.indexOf(',', first + 1);
    const QByteArray& mark = kindMark(kind);
    appendItem(text, mark.constData(), mark.size());
    text.append(stored.constData() + first + 1, second - first - 1);
    if (kind == akAnniversary) {
        text += '[';
        text += QByteArray::number(year - m_index[kind].anniversaryYear[size_t(line)]);
        text += ']';
    }
}

QByteArray YearTables::assemble(int firstKind, int lastKind, int year, int month, int day) const {
    QByteArray text;
    for (int kind = firstKind; kind <= lastKind; ++kind) {
        const auto [begin, end] = lineRange(kind, year, month, day);
        for (const int* it = begin; it != end; ++it)
            appendPiece(text, kind, *it, year);
    }
    return text;
}

void YearTables::clearCache() const {
    for (auto& cache : m_textCache)
        cache.assign(kSlots, std::nullopt);
}

QByteArray YearTables::annotation(int firstKind, int lastKind, int year, int month, int day) const {
    firstKind = std::max(firstKind, 0);
    lastKind = std::min(lastKind, 3);
    if (firstKind > lastKind || month < 1 || month > 12 || day < 1 || day > 31)
        return QByteArray();
    if (year != m_year)
        return assemble(firstKind, lastKind, year, month, day);
    std::optional<QByteArray>& cached =
        m_textCache[size_t(firstKind * 4 + lastKind)][size_t(slotOf(month, day))];
    if (!cached)
        cached = assemble(firstKind, lastKind, year, month, day);
    return *cached;
}

bool YearTables::hasAnnotation(int kind, int year, int month, int day) const {
    if (kind < 0 || kind > 3 || month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    const auto [begin, end] = lineRange(kind, year, month, day);
    if (kind != akSchedule)
        return begin != end; // a marked line is never empty
    // A schedule line may clean down to nothing.
    thread_local std::string cleaned;
    for (const int* it = begin; it != end; ++it)
        if (!scheduleTextEmpty(m_lists[kind].at(*it), cleaned))
            return true;
    return false;
}

void BuildYearTables(YearTables& tables, int year, const QString& dataFolder) {
    tables.m_year = year;
    tables.clearCache();

    // Every list is rebuilt from its own file even when another stops at a line it cannot
    // read, so that no list keeps another year's lines; the first stop is reported, once.
    std::exception_ptr firstStop;
    auto rebuild = [&](int kind, auto&& fill) {
        TextLines& out = tables.m_lists[kind];
        out.clear();
        try {
            fill(out);
        } catch (...) {
            if (!firstStop)
                firstStop = std::current_exception();
        }
        tables.reindex(kind);
    };

    rebuild(akAnniversary,
            [&](TextLines& out) { out = LoadTextLines(AnniversaryFilePath(dataFolder)); });
    rebuild(akSchedule,
            [&](TextLines& out) { out = LoadTextLines(ScheduleFilePath(dataFolder, year)); });
    rebuild(akEvent, [&](TextLines& out) {
        for (const QByteArray& line : LoadTextLines(EventFilePath(dataFolder))) {
            const PlainRule rule = splitRule(line);
            out.append(rule.isFixedDate() ? line : resolveWeekdayRule(rule, year));
        }
    });
    rebuild(akHoliday, [&](TextLines& out) { buildHolidays(out, year, dataFolder); });

    if (firstStop)
        std::rethrow_exception(firstStop);
}

QByteArray BuildDayAnnotation(const YearTables& tables, int firstKind, int lastKind, int year,
                              int month, int day) {
    return tables.annotation(firstKind, lastKind, year, month, day);
}
