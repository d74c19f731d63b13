#include "rules/YearTables.h"

#include "data/Codec.h"
#include "data/KalendoError.h"
#include "data/ShownText.h"
#include "rules/ComType.h"
#include "rules/EntryIdentity.h"
#include "rules/RuleEntry.h"

#include <QDate>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
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

// QByteArray's left() and mid() over a view: counts past the end are cut to it.
QByteArrayView leftOf(QByteArrayView text, qsizetype n) {
    return text.first(std::clamp<qsizetype>(n, 0, text.size()));
}
QByteArrayView midOf(QByteArrayView text, qsizetype pos, qsizetype n = -1) {
    if (pos >= text.size())
        return {};
    return text.sliced(pos, n < 0 ? text.size() - pos : std::min(n, text.size() - pos));
}

// A stored number: optional sign, then decimal digits and nothing else.
std::optional<int> parseInt(QByteArrayView text) {
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
int toIntOrThrow(QByteArrayView field, qsizetype pos, qsizetype len) {
    if (auto value = parseInt(midOf(field, pos, len)))
        return *value;
    throw KalendoError::notInteger(
        Codec::toUnicode(wholeCharacters(field.toByteArray(), pos, len)));
}

// Day of the week, 0 = Sunday; a date that does not exist throws.
int weekday(int year, int month, int day) {
    const QDate date(year, month, day);
    if (year < 1 || year > 9999 || !date.isValid())
        throw KalendoError::invalidDate();
    return date.dayOfWeek() % 7;
}

QByteArray twoDigits(int value) {
    if (value >= 0 && value < 100)
        return QByteArray(1, char('0' + value / 10)) + char('0' + value % 10);
    return QString::asprintf("%.2d", value).toLatin1();
}

int equinoxDay(int year, double constant) {
    const int n = year - 1980;
    const auto a = static_cast<qint64>(std::trunc(0.242194 * n + constant));
    const auto b = static_cast<qint64>(std::trunc(n / 4.0));
    return int(a - b);
}

// A rule line read by plain comma splitting; quotes stay part of the fields. The fields lie
// in the line, which must outlive the rule.
struct PlainRule {
    QByteArrayView date;
    QByteArrayView title;
    QByteArrayView rest;
    bool isFixedDate() const { return rest.startsWith('0'); }
};

PlainRule splitRule(QByteArrayView line) {
    PlainRule rule;
    const qsizetype first = line.indexOf(',');
    if (first >= 0)
        rule.date = line.first(first);
    const QByteArrayView after = midOf(line, first + 1);
    const qsizetype second = after.indexOf(',');
    if (second >= 0)
        rule.title = after.first(second);
    rule.rest = midOf(after, second + 1);
    return rule;
}

QByteArray joinRule(QByteArrayView date, QByteArrayView title, QByteArrayView rest) {
    QByteArray line;
    line.reserve(date.size() + title.size() + rest.size() + 2);
    line.append(date).append(',').append(title).append(',').append(rest);
    return line;
}

// A rule's date with its day replaced: "MM/" as written, then the day.
QByteArray withDay(QByteArrayView date, int day) {
    return leftOf(date, 3).toByteArray() + twoDigits(day);
}

// The n-th given weekday of the month as its date line, or the line as read when the month has
// no such day.
QByteArrayView resolveWeekdayRule(const PlainRule& rule, int year) {
    const int month = toIntOrThrow(rule.date, 0, 2);
    const int week = toIntOrThrow(rule.rest, 0, 1);
    const int wday = toIntOrThrow(rule.rest, 2, 1);
    if (month < 1 || month > 12)
        throw KalendoError::invalidDate();
    const int length = DaysInMonth(year, month);
    // Every day of the month exists once its first does (or weekday() throws).
    const int first = weekday(year, month, 1);
    int found = 0;
    int counter = 0;
    for (int d = 1; d <= length && !found; ++d) {
        if ((first + d - 1) % 7 == wday)
            ++counter;
        if (counter == week)
            found = d;
    }
    // Written into one buffer for every rule: every event and holiday rule of every build
    // passes here, and the line is copied where it is kept.
    thread_local QByteArray line;
    line.resize(0);
    if (found)
        line.append(leftOf(rule.date, 3))
            .append(char('0' + found / 10))
            .append(char('0' + found % 10));
    else
        line.append(rule.date);
    line.append(',').append(rule.title).append(',').append(rule.rest);
    return line;
}

// Adds a line to a list as it is: by its place when it lies in the list's file (start >= 0),
// else as a line made in memory.
void keepLine(TextBuffer& out, QByteArrayView line, qsizetype start) {
    if (start >= 0)
        out.addFileLine(start, line.size());
    else
        out.addMade(line);
}

// Adds a fixed-date holiday and the substitute holiday it causes.
void addFixedHoliday(TextBuffer& out, QByteArrayView line, qsizetype start, const PlainRule& rule,
                     int year) {
    keepLine(out, line, start);
    if (rule.date == "05/03" || rule.date == "05/04")
        return;
    if (rule.date == "05/05") {
        const int wd = weekday(year, 5, 5);
        if (wd <= 2) // Sunday, Monday or Tuesday
            out.addMade(joinRule("05/06", substituteTitle(), rule.rest));
        return;
    }
    const int month = toIntOrThrow(rule.date, 0, 2);
    const int day = toIntOrThrow(rule.date, 3, 2);
    // 31 December of last year on a Sunday makes 1 January of this year a substitute holiday.
    if (month == 12 && day == 31 && QDate(year - 1, 12, 31).dayOfWeek() == 7)
        out.addMade(joinRule("01/01", substituteTitle(), rule.rest));
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
        next.month() == month ? withDay(rule.date, day + 1)
                              : QByteArray(twoDigits(next.month()) + '/' + twoDigits(next.day()));
    out.addMade(joinRule(nextDate, substituteTitle(), rule.rest));
}

int slotOf(int month, int day) {
    return month * 32 + day;
}

// "MM/DD" at offset, or -1.
int monthDaySlot(QByteArrayView line, qsizetype offset) {
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

// Asked of every line of every list: the commas stand near the start of nearly all of them.
// Bytes before from are known to be no commas.
bool hasTwoCommas(QByteArrayView line, qsizetype from = 0) {
    int commas = 0;
    for (qsizetype i = from; i < line.size(); ++i)
        if (line[i] == ',' && ++commas == 2)
            return true;
    return false;
}

// The four digits at p as a number, or -1 when they are not four digits.
inline int fourDigits(const char* p) {
    const unsigned a = static_cast<unsigned char>(p[0]) - unsigned('0');
    const unsigned b = static_cast<unsigned char>(p[1]) - unsigned('0');
    const unsigned c = static_cast<unsigned char>(p[2]) - unsigned('0');
    const unsigned d = static_cast<unsigned char>(p[3]) - unsigned('0');
    if ((a > 9) | (b > 9) | (c > 9) | (d > 9))
        return -1;
    return int(a * 1000 + b * 100 + c * 10 + d);
}

// The year an anniversary counts from: its first four bytes as a number.
std::optional<int> anniversaryYear(QByteArrayView line) {
    const int year = fourDigits(line.data());
    return year >= 0 ? std::optional(year) : parseInt(leftOf(line, 4));
}

} // namespace

YearTables::YearTables() {
    clearCache();
    for (int k = 0; k < 4; ++k) {
        startIndex(k);
        finishIndex(k);
    }
}

void YearTables::startIndex(int kind) {
    Index& index = m_index[kind];
    index.year = m_year;
    // Shown a month, the stored lists index the lines of the months its grid shows: the month
    // before and the month after too, across the year's ends.
    index.complete = m_shownMonth < 1 || m_shownMonth > 12 || kind == akHoliday || kind == akEvent;
    for (int i = 0; i < 3 && !index.complete; ++i) {
        int month = m_shownMonth - 1 + i;
        int year = m_year;
        if (month < 1) {
            month = 12;
            --year;
        } else if (month > 12) {
            month = 1;
            ++year;
        }
        index.months[size_t(i)] = kind == akSchedule ? year * 100 + month : month;
        QByteArray text = twoDigits(month);
        if (kind == akSchedule)
            text.prepend(QByteArray::number(year).rightJustified(4, '0'));
        else
            text.append('/');
        quint64 bytes = 0;
        std::memcpy(&bytes, text.constData(), size_t(std::min<qsizetype>(text.size(), 6)));
        index.monthBytes[size_t(i)] = bytes;
    }
    restartIndex(index);
    m_lineCopies[size_t(kind)].reset();
}

void YearTables::restartIndex(Index& index) {
    index.otherYear.clear();
    index.indexed = 0;
    index.kept.clear();
    index.counts.assign(kSlots, 0);
}

// Whether a line may belong to the months the index takes in. Every line of the stored files
// passes here: where only the shown months are indexed, a line naming another month is passed
// over at once, and one too short to name its month has no day at all.
template <int kind> inline bool YearTables::mayHold(QByteArrayView line) const {
    const Index& index = m_index[kind];
    if constexpr (kind == akSchedule || kind == akAnniversary) {
        constexpr qsizetype at = kind == akSchedule ? 0 : 5;
        constexpr size_t length = kind == akSchedule ? 6 : 3; // "YYYYMM" or "MM/"
        constexpr qsizetype least = kind == akSchedule ? 8 : 10;
        if (!index.complete) {
            // A schedule date quoted by hand ("20250115") is the day's as the day list reads it.
            const qsizetype quote = kind == akSchedule && !line.isEmpty() && line.front() == '"';
            if (line.size() < least + quote)
                return false;
            quint64 bytes = 0;
            std::memcpy(&bytes, line.data() + at + quote, length);
            return bytes == index.monthBytes[0] || bytes == index.monthBytes[1] ||
                   bytes == index.monthBytes[2];
        }
    }
    return true;
}

// The lines of the bytes from..end of a stored list's file, just read, kept by their places and
// indexed. Where the index takes in the shown months only, so does the list: a line naming
// another month is passed over on one comparison, and the list takes in the others when first
// asked for them (completeIndex). Every line of the stored files passes here, so what decides
// stays in registers.
template <int kind> void YearTables::takeFileLines(TextBuffer& out, qsizetype from, qsizetype end) {
    // Room for the lines the rest of the file holds at the rate of those before (and an eighth),
    // so that the list seldom moves while it grows.
    if (from > 0) {
        const qsizetype expected = out.size() + out.size() * (out.bytes().size() - from) / from;
        if (out.lineCapacity() < expected)
            out.reserveLines(expected + expected / 8 + 16);
    }
    const char* const bytes = out.bytes().constData() + from;
    const Index& index = m_index[kind];
    const bool every = index.complete;
    const std::array<quint64, 3> months = index.monthBytes;
    qsizetype i = out.size();
    const auto add = [&](qsizetype start, qsizetype size) {
        const char* const line = bytes + start;
        if constexpr (kind == akSchedule || kind == akAnniversary) {
            constexpr qsizetype at = kind == akSchedule ? 0 : 5;
            constexpr size_t length = kind == akSchedule ? 6 : 3; // "YYYYMM" or "MM/"
            constexpr qsizetype least = kind == akSchedule ? 8 : 10;
            if (!every) {
                // A schedule date quoted by hand ("20250115") is the day's as the day list
                // reads it; a line too short to name its month has no day at all.
                const qsizetype quote = kind == akSchedule && line[0] == '"';
                if (size < least + quote)
                    return;
                quint64 named = 0;
                std::memcpy(&named, line + at + quote, length);
                if (named != months[0] && named != months[1] && named != months[2])
                    return;
            }
        }
        indexLine<kind>(i, QByteArrayView(line, size));
        out.addFileLine(from + start, size);
        ++i;
    };
    TextFileDetail::forEachLine(bytes, end - from, add);
}

// The slot of the next line of a list, line i: the fields that decide are read where they
// stand, and the commas looked for only after them.
template <int kind> void YearTables::indexLine(qsizetype i, QByteArrayView line) {
    Index& index = m_index[kind];
    int slot = -1;
    if constexpr (kind == akSchedule) {
        // YYYYMMDD: eight digits, so no comma before them, quoted or not, and ended as the day
        // list ends a day's key (IsDayLine): by a comma, a blank or a control byte.
        const qsizetype quote = !line.isEmpty() && line.front() == '"';
        const qsizetype end = 8 + 2 * quote;
        if (line.size() <= end)
            return;
        const char* p = line.data() + quote;
        const int y = fourDigits(p);
        const int md = fourDigits(p + 4);
        if (y < 0 || md < 0 || (quote && p[8] != '"') ||
            (static_cast<unsigned char>(line[end]) > 0x20 && line[end] != ',') ||
            !index.holds(y * 100 + md / 100) || !hasTwoCommas(line, end))
            return;
        const int m = md / 100;
        const int d = md % 100;
        if (y != index.year || m < 1 || m > 12 || d < 1 || d > 31) {
            index.otherYear[y * 10000 + md].append(int(i));
            return;
        }
        slot = slotOf(m, d);
    } else {
        const int at = monthDaySlot(line, kind == akAnniversary ? 5 : 0);
        if (at < 0 || !index.holds(at / 32))
            return;
        // "MM/DD" holds no comma, nor does a year that reads as a number.
        if (kind != akAnniversary) {
            if (!hasTwoCommas(line, 5))
                return;
        } else {
            // A line whose first four bytes are not a year cannot count its years: it is left
            // out, and every other line still shows. One without a year shows without them.
            if ((!anniversaryYear(line) && !line.startsWith(AnniversaryNoYear)) ||
                !hasTwoCommas(line, 4))
                return;
        }
        slot = at;
    }
    index.kept.emplace_back(int(i), slot);
    ++index.counts[size_t(slot)];
}

// The slots of the lines added since the last call.
void YearTables::indexLines(int kind) {
    const TextBuffer& lines = m_lists[kind];
    for (qsizetype i = m_index[kind].indexed; i < lines.size(); ++i) {
        switch (kind) {
        case akHoliday:
            indexLine<akHoliday>(i, lines.line(i));
            break;
        case akEvent:
            indexLine<akEvent>(i, lines.line(i));
            break;
        case akAnniversary:
            if (mayHold<akAnniversary>(lines.line(i)))
                indexLine<akAnniversary>(i, lines.line(i));
            break;
        default:
            if (mayHold<akSchedule>(lines.line(i)))
                indexLine<akSchedule>(i, lines.line(i));
        }
    }
    m_index[kind].indexed = lines.size();
}

void YearTables::finishIndex(int kind) {
    indexLines(kind);
    Index& index = m_index[kind];
    index.start.resize(kSlots + 1);
    int total = 0;
    for (int s = 0; s < kSlots; ++s) {
        index.start[size_t(s)] = total;
        total += index.counts[size_t(s)];
    }
    index.start[kSlots] = total;
    index.order.resize(size_t(total));
    // The counts become each slot's next free position.
    std::copy(index.start.begin(), index.start.end() - 1, index.counts.begin());
    for (const auto& [line, slot] : index.kept)
        index.order[size_t(index.counts[size_t(slot)]++)] = line;
    index.kept.clear();
}

void YearTables::completeIndex(int kind) const {
    // Asked of a month the index left out: it takes in every line now, once. A stored list that
    // holds the shown months' lines only finds the others in its bytes, as read.
    auto* self = const_cast<YearTables*>(this);
    Index& index = self->m_index[kind];
    const bool listToo = !index.complete && (kind == akSchedule || kind == akAnniversary);
    index.complete = true;
    restartIndex(index);
    if (listToo) {
        TextBuffer& list = self->m_lists[kind];
        list.dropLines();
        if (kind == akSchedule)
            self->takeFileLines<akSchedule>(list, 0, list.bytes().size());
        else
            self->takeFileLines<akAnniversary>(list, 0, list.bytes().size());
        index.indexed = list.size();
        m_lineCopies[size_t(kind)].reset();
    }
    self->finishIndex(kind);
}

void YearTables::takeInEveryMonth() const {
    for (int kind = 0; kind < 4; ++kind)
        if (!m_index[kind].complete)
            completeIndex(kind);
}

const TextLines& YearTables::lines(int kind) const {
    if (!m_index[kind].complete)
        completeIndex(kind);
    std::optional<TextLines>& copy = m_lineCopies[size_t(kind)];
    if (!copy)
        copy = m_lists[kind].toLines();
    return *copy;
}

namespace {

// A schedule line as the annotation shows it: number, start and end dropped; then every comma
// made a separator "-", quoted blanks removed, and doubled separators removed, in that order,
// each a single left-to-right pass. Written into out, which is reused between lines.
// Where the shown text of a schedule line starts: after its fourth comma.
qsizetype scheduleTextStart(QByteArrayView line) {
    qsizetype pos = line.indexOf(',') + 1;
    for (int i = 0; i < 3; ++i) {
        const qsizetype comma = line.indexOf(',', pos);
        if (comma >= 0)
            pos = comma + 1;
    }
    return pos;
}

void cleanScheduleLine(QByteArrayView line, std::string& out) {
    const qsizetype pos = scheduleTextStart(line);
    out.assign(line.data() + pos, size_t(line.size() - pos));
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

// The first cap bytes of the cleaned line (all of it when cap < 0), cleaning no more of a long
// line than they need: cleaning a head of the line gives the head of the cleaned line but for its
// last few bytes, where a pair to remove may have been cut.
void cleanScheduleHead(QByteArrayView line, qsizetype cap, std::string& out) {
    constexpr qsizetype unsure = 4;
    // The head keeps the fields before the text whole, so that the text starts where it does.
    const qsizetype start = cap < 0 ? 0 : scheduleTextStart(line);
    for (qsizetype head = 2 * cap + unsure;; head *= 2) {
        if (cap < 0 || start + head >= line.size()) {
            cleanScheduleLine(line, out);
            break;
        }
        cleanScheduleLine(line.first(start + head), out);
        if (qsizetype(out.size()) >= cap + unsure)
            break;
    }
    if (cap >= 0 && qsizetype(out.size()) > cap)
        out.resize(size_t(cap));
}

// Whether the line's shown text cleans down to nothing, without cleaning it: only quotes,
// blanks, commas and hyphens can go, so any other byte answers at once.
bool scheduleTextEmpty(QByteArrayView line, std::string& cleaned) {
    const qsizetype pos = scheduleTextStart(line);
    for (qsizetype i = pos; i < line.size(); ++i) {
        const char c = line[i];
        if (c != '"' && c != ' ' && c != ',' && c != '-')
            return false;
    }
    cleanScheduleLine(line, cleaned);
    return cleaned.empty();
}

// The day a resolved rule line names in a year, if it names one.
std::optional<QDate> lineDay(QByteArrayView line, int year) {
    const int slot = monthDaySlot(line, 0);
    if (slot < 0)
        return std::nullopt;
    const QDate date(year, slot / 32, slot % 32);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

// The holidays of a year: the holiday rules resolved with their substitutes, the equinox days,
// then every day sandwiched between two of those (substitutes aside) that is no holiday itself.
// Days around one year, one bit each: the year and a month on either side, where the
// neighbours of its first and last days lie. Asked of every holiday rule at every build, where
// a tree of dates cost a tenth of the month step.
class DaySet {
public:
    explicit DaySet(int year)
        : m_first(QDate(year, 1, 1).toJulianDay() - 31),
          m_bits(size_t(QDate(year, 12, 31).toJulianDay() + 32 - m_first)) {}
    void insert(const QDate& day) {
        if (const auto i = place(day))
            m_bits[*i] = true;
    }
    bool contains(const QDate& day) const {
        const auto i = place(day);
        return i && m_bits[*i];
    }
    // The days held, in order.
    template <typename F> void forEach(F&& f) const {
        for (size_t i = 0; i < m_bits.size(); ++i)
            if (m_bits[i])
                f(QDate::fromJulianDay(m_first + qint64(i)));
    }

private:
    std::optional<size_t> place(const QDate& day) const {
        const qint64 i = day.toJulianDay() - m_first;
        return i >= 0 && i < qint64(m_bits.size()) ? std::optional(size_t(i)) : std::nullopt;
    }
    qint64 m_first;
    std::vector<bool> m_bits;
};

// Runs the work of one rule line of a file read into out, at start in its bytes; a line it
// cannot read is thrown as RuleLineError with the file and line.
template <typename Work>
void ruleLine(const TextBuffer& out, const QString& path, qsizetype start, Work&& work) {
    try {
        work();
    } catch (const KalendoError& e) {
        // Every CR, and every LF but one right after a CR, ends a line before this one.
        const QByteArray& bytes = out.bytes();
        qsizetype line = 1;
        for (qsizetype i = 0; i < start; ++i)
            if (bytes[i] == '\r' || (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')))
                ++line;
        throw RuleLineError(e, path, line, out.stamp());
    }
}

void buildHolidays(TextBuffer& out, int year, const QString& dataFolder) {
    const QString path = HolidayFilePath(dataFolder);
    out.loadBytes(path);
    // The equinox days are rules made here, after those of the file.
    QList<QByteArray> equinoxes;
    if (year <= 2100) {
        equinoxes.append("03/" + twoDigits(equinoxDay(year, 20.8431)) + ',' + vernalTitle() +
                         ",0,0");
        equinoxes.append("09/" + twoDigits(equinoxDay(year, 23.2488)) + ',' + autumnalTitle() +
                         ",0,0");
    }
    DaySet ruleDays(year);
    // One rule line, at start in the file's bytes (-1 for a rule made here).
    auto addRule = [&](QByteArrayView line, qsizetype start) {
        const PlainRule rule = splitRule(line);
        const qsizetype at = out.size();
        if (rule.isFixedDate())
            addFixedHoliday(out, line, start, rule, year);
        else
            out.addMade(resolveWeekdayRule(rule, year));
        if (const auto day = lineDay(out.line(at), year))
            ruleDays.insert(*day);
        // 1 January and 31 December have a neighbour in the next or last year.
        for (const int other : {year - 1, year + 1}) {
            if (other < 1 || other > 9999 || !rule.date.startsWith(other < year ? "12" : "01"))
                continue;
            const auto day = rule.isFixedDate() ? lineDay(line, other)
                                                : lineDay(resolveWeekdayRule(rule, other), other);
            if (day)
                ruleDays.insert(*day);
        }
    };
    const QByteArray& bytes = out.bytes();
    out.forEachFileLine([&](qsizetype start, qsizetype size) {
        ruleLine(out, path, start,
                 [&] { addRule(QByteArrayView(bytes.constData() + start, size), start); });
    });
    for (const QByteArray& equinox : equinoxes)
        addRule(equinox, -1);

    DaySet holidays(year);
    for (qsizetype i = 0; i < out.size(); ++i)
        if (const auto day = lineDay(out.line(i), year))
            holidays.insert(*day);
    ruleDays.forEach([&](const QDate& before) {
        const QDate day = before.addDays(1);
        if (day.year() == year && !holidays.contains(day) && ruleDays.contains(day.addDays(1)))
            out.addMade(QByteArray(twoDigits(day.month()) + '/' + twoDigits(day.day()) + ',' +
                                   nationalRestDayTitle() + ",0,0"));
    });
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
    if (kind == akSchedule && year != index.year && (year < 0 || year > 9999))
        return {nullptr, nullptr}; // no key of eight digits
    if (!index.holds(kind == akSchedule ? year * 100 + month : month))
        completeIndex(kind);
    if (kind == akSchedule && year != index.year) {
        const auto it = index.otherYear.constFind(year * 10000 + month * 100 + day);
        if (it == index.otherYear.cend())
            return {nullptr, nullptr};
        return {it->constData(), it->constData() + it->size()};
    }
    const size_t slot = size_t(slotOf(month, day));
    const int* base = index.order.data();
    return {base + index.start[slot], base + index.start[slot + 1]};
}

void YearTables::appendPiece(QByteArray& text, int kind, int line, int year, qsizetype cap) const {
    const QByteArrayView stored = m_lists[kind].line(line);
    if (kind == akSchedule) {
        thread_local std::string cleaned;
        cleanScheduleHead(stored, cap, cleaned);
        if (!m_inexact.isEmpty() &&
            m_inexact.contains(InexactTextKey(EntryCells(stored.toByteArray()))))
            cleaned.insert(0, "\x81\xA6"); // ※ in code page 932
        if (cap >= 0 && qsizetype(cleaned.size()) > cap)
            cleaned.resize(size_t(cap));
        appendItem(text, cleaned.data(), qsizetype(cleaned.size()));
        return;
    }
    // The title: between the first and the second comma, quotes and all.
    const qsizetype first = stored.indexOf(',');
    const qsizetype second = stored.indexOf(',', first + 1);
    const QByteArray& mark = kindMark(kind);
    appendItem(text, mark.constData(), mark.size());
    const qsizetype piece = text.size() - mark.size();
    const qsizetype title = second - first - 1;
    text.append(stored.data() + first + 1, cap >= 0 ? std::min(title, cap) : title);
    if (kind == akAnniversary) {
        if (const std::optional<int> since = anniversaryYear(stored)) {
            text += '[';
            text += QByteArray::number(year - *since);
            text += ']';
        }
    }
    // The cap holds for the whole line, mark and years included.
    if (cap >= 0 && text.size() - piece > cap)
        text.truncate(piece + cap);
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

void YearTables::markInexact(QSet<QByteArray> keys) {
    m_inexact = std::move(keys);
    for (auto& cache : m_textCache)
        std::fill(cache.begin(), cache.end(), std::nullopt);
}

void YearTables::clearCache() const {
    if (!m_textCached)
        return;
    for (auto& cache : m_textCache)
        std::fill(cache.begin(), cache.end(), std::nullopt);
    m_textCached = false;
}

QByteArray YearTables::annotation(int firstKind, int lastKind, int year, int month, int day) const {
    firstKind = std::max(firstKind, 0);
    lastKind = std::min(lastKind, 3);
    if (firstKind > lastKind || month < 1 || month > 12 || day < 1 || day > 31)
        return QByteArray();
    if (year != m_year)
        return assemble(firstKind, lastKind, year, month, day);
    // Made when first asked for: a start that shows no text pays neither its memory nor
    // filling it.
    std::vector<std::optional<QByteArray>>& texts = m_textCache[size_t(firstKind * 4 + lastKind)];
    if (texts.empty())
        texts.resize(kSlots);
    std::optional<QByteArray>& cached = texts[size_t(slotOf(month, day))];
    if (!cached) {
        cached = assemble(firstKind, lastKind, year, month, day);
        m_textCached = true;
    }
    return *cached;
}

QByteArray YearTables::annotationHead(int firstKind, int lastKind, int year, int month, int day,
                                      qsizetype maxLines, qsizetype& more,
                                      qsizetype lineBytes) const {
    more = 0;
    firstKind = std::max(firstKind, 0);
    lastKind = std::min(lastKind, 3);
    if (firstKind > lastKind || month < 1 || month > 12 || day < 1 || day > 31)
        return QByteArray();
    maxLines =
        maxLines > 0 ? std::max<qsizetype>(maxLines, 2) : std::numeric_limits<qsizetype>::max();
    // The text's lines are its pieces from the first one that is not empty on (appendItem
    // separates only once there is text); each later piece is a line, empty or not.
    QByteArray text;
    qsizetype lines = 0;
    qsizetype lastStart = 0; // where the last line kept starts, for taking it back
    for (int kind = firstKind; kind <= lastKind; ++kind) {
        const auto [begin, end] = lineRange(kind, year, month, day);
        for (const int* it = begin; it != end; ++it) {
            if (lines > maxLines) {
                more += end - it;
                break;
            }
            const qsizetype before = text.size();
            appendPiece(text, kind, *it, year, lineBytes);
            if (text.isEmpty())
                continue;
            if (++lines > maxLines) {
                // One line too many: the last kept one gives way to the count.
                text.truncate(lastStart > 0 ? lastStart - 2 : 0);
                more = 2;
                continue;
            }
            lastStart = before > 0 ? before + 2 : 0;
        }
    }
    return text;
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
        if (!scheduleTextEmpty(m_lists[kind].line(*it), cleaned))
            return true;
    return false;
}

RuleLineError::RuleLineError(const KalendoError& reason, const QString& path, qsizetype line,
                             const FileStamp& stamp)
    : KalendoError(reason.message() + QLatin1Char('\n') +
                   QStringLiteral("%1 の %2 行目").arg(path).arg(line)),
      m_stamp(stamp) {}

bool YearTables::stillCurrent(int kind, const QString& path, int year) {
    Source& source = m_sources[size_t(kind)];
    if (!source.current || source.path != path || (kind != akAnniversary && source.year != year))
        return false;
    const std::optional<FileStamp> now = StatFileStamp(path);
    if (!now)
        return false;
    if (CertainlyUnchanged(source.stamp, *now))
        return true;
    // Changed just before it was read (or written by this program's own save): the times cannot
    // tell a later write within the same tick, the bytes can. Read, not indexed again.
    FileStamp read;
    if (!now->exists || !SameFileTimes(source.stamp, *now) ||
        !FileHoldsBytes(path, m_lists[kind].bytes(), read) || !SameFileTimes(read, *now))
        return false;
    source.stamp = read;
    return true;
}

bool YearTables::takeSavedDay(const SavedDay& saved) {
    Source& source = m_sources[akSchedule];
    TextBuffer& list = m_lists[akSchedule];
    if (!source.current || source.path != saved.path || source.year != m_year ||
        !saved.written.exists || !SameFileTimes(source.stamp, saved.read))
        return false;
    // The same version as the list read, certainly, when the earlier of the two readings was
    // of a version no write could follow within the same times.
    const bool sameVersion = source.stamp.takenNs <= saved.read.takenNs
                                 ? CertainlyUnchanged(source.stamp, saved.read)
                                 : CertainlyUnchanged(saved.read, source.stamp);
    if (sameVersion && saved.written.ownWrite && saved.sameBytes) {
        // The save wrote back the very bytes these tables hold.
        source.stamp = saved.written;
        return true;
    }
    // The day's lines are found among all of them.
    if (!m_index[akSchedule].complete)
        completeIndex(akSchedule);
    // The day's lines by where they start, as the list found them in the same bytes.
    std::vector<qsizetype> dropped;
    dropped.reserve(saved.dayStarts.size());
    const char* const bytes = list.bytes().constData();
    const auto startOf = [&](qsizetype i) { return list.line(i).data() - bytes; };
    qsizetype from = 0;
    for (const qsizetype start : saved.dayStarts) {
        qsizetype to = list.size();
        while (from < to) {
            const qsizetype mid = from + (to - from) / 2;
            if (startOf(mid) < start)
                from = mid + 1;
            else
                to = mid;
        }
        if (from == list.size() || startOf(from) != start)
            return false;
        dropped.push_back(from++);
    }
    const qsizetype before = list.size();
    source = Source(); // no longer shares the bytes, which are rewritten in place
    if (!list.rewriteAsSaved(dropped, saved.dayLines, saved.written))
        return false; // left as read: the next build reads the file
    // The index keeps its lines but the day's, each moved down past the day's lines before it;
    // the lines added after them are indexed as a build indexes them.
    Index& index = m_index[akSchedule];
    // Each line's new place (-1: the day's), made in one pass: a search among the day's lines
    // for each line of the year cost more than the rest of the move.
    std::vector<int> places(size_t(before), -1);
    for (qsizetype i = 0, d = 0; i < before; ++i) {
        if (d < qsizetype(dropped.size()) && dropped[size_t(d)] == i)
            ++d;
        else
            places[size_t(i)] = int(i - d);
    }
    const auto moved = [&](int i) -> std::optional<int> {
        const int to = i >= 0 && i < before ? places[size_t(i)] : -1;
        return to < 0 ? std::nullopt : std::optional<int>(to);
    };
    index.kept.clear();
    index.counts.assign(kSlots, 0);
    for (int slot = 0; slot < kSlots; ++slot) {
        for (int p = index.start[size_t(slot)]; p < index.start[size_t(slot) + 1]; ++p) {
            if (const auto i = moved(index.order[size_t(p)])) {
                index.kept.emplace_back(*i, slot);
                ++index.counts[size_t(slot)];
            }
        }
    }
    for (auto it = index.otherYear.begin(); it != index.otherYear.end();) {
        QList<int> lines;
        for (const int i : std::as_const(*it))
            if (const auto to = moved(i))
                lines.append(*to);
        if (lines.isEmpty()) {
            it = index.otherYear.erase(it);
        } else {
            *it = std::move(lines);
            ++it;
        }
    }
    index.indexed = before - qsizetype(dropped.size());
    finishIndex(akSchedule);
    m_lineCopies[akSchedule].reset();
    clearCache();
    // Unless the list's save certainly wrote over the very version these tables read, the
    // file's bytes are compared at the next build however old its times look: the version they
    // read might differ from the one the list read within a tick of a write.
    source = {saved.path, m_year, saved.written, true};
    if (!sameVersion || !saved.written.ownWrite) {
        source.stamp.takenNs = 0;
        source.stamp.ownWrite = false;
    }
    return true;
}

void BuildYearTables(YearTables& tables, int year, const QString& dataFolder, int shownMonth) {
    if (year != tables.m_year)
        tables.clearCache();
    tables.m_year = year;
    tables.m_shownMonth = shownMonth;
    // The marks are given again for each build (markInexact); texts made with them go too.
    if (!tables.m_inexact.isEmpty()) {
        tables.m_inexact.clear();
        tables.clearCache();
    }

    // Every list is rebuilt from its own file even when another stops at a line it cannot
    // read, so that no list keeps another year's lines; the first stop is reported, once.
    // A list that stopped is built again every time, so that its stop is reported every time.
    std::exception_ptr firstStop;
    auto rebuild = [&](int kind, const QString& path, auto&& fill) {
        YearTables::Source& source = tables.m_sources[size_t(kind)];
        if (tables.stillCurrent(kind, path, year))
            return;
        ++tables.m_changes;
        tables.clearCache();
        source = YearTables::Source();
        TextBuffer& out = tables.m_lists[kind];
        out.clear();
        tables.startIndex(kind);
        bool stopped = false;
        try {
            fill(out);
        } catch (...) {
            stopped = true;
            if (!firstStop)
                firstStop = std::current_exception();
        }
        tables.finishIndex(kind);
        if (!stopped)
            source = {path, year, out.stamp(), true};
    };
    // The stored lists: each file read into one buffer and indexed line by line as its lines
    // are read, while they are still in the cache. A file that cannot be read leaves its list
    // empty.
    auto stored = [&](auto kind, const QString& path) {
        rebuild(kind, path, [&](TextBuffer& out) {
            try {
                out.loadBytes(path, [&](qsizetype from, qsizetype end) {
                    tables.takeFileLines<decltype(kind)::value>(out, from, end);
                });
                tables.m_index[kind].indexed = out.size();
            } catch (...) {
                tables.startIndex(kind);
                throw;
            }
        });
    };

    stored(std::integral_constant<int, akAnniversary>(), AnniversaryFilePath(dataFolder));
    stored(std::integral_constant<int, akSchedule>(), ScheduleFilePath(dataFolder, year));
    const QString eventPath = EventFilePath(dataFolder);
    rebuild(akEvent, eventPath, [&](TextBuffer& out) {
        const QString& path = eventPath;
        out.loadBytes(path);
        const QByteArray& bytes = out.bytes();
        out.forEachFileLine([&](qsizetype start, qsizetype size) {
            const PlainRule rule = splitRule(QByteArrayView(bytes.constData() + start, size));
            if (rule.isFixedDate())
                out.addFileLine(start, size);
            else
                ruleLine(out, path, start, [&] { out.addMade(resolveWeekdayRule(rule, year)); });
        });
    });
    rebuild(akHoliday, HolidayFilePath(dataFolder),
            [&](TextBuffer& out) { buildHolidays(out, year, dataFolder); });

    if (firstStop)
        std::rethrow_exception(firstStop);
}

QString ShownDayAnnotation(const YearTables& tables, int year, int month, int day,
                           qsizetype maxLines) {
    qsizetype more = 0;
    // ShownLine looks at no more than two bytes a character and one past them.
    const QByteArray head = tables.annotationHead(akHoliday, akSchedule, year, month, day, maxLines,
                                                  more, 4 * MaxShownLineChars);
    QString text = ShownLines(head);
    if (more > 0)
        text += QLatin1Char('\n') + QStringLiteral("他%1件").arg(more);
    return text;
}

QByteArray BuildDayAnnotation(const YearTables& tables, int firstKind, int lastKind, int year,
                              int month, int day) {
    return tables.annotation(firstKind, lastKind, year, month, day);
}
