#include "reminders/ReminderPlan.h"

#include "data/Codec.h"
#include "data/CsvLine.h"
#include "data/KalendoError.h"
#include "data/TextFile.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/EntryIdentity.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <optional>
#include <set>

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

// The offset from the start of an iCalendar duration ("-PT15M", "-P1DT2H", "PT9H"), in seconds,
// as an imported or synced alarm's trigger; nothing for anything else.
std::optional<qint64> alarmOffsetSeconds(const QByteArray& trigger) {
    static const QRegularExpression duration(QStringLiteral(
        "^([-+]?)P(?:(\\d+)W)?(?:(\\d+)D)?(?:T(?:(\\d+)H)?(?:(\\d+)M)?(?:(\\d+)S)?)?$"));
    const QRegularExpressionMatch m = duration.match(QString::fromLatin1(trigger.trimmed()));
    if (!m.hasMatch() || trigger.trimmed() == "P" || trigger.trimmed().endsWith('T'))
        return {};
    // Each part is capped so that no sum overflows; no alarm goes off further ahead than the
    // longest lead time.
    constexpr qint64 units[] = {7 * 86400, 86400, 3600, 60, 1};
    qint64 seconds = 0;
    for (int i = 0; i < 5; ++i)
        seconds += std::min<qint64>(m.captured(i + 2).toLongLong(), 1 << 30) * units[i];
    if (m.captured(1) == QStringLiteral("-"))
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
// read as lines, and only the identity records that may be theirs are matched. Every way of
// matching an identity to a line goes by the line's date, so matching the days' lines with their
// records gives each line the identity matching the whole year would.
QList<DayPlanLines> readDays(const QString& dataFolder, int year, const QList<QDate>& dates) {
    QList<DayPlanLines> out;
    TextBuffer file;
    file.loadBytes(ScheduleFilePath(dataFolder, year));
    const char* bytes = file.bytes().constData();
    TextLines all;
    for (const QDate& date : dates) {
        DayPlanLines day{date, {}, {}};
        const QByteArray key = dayKeyOf(date);
        const auto keep = [&](qsizetype start, qsizetype size) {
            const QByteArrayView line(bytes + start, size);
            if (IsDayLine(line, key))
                day.lines.append(line.toByteArray());
        };
        TextFileDetail::forEachLineWith(bytes, file.bytes().size(), key, keep);
        day.alarms = QList<std::optional<qint64>>(day.lines.size());
        all += day.lines;
        out.append(std::move(day));
    }
    // Without an identity file no entry has an alarm of its own: no matching to do.
    const QString identityPath = IdentityFilePath(dataFolder, year);
    if (all.isEmpty() || !QFile::exists(identityPath))
        return out;
    TextBuffer identities;
    try {
        identities.loadBytes(identityPath, MaxIdentityFileBytes);
    } catch (const KalendoError&) {
        return out; // no alarms of their own then; nothing is written from here
    }
    // A record holds its line's bytes, the date's digits among them as they are. Its
    // LAST-MODIFIED ("20261207T093000Z") holds a date too, never a line's: the day's key followed
    // by a T is no day's line, and passed over (each record made today holds today's key there).
    std::set<std::pair<qsizetype, qsizetype>> found;
    const char* records = identities.bytes().constData();
    const qsizetype size = identities.bytes().size();
    for (const QDate& date : dates) {
        const QByteArray key = dayKeyOf(date);
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
    const YearIdentities ids = YearIdentities::match(all, recordLines);
    qsizetype i = 0;
    for (DayPlanLines& day : out)
        for (std::optional<qint64>& alarm : day.alarms)
            alarm =
                alarmOffsetSeconds(ids.identity(i++).properties.value(QByteArrayLiteral("ALARM")));
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

void planDay(const DayPlanLines& day, const ReminderSettings& settings, QList<Reminder>& out) {
    const QDate& date = day.date;
    for (qsizetype i = 0; i < day.lines.size(); ++i) {
        const QByteArray& line = day.lines.at(i);
        Row row(ScheduleColumn::Count);
        CommaLineToRow(line + ',', row);
        Reminder r;
        r.date = date;
        r.title = trimmed(row[ScheduleColumn::Title]);
        r.place = trimmed(row[ScheduleColumn::Place]);
        if (r.title.isEmpty())
            continue; // a line without a title shows nothing in the month either
        const QTime start = storedTime(row[ScheduleColumn::Start]);
        // An entry's own alarm (imported or synced) wins over the default.
        const std::optional<qint64> alarm = day.alarms.at(i);
        if (start.isValid()) {
            r.kind = Reminder::Timed;
            r.start = start.toString(QStringLiteral("HH:mm")).toLatin1();
            const QDateTime starts(date, start);
            // An alarm after the start reminds of nothing ahead: the default.
            r.due = alarm && *alarm <= 0 ? starts.addSecs(*alarm)
                                         : starts.addSecs(-60 * qint64(settings.leadMinutes));
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
            const QDate first = QDate::fromString(QString::fromLatin1(trimmed(row[0])),
                                                  QStringLiteral("yyyy/MM/dd"));
            if (!first.isValid() || first.month() != date.month() || first.day() != date.day() ||
                first.year() > date.year())
                continue;
            Reminder r;
            r.kind = Reminder::Anniversary;
            r.date = date;
            r.title = trimmed(row[1]);
            r.years = date.year() - first.year();
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
        text += QString::number(years) + QStringLiteral("年目");
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

QList<Reminder> PlanReminders(const QString& dataFolder, const ReminderSettings& settings,
                              const QDateTime& from, const QDateTime& to) {
    QList<Reminder> out;
    if (!settings.enabled || !from.isValid() || !(from < to))
        return out;
    // A timed entry is due before its day starts when its lead time crosses midnight.
    const QDate first = from.date();
    const QDate last = to.date().addDays(1 + MaxLeadMinutes / (24 * 60));
    QList<QDate> dates;
    for (QDate date = first; date <= last; date = date.addDays(1))
        dates.append(date);
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
            planDay(day, settings, out);
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
