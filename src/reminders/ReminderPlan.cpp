#include "reminders/ReminderPlan.h"

#include "data/Codec.h"
#include "data/CsvLine.h"
#include "data/KalendoError.h"
#include "data/TextFile.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/EntryIdentity.h"
#include "rules/RuleEntry.h"

#include <QCryptographicHash>
#include <QSet>

#include <algorithm>
#include <optional>

namespace {

QByteArray trimmed(const QByteArray& cell) {
    return cell.trimmed();
}

// "HH:MM" or "H:MM" as the editor stores it; anything else is no time.
QTime storedTime(const QByteArray& cell) {
    const QByteArray t = trimmed(cell);
    const qsizetype colon = t.indexOf(':');
    if (colon < 1)
        return {};
    bool okH = false;
    bool okM = false;
    const int h = t.left(colon).trimmed().toInt(&okH);
    const int m = t.mid(colon + 1).trimmed().toInt(&okM);
    return okH && okM ? QTime(h, m) : QTime();
}

// An iCalendar duration's parts, read as the calendar importers' library reads them (the same
// answer for every text it gives one for): a sign, "P", then numbers each followed by its unit,
// each unit set at most once (a unit set to 0 may be set again), weeks and days before "T" (no
// weeks after days), hours, minutes and seconds after it. Where the library drops a number
// without its unit ("PT5", "P5T5M") or reads no part at all ("P", "PT", "P1DT"), this is no
// duration; each number is capped so that no sum overflows. Read here so that the reminders do
// not load that library into the program.
struct DurationParts {
    bool negative = false;
    qint64 weeks = 0, days = 0, hours = 0, minutes = 0, seconds = 0;
};

std::optional<DurationParts> durationParts(QByteArrayView text) {
    const auto isUnit = [](char c) { return QByteArrayView("WDHMS").contains(c); };
    if (text.isEmpty() || !isUnit(text.back()))
        return {};
    DurationParts d;
    bool begun = false;
    bool inTime = false;
    bool hasDays = false;
    qint64 number = -1; // read but not yet given its unit; -1 for none
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto take = [&](qint64& part, bool allowed) {
            if (!allowed || part != 0 || number < 0)
                return false;
            part = number;
            number = -1;
            return true;
        };
        switch (c) {
        case '+':
        case '-':
            if (i != 0 || begun)
                return {};
            d.negative = c == '-';
            break;
        case 'P':
            if (i > 1)
                return {};
            begun = true;
            break;
        case 'T':
            inTime = true;
            break;
        case 'H':
        case 'M':
        case 'S':
            if (!take(c == 'H' ? d.hours : c == 'M' ? d.minutes : d.seconds, inTime))
                return {};
            break;
        case 'W':
            if (!take(d.weeks, !inTime && !hasDays))
                return {};
            break;
        case 'D':
            if (!take(d.days, !inTime))
                return {};
            hasDays = true;
            break;
        default: {
            if (c < '0' || c > '9' || !begun)
                return {};
            qint64 value = 0;
            qsizetype j = i;
            for (; j < text.size() && text[j] >= '0' && text[j] <= '9'; ++j)
                value = std::min<qint64>(value * 10 + (text[j] - '0'), 1 << 30);
            if (j == text.size() || !isUnit(text[j]))
                return {};
            number = value;
            i = j - 1; // its unit is next
        }
        }
    }
    return d;
}

// The offset from the start of an iCalendar duration ("-PT15M", "-P1DT2H", "PT9H"), in seconds,
// as an imported or synced alarm's trigger; nothing for anything else.
std::optional<qint64> alarmOffsetSeconds(const QByteArray& trigger) {
    const std::optional<DurationParts> d = durationParts(QByteArrayView(trigger).trimmed());
    if (!d)
        return {};
    const qint64 seconds =
        d->weeks * 7 * 86400 + d->days * 86400 + d->hours * 3600 + d->minutes * 60 + d->seconds;
    // No alarm goes off further ahead than the longest lead time.
    if (d->negative)
        return -std::min<qint64>(seconds, 60 * qint64(MaxLeadMinutes));
    return seconds;
}

QByteArray dayKeyOf(const QDate& date) {
    return date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
}

// The schedule lines of some days of a year, day by day in the order asked and in file order
// within a day, each with its own alarm, as an offset from its start in seconds.
struct DayPlanLines {
    QDate date;
    TextLines lines;
    QList<std::optional<qint64>> alarms;
};

// A plan looks at a few days of a year of many lines: only the lines that hold a day's key are
// read as lines, and only their identities are matched.
QList<DayPlanLines> readDays(const QString& dataFolder, int year, const QList<QDate>& dates) {
    QList<DayPlanLines> out;
    TextBuffer file;
    file.loadBytes(ScheduleFilePath(dataFolder, year));
    const char* bytes = file.bytes().constData();
    QList<QByteArray> keys;
    for (const QDate& date : dates) {
        out.append({date, {}, {}});
        keys.append(dayKeyOf(date));
    }
    ForEachLineWithDayKeys(bytes, file.bytes().size(), dates, {},
                           [&](qsizetype start, qsizetype size) {
                               const QByteArrayView line(bytes + start, size);
                               for (qsizetype d = 0; d < keys.size(); ++d) {
                                   if (IsDayLine(line, keys.at(d))) {
                                       out[d].lines.append(line.toByteArray());
                                       break;
                                   }
                               }
                           });
    TextLines all;
    for (DayPlanLines& day : out) {
        day.alarms = QList<std::optional<qint64>>(day.lines.size());
        all += day.lines;
    }
    if (all.isEmpty())
        return out;
    std::optional<YearIdentities> ids;
    try {
        ids = DayLineIdentities(dataFolder, year, dates, all);
    } catch (const KalendoError&) {
        return out; // no alarms of their own then; nothing is written from here
    }
    // Without an identity file no entry has an alarm of its own.
    if (!ids)
        return out;
    qsizetype i = 0;
    for (DayPlanLines& day : out)
        for (std::optional<qint64>& alarm : day.alarms)
            alarm =
                alarmOffsetSeconds(ids->identity(i++).properties.value(QByteArrayLiteral("ALARM")));
    return out;
}

QByteArray occurrenceKey(Reminder::Kind kind, const QDate& date, const QByteArray& start,
                         const QByteArray& title) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArray::number(int(kind)));
    hash.addData(date.toString(QStringLiteral("yyyyMMdd")).toLatin1());
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(start);
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(title);
    return hash.result().toHex().left(20);
}

QString shown(const QByteArray& bytes) {
    return Codec::toUnicode(bytes);
}

QString dayText(const QDate& date) {
    return date.toString(QStringLiteral("M/d"));
}

// The reminders of the day's lines that fall due from `from` to `to`.
void planDay(const DayPlanLines& day, const ReminderSettings& settings, const QDateTime& from,
             const QDateTime& to, QList<Reminder>& out) {
    const QDate& date = day.date;
    for (qsizetype i = 0; i < day.lines.size(); ++i) {
        const QByteArray& line = day.lines.at(i);
        Row row(ScheduleColumn::Count);
        CommaLineToRow(line + ',', row);
        Reminder r;
        r.date = date;
        r.title = trimmed(row[ScheduleColumn::Title]);
        if (r.title.isEmpty())
            continue; // a line without a title shows nothing in the month either
        const QTime start = storedTime(row[ScheduleColumn::Start]);
        // An entry's own alarm (imported or synced) wins over the default.
        const std::optional<qint64> alarm = day.alarms.at(i);
        if (start.isValid()) {
            r.kind = Reminder::Timed;
            const QDateTime starts(date, start);
            // An alarm after the start reminds of nothing ahead: the default.
            r.due = alarm && *alarm <= 0 ? starts.addSecs(*alarm)
                                         : starts.addSecs(-60 * qint64(settings.leadMinutes));
            // A plan covers hours of the days it reads: the rest is passed over here.
            if (r.due < from || !(r.due < to))
                continue;
            r.start = start.toString(QStringLiteral("HH:mm")).toLatin1();
            const QTime end = storedTime(row[ScheduleColumn::End]);
            if (end.isValid() && end > start)
                r.end = end.toString(QStringLiteral("HH:mm")).toLatin1();
            r.passes = end.isValid() && end > start ? QDateTime(date, end) : starts;
        } else if (alarm && *alarm < 24 * 3600) {
            // An all-day entry's alarm counts from the start of its day, local time ("PT9H":
            // 9:00 on the day, "-PT15H": 9:00 the day before), also when the default is off.
            r.kind = Reminder::AllDay;
            r.due = QDateTime(date, QTime(0, 0)).addSecs(*alarm);
            r.passes = QDateTime(date.addDays(1), QTime(0, 0));
        } else {
            if (!settings.allDayTime.isValid())
                continue;
            r.kind = Reminder::AllDay;
            r.due = QDateTime(date, settings.allDayTime);
            r.passes = QDateTime(date.addDays(1), QTime(0, 0));
        }
        r.place = trimmed(row[ScheduleColumn::Place]);
        out.append(r);
    }
}

// The month and day of an anniversary line written plainly ("2012/12/07,..."), or {0, 0} for
// any other form, which the full reading then judges.
std::pair<int, int> plainMonthDay(QByteArrayView line) {
    int parts[3] = {0, 0, 0};
    int part = 0;
    bool digits = false;
    for (const char c : line) {
        if (c == ',')
            break;
        if (c >= '0' && c <= '9' && parts[part] < 10000) {
            parts[part] = parts[part] * 10 + (c - '0');
            digits = true;
        } else if (c == '/' && digits && part < 2) {
            ++part;
            digits = false;
        } else {
            return {0, 0};
        }
    }
    return part == 2 && digits ? std::pair{parts[1], parts[2]} : std::pair{0, 0};
}

// The anniversaries of each of the dates, in file order, into out (one list per date).
void planAnniversaries(const TextBuffer& lines, const QList<QDate>& dates,
                       const ReminderSettings& settings, QList<QList<Reminder>>& out) {
    const QTime at = settings.allDayTime.isValid() ? settings.allDayTime : QTime(9, 0);
    std::vector<std::pair<int, int>> monthDays;
    for (const QDate& date : dates)
        monthDays.emplace_back(date.month(), date.day());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // Many lines, a few dates: a line whose month or day plainly differs from every date is
        // passed over before it is split and its date parsed.
        const std::pair<int, int> monthDay = plainMonthDay(lines.line(i));
        QByteArray line;
        for (qsizetype d = 0; d < dates.size(); ++d) {
            if (monthDay.first != 0 && monthDay != monthDays[size_t(d)])
                continue;
            const QDate& date = dates.at(d);
            if (line.isEmpty())
                line = lines.line(i).toByteArray();
            Row row(2);
            CommaLineToRow(line, row);
            QByteArray from = trimmed(row[0]);
            const bool noYear = from.startsWith(AnniversaryNoYear);
            if (noYear)
                from.replace(0, 4, QByteArray::number(AnniversaryNoYearIn));
            const QDate first =
                QDate::fromString(QString::fromLatin1(from), QStringLiteral("yyyy/MM/dd"));
            if (!first.isValid() || first.month() != date.month() || first.day() != date.day() ||
                (!noYear && first.year() > date.year()))
                continue;
            Reminder r;
            r.kind = Reminder::Anniversary;
            r.date = date;
            r.title = trimmed(row[1]);
            r.years = noYear ? -1 : date.year() - first.year();
            r.due = QDateTime(date, at);
            r.passes = QDateTime(date.addDays(1), QTime(0, 0));
            out[d].append(r);
        }
    }
}

} // namespace

QString Reminder::summary() const {
    return kind == Anniversary ? QStringLiteral("記念日: ") + shown(title) : shown(title);
}

QString Reminder::body() const {
    QString text = date.toString(QStringLiteral("yyyy/MM/dd")) + QLatin1Char(' ');
    switch (kind) {
    case Timed:
        text += QString::fromLatin1(start);
        if (!end.isEmpty())
            text += QStringLiteral("〜") + QString::fromLatin1(end);
        break;
    case AllDay:
        text += QStringLiteral("終日");
        break;
    case Anniversary:
        if (years >= 0)
            text += QString::number(years) + QStringLiteral("年目");
        else
            text.chop(1);
        break;
    }
    if (!place.isEmpty())
        text += QStringLiteral("\n場所: ") + shown(place);
    return text;
}

QString Reminder::line() const {
    QString text = dayText(date) + QLatin1Char(' ');
    if (kind == Timed)
        text += QString::fromLatin1(start) + QLatin1Char(' ');
    return text + summary();
}

namespace {

// The days whose entries may fall due from `from` to `to`. Nothing is due after its day ends,
// nor earlier than the longest lead time (which also caps an alarm's) before the day starts: the
// last day is the one the longest lead time after `to` falls on, counted in elapsed time so that
// a change of summer time counts too.
QList<QDate> planDates(const QDateTime& from, const QDateTime& to) {
    QList<QDate> dates;
    if (!from.isValid() || !(from < to))
        return dates;
    const QDate last = to.addSecs(60 * qint64(MaxLeadMinutes)).date();
    for (QDate date = from.date(); date <= last; date = date.addDays(1))
        dates.append(date);
    return dates;
}

} // namespace

QStringList PlanFiles(const QString& dataFolder, const ReminderSettings& settings,
                      const QDateTime& from, const QDateTime& to) {
    QStringList files;
    const QList<QDate> dates = planDates(from, to);
    if (!settings.enabled || dates.isEmpty())
        return files;
    if (settings.anniversaries)
        files << AnniversaryFilePath(dataFolder);
    for (int year = dates.first().year(); year <= dates.last().year(); ++year)
        files << ScheduleFilePath(dataFolder, year) << IdentityFilePath(dataFolder, year);
    return files;
}

QList<Reminder> PlanReminders(const QString& dataFolder, const ReminderSettings& settings,
                              const QDateTime& from, const QDateTime& to) {
    QList<Reminder> out;
    const QList<QDate> dates = planDates(from, to);
    if (!settings.enabled || dates.isEmpty())
        return out;
    QList<QList<Reminder>> anniversaries(dates.size());
    if (settings.anniversaries) {
        TextBuffer lines;
        lines.load(AnniversaryFilePath(dataFolder));
        planAnniversaries(lines, dates, settings, anniversaries);
    }
    for (qsizetype d = 0; d < dates.size();) {
        // The dates of one year, read together.
        QList<QDate> ofYear;
        for (qsizetype e = d; e < dates.size() && dates.at(e).year() == dates.at(d).year(); ++e)
            ofYear.append(dates.at(e));
        for (const DayPlanLines& day : readDays(dataFolder, ofYear.first().year(), ofYear)) {
            planDay(day, settings, from, to, out);
            out += anniversaries.at(d++);
        }
    }
    out.erase(std::remove_if(out.begin(), out.end(),
                             [&](const Reminder& r) { return r.due < from || !(r.due < to); }),
              out.end());
    // Named only once kept: a plan looks at several days for the few hours it covers.
    for (Reminder& r : out)
        r.key = occurrenceKey(r.kind, r.date, r.start, r.title);
    std::stable_sort(out.begin(), out.end(),
                     [](const Reminder& a, const Reminder& b) { return a.due < b.due; });
    return out;
}

QString MissedSummary(const QList<Reminder>& reminders) {
    return QStringLiteral("お知らせできなかった予定 %1件").arg(reminders.size());
}

QString MissedBody(const QList<Reminder>& reminders) {
    QStringList lines;
    for (const Reminder& r : reminders)
        lines << r.line();
    return lines.join(QLatin1Char('\n'));
}
