#include "exchange/IcsExport.h"

#include "data/Codec.h"
#include "exchange/IcalHandle.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/RuleEntry.h"
#include "rules/YearTables.h"

#include <QCryptographicHash>
#include <QDate>
#include <QHash>
#include <QTime>

namespace {

QByteArray utf8(const QByteArray& cp932) {
    return Codec::toUnicode(cp932).toUtf8();
}

// A UID from what identifies an item where it is stored; the kind leads, so the import can
// tell Kalendo's own holidays from entries.
QByteArray makeUid(const char* kind, const QByteArray& identity) {
    return QByteArray(kind) + '-' +
           QCryptographicHash::hash(identity, QCryptographicHash::Sha1).toHex().left(24) +
           KalendoUidSuffix;
}

// Identities seen so far: the same identity twice (a line copied by hand) gets a counter.
class UidMaker {
public:
    QByteArray operator()(const char* kind, const QByteArray& identity) {
        const int nth = m_seen[identity]++;
        return makeUid(kind, nth == 0 ? identity : identity + '#' + QByteArray::number(nth));
    }

private:
    QHash<QByteArray, int> m_seen;
};

icaltimetype dateValue(const QDate& date) {
    icaltimetype t = icaltime_null_date();
    t.year = date.year();
    t.month = date.month();
    t.day = date.day();
    return t;
}

icaltimetype timeValue(const QDate& date, const QTime& time, icaltimezone* zone) {
    icaltimetype t = icaltime_null_time();
    t.year = date.year();
    t.month = date.month();
    t.day = date.day();
    t.hour = time.hour();
    t.minute = time.minute();
    if (zone == icaltimezone_get_utc_timezone())
        t.zone = zone;
    return t;
}

QTime readTime(const QByteArray& cell) {
    const QByteArray text = cell.trimmed();
    return text.size() == 5 ? QTime::fromString(QString::fromLatin1(text), QStringLiteral("HH:mm"))
                            : QTime();
}

class CalendarWriter {
public:
    CalendarWriter(icaltimezone* zone, const QByteArray& zoneId)
        : m_calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT)), m_zone(zone),
          m_tzid(zone == icaltimezone_get_utc_timezone() ? QByteArray() : zoneId),
          m_stamp(icaltime_from_timet_with_zone(Clock::now().toSecsSinceEpoch(), 0,
                                                icaltimezone_get_utc_timezone())) {
        icalcomponent_add_property(m_calendar.get(),
                                   icalproperty_new_prodid("-//Kalendo//Kalendo//JA"));
        icalcomponent_add_property(m_calendar.get(), icalproperty_new_version("2.0"));
        icalcomponent_add_property(m_calendar.get(), icalproperty_new_calscale("GREGORIAN"));
        if (!m_tzid.isEmpty()) {
            // libical names its zones with a prefix of its own; other calendars know the plain
            // name, so the zone and every time that refers to it carry that.
            icalcomponent* definition = icalcomponent_new_clone(icaltimezone_get_component(zone));
            icalproperty_set_tzid(icalcomponent_get_first_property(definition, ICAL_TZID_PROPERTY),
                                  m_tzid.constData());
            icalcomponent_add_component(m_calendar.get(), definition);
        }
    }

    icalcomponent* add(const QByteArray& uid, const QByteArray& summary) {
        icalcomponent* event = icalcomponent_new_vevent();
        icalcomponent_set_uid(event, uid.constData());
        icalcomponent_add_property(event, icalproperty_new_dtstamp(m_stamp));
        icalcomponent_set_summary(event, summary.constData());
        icalcomponent_add_component(m_calendar.get(), event);
        return event;
    }

    void allDay(icalcomponent* event, const QDate& day) {
        icalcomponent_set_dtstart(event, dateValue(day));
        icalcomponent_set_dtend(event, dateValue(day.addDays(1)));
    }

    void timed(icalcomponent* event, const QDate& day, const QTime& start, const QTime& end) {
        addTime(event, icalproperty_new_dtstart(timeValue(day, start, m_zone)));
        // An entry without an end ends at its start; one that ends before it ends the next day.
        const QTime stop = end.isValid() ? end : start;
        addTime(event, icalproperty_new_dtend(
                           timeValue(stop < start ? day.addDays(1) : day, stop, m_zone)));
    }

    QByteArray text() const {
        char* raw = icalcomponent_as_ical_string_r(m_calendar.get());
        QByteArray out(raw);
        icalmemory_free_buffer(raw);
        return out;
    }

private:
    void addTime(icalcomponent* event, icalproperty* time) const {
        if (!m_tzid.isEmpty())
            icalproperty_add_parameter(time, icalparameter_new_tzid(m_tzid.constData()));
        icalcomponent_add_property(event, time);
    }

    IcalComponent m_calendar;
    icaltimezone* m_zone;
    QByteArray m_tzid;
    icaltimetype m_stamp;
};

void addSchedules(CalendarWriter& writer, UidMaker& uids, const TextLines& lines, int year,
                  IcsExportCounts& counts) {
    StringGrid rows;
    FillYearTable(lines, rows);
    for (int r = 0; r < rows.rowCount(); ++r) {
        const Row& row = rows.row(r);
        const QByteArray key = row.at(ScheduleColumn::Date).trimmed();
        const QDate day = QDate::fromString(QString::fromLatin1(key), QStringLiteral("yyyyMMdd"));
        const QByteArray title = row.at(ScheduleColumn::Title).trimmed();
        if (key.size() != 8 || !day.isValid() || day.year() != year || title.isEmpty()) {
            ++counts.skippedLines;
            continue;
        }
        icalcomponent* event = writer.add(
            uids("schedule", key + '/' + row.at(ScheduleColumn::Number).trimmed()), utf8(title));
        const QTime start = readTime(row.at(ScheduleColumn::Start));
        if (start.isValid())
            writer.timed(event, day, start, readTime(row.at(ScheduleColumn::End)));
        else
            writer.allDay(event, day);
        if (const QByteArray place = row.at(ScheduleColumn::Place).trimmed(); !place.isEmpty())
            icalcomponent_set_location(event, utf8(place).constData());
        if (const QByteArray memo = row.at(ScheduleColumn::Memo).trimmed(); !memo.isEmpty())
            icalcomponent_set_description(event, utf8(memo).constData());
        ++counts.schedules;
    }
}

// The holidays or events of a year as the month shows them, each item without its mark.
void addRuleDays(CalendarWriter& writer, UidMaker& uids, const YearTables& tables, int kind,
                 int& count) {
    const char* uidKind = kind == akHoliday ? "holiday" : "event";
    const char* category = kind == akHoliday ? "祝日" : "イベント";
    const int year = tables.year();
    for (QDate day(year, 1, 1); day.isValid() && day.year() == year; day = day.addDays(1)) {
        const QByteArray text =
            BuildDayAnnotation(tables, kind, kind, year, day.month(), day.day());
        if (text.isEmpty())
            continue;
        for (const QByteArray& item : text.split('\n')) {
            const QString title = Codec::toUnicode(item.endsWith('\r') ? item.chopped(1) : item);
            const QByteArray summary = title.mid(1).toUtf8(); // after the mark
            icalcomponent* event = writer.add(
                uids(uidKind, day.toString(Qt::ISODate).toLatin1() + '/' + summary), summary);
            writer.allDay(event, day);
            icalcomponent_add_property(event, icalproperty_new_categories(category));
            ++count;
        }
    }
}

void addAnniversaries(CalendarWriter& writer, UidMaker& uids, const TextLines& lines, int firstYear,
                      int lastYear, int& count) {
    for (const QByteArray& line : lines) {
        Row row(2);
        CommaLineToRow(line + ',', row);
        QDate date;
        try {
            date = AnniversaryDateFromText(row.at(0).trimmed());
        } catch (...) {
            continue; // a line the month cannot show either
        }
        const QByteArray title = row.at(1).trimmed();
        if (title.isEmpty())
            continue;
        icalcomponent* event = writer.add(uids("anniversary", line), utf8(title));
        writer.allDay(event, date);
        icalrecurrencetype yearly;
        icalrecurrencetype_clear(&yearly);
        yearly.freq = ICAL_YEARLY_RECURRENCE;
        icalcomponent_add_property(event, icalproperty_new_rrule(yearly));
        QStringList since;
        for (int year = firstYear; year <= lastYear; ++year)
            if (year >= date.year())
                since << QStringLiteral("%1年で%2年").arg(year).arg(year - date.year());
        QString description = date.toString(QStringLiteral("yyyy/MM/dd")) + QStringLiteral("から");
        if (!since.isEmpty())
            description +=
                QStringLiteral("（") + since.join(QStringLiteral("、")) + QStringLiteral("）");
        icalcomponent_set_description(event, description.toUtf8().constData());
        ++count;
    }
}

} // namespace

QByteArray BuildIcsCalendar(const QString& dataFolder, int firstYear, int lastYear,
                            const QByteArray& zoneId, IcsExportCounts* counts) {
    QByteArray id = zoneId;
    icaltimezone* zone = IcalZone(id);
    if (!zone)
        zone = IcalZone(id = "Asia/Tokyo");
    CalendarWriter writer(zone, id);
    UidMaker uids;
    IcsExportCounts done;
    YearTables tables;
    for (int year = firstYear; year <= lastYear; ++year) {
        BuildYearTables(tables, year, dataFolder);
        addSchedules(writer, uids, tables.YearSchedules(), year, done);
        addRuleDays(writer, uids, tables, akHoliday, done.holidays);
        addRuleDays(writer, uids, tables, akEvent, done.events);
        if (year == lastYear)
            addAnniversaries(writer, uids, tables.Anniversaries(), firstYear, lastYear,
                             done.anniversaries);
    }
    if (counts)
        *counts = done;
    return writer.text();
}

IcsExportCounts ExportIcsFile(const QString& path, const QString& dataFolder, int firstYear,
                              int lastYear, const QByteArray& zoneId) {
    IcsExportCounts counts;
    SaveExportFile(path, BuildIcsCalendar(dataFolder, firstYear, lastYear, zoneId, &counts));
    return counts;
}
