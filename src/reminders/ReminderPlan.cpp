#include "reminders/ReminderPlan.h"

#include "data/Codec.h"
#include "data/CsvLine.h"
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

// A year's schedule lines with each one's own alarm, as an offset from its start in seconds.
struct YearLines {
    TextLines lines;
    QList<std::optional<qint64>> alarms;
};

YearLines readYear(const QString& dataFolder, int year) {
    YearLines out;
    // Without an identity file no entry has an alarm of its own: no matching to do.
    if (!QFile::exists(IdentityFilePath(dataFolder, year))) {
        out.lines = LoadTextLines(ScheduleFilePath(dataFolder, year));
        out.alarms = QList<std::optional<qint64>>(out.lines.size());
        return out;
    }
    const YearIdentities ids = YearIdentities::read(dataFolder, year);
    for (qsizetype i = 0; i < ids.size(); ++i) {
        out.lines.append(ids.line(i));
        out.alarms.append(
            alarmOffsetSeconds(ids.identity(i).properties.value(QByteArrayLiteral("ALARM"))));
    }
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

void planDay(const YearLines& year, const QDate& date, const ReminderSettings& settings,
             QList<Reminder>& out) {
    const QByteArray dayKey = date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
    for (qsizetype i = 0; i < year.lines.size(); ++i) {
        const QByteArray& line = year.lines.at(i);
        if (!IsDayLine(line, dayKey))
            continue;
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
        const std::optional<qint64> alarm = year.alarms.at(i);
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
        r.key = occurrenceKey(r.kind, date, r.start, r.title);
        out.append(r);
    }
}

void planAnniversaries(const TextLines& lines, const QDate& date, const ReminderSettings& settings,
                       QList<Reminder>& out) {
    const QTime at = settings.allDayTime.isValid() ? settings.allDayTime : QTime(9, 0);
    for (const QByteArray& line : lines) {
        // Asked for each day of the window, of every anniversary: a line whose month or day
        // plainly differs is passed over before it is split and its date parsed.
        const QList<QByteArray> parts = line.left(line.indexOf(',')).trimmed().split('/');
        if (parts.size() == 3) {
            bool okMonth = false;
            bool okDay = false;
            const int month = parts[1].toInt(&okMonth);
            const int day = parts[2].toInt(&okDay);
            if (okMonth && okDay && (month != date.month() || day != date.day()))
                continue;
        }
        Row row(2);
        CommaLineToRow(line, row);
        const QDate first =
            QDate::fromString(QString::fromLatin1(trimmed(row[0])), QStringLiteral("yyyy/MM/dd"));
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
        r.key = occurrenceKey(r.kind, date, {}, r.title);
        out.append(r);
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
    int loadedYear = 0;
    YearLines yearLines;
    const TextLines anniversaries =
        settings.anniversaries ? LoadTextLines(AnniversaryFilePath(dataFolder)) : TextLines();
    for (QDate date = first; date <= last; date = date.addDays(1)) {
        if (date.year() != loadedYear) {
            loadedYear = date.year();
            yearLines = readYear(dataFolder, loadedYear);
        }
        planDay(yearLines, date, settings, out);
        if (settings.anniversaries)
            planAnniversaries(anniversaries, date, settings, out);
    }
    out.erase(std::remove_if(out.begin(), out.end(),
                             [&](const Reminder& r) { return r.due < from || !(r.due < to); }),
              out.end());
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
