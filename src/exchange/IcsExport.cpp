#include "exchange/IcsExport.h"

#include "data/Codec.h"
#include "exchange/IcalHandle.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/EntryIdentity.h"
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

// libical names its zones with a prefix of its own; other calendars know the plain name, so the
// definition carries that, as every time that refers to it does.
icalcomponent* zoneDefinition(icaltimezone* zone, const QByteArray& tzid) {
    icalcomponent* definition = icalcomponent_new_clone(icaltimezone_get_component(zone));
    icalproperty_set_tzid(icalcomponent_get_first_property(definition, ICAL_TZID_PROPERTY),
                          tzid.constData());
    return definition;
}

void collectZoneIds(icalcomponent* component, QList<QByteArray>& ids) {
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY))
        if (icalparameter* tzid = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER))
            if (!ids.contains(icalparameter_get_tzid(tzid)))
                ids.append(icalparameter_get_tzid(tzid));
    for (icalcomponent* c = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT))
        if (icalcomponent_isa(c) != ICAL_VTIMEZONE_COMPONENT)
            collectZoneIds(c, ids);
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
        if (!m_tzid.isEmpty())
            icalcomponent_add_component(m_calendar.get(), zoneDefinition(zone, m_tzid));
    }

    icalcomponent* add(const QByteArray& uid, const QByteArray& summary) {
        icalcomponent* event = icalcomponent_new_vevent();
        icalcomponent_set_uid(event, uid.constData());
        icalcomponent_add_property(event, icalproperty_new_dtstamp(m_stamp));
        icalcomponent_set_summary(event, summary.constData());
        icalcomponent_add_component(m_calendar.get(), event);
        return event;
    }

    void allDay(icalcomponent* event, const QDate& day) { allDay(event, day, day); }
    void allDay(icalcomponent* event, const QDate& first, const QDate& last) {
        icalcomponent_set_dtstart(event, dateValue(first));
        icalcomponent_set_dtend(event, dateValue(last.addDays(1)));
    }

    // An entry without an end has no DTEND: a moment, not an hour (RFC 5545 3.6.1). One that
    // ends before it starts ends the next day, as the month shows it.
    void timed(icalcomponent* event, const QDate& day, const QTime& start, const QDate& lastDay,
               const QTime& end) {
        addTime(event, icalproperty_new_dtstart(timeValue(day, start, m_zone)));
        if (!end.isValid())
            return;
        const QDate endDay = lastDay == day && end < start ? day.addDays(1) : lastDay;
        addTime(event, icalproperty_new_dtend(timeValue(endDay, end, m_zone)));
    }

    icalcomponent* calendar() const { return m_calendar.get(); }

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

// A schedule entry as it is exported: one event, or the days of an imported event of several
// days joined again (the entries sharing a UID and RECURRENCE-ID).
struct ScheduleEvent {
    EntryIdentity identity;
    QDate firstDay;
    QDate lastDay;
    QTime start;
    QTime end; // of the last day
    QByteArray title;
    QByteArray place;
    QByteArray memo;
};

void collectSchedules(const QString& dataFolder, int year, QList<ScheduleEvent>& events,
                      QHash<QByteArray, qsizetype>& byIdentity, IcsExportCounts& counts) {
    const YearIdentities ids = YearIdentities::read(dataFolder, year);
    // The UIDs given now must be the ones the next export gives too.
    if (ids.changed())
        counts.messages << WriteYearIdentities(dataFolder, year, ids);
    for (qsizetype i = 0; i < ids.size(); ++i) {
        Row row(ScheduleColumn::Count);
        CommaLineToRow(ids.line(i) + ',', row);
        const QByteArray key = row.at(ScheduleColumn::Date).trimmed();
        const QDate day = QDate::fromString(QString::fromLatin1(key), QStringLiteral("yyyyMMdd"));
        const QByteArray title = row.at(ScheduleColumn::Title).trimmed();
        if (key.size() != 8 || !day.isValid() || day.year() != year || title.isEmpty()) {
            ++counts.skippedLines;
            continue;
        }
        const EntryIdentity& identity = ids.identity(i);
        const QTime start = readTime(row.at(ScheduleColumn::Start));
        const QTime end = readTime(row.at(ScheduleColumn::End));
        const QByteArray which = identity.uid + '\0' + identity.recurrenceId;
        if (const auto it = byIdentity.constFind(which); it != byIdentity.cend()) {
            ScheduleEvent& joined = events[*it];
            if (day > joined.lastDay) {
                joined.lastDay = day;
                joined.end = end;
                continue;
            }
        }
        byIdentity.insert(which, events.size());
        events << ScheduleEvent{identity,
                                day,
                                day,
                                start,
                                end,
                                title,
                                row.at(ScheduleColumn::Place).trimmed(),
                                row.at(ScheduleColumn::Memo).trimmed()};
        ++counts.schedules;
    }
}

// RECURRENCE-ID as the identity keeps it: a value, with "TZID=zone:" before it when zoned.
icalproperty* recurrenceIdProperty(const QByteArray& kept) {
    QByteArray value = kept;
    QByteArray tzid;
    if (kept.startsWith("TZID=") && kept.contains(':')) {
        tzid = kept.mid(5, kept.indexOf(':') - 5);
        value = kept.mid(kept.indexOf(':') + 1);
    }
    const icaltimetype at = icaltime_from_string(value.constData());
    if (icaltime_is_null_time(at))
        return nullptr;
    icalproperty* p = icalproperty_new_recurrenceid(at);
    if (!tzid.isEmpty())
        icalproperty_add_parameter(p, icalparameter_new_tzid(tzid.constData()));
    return p;
}

void addSchedules(CalendarWriter& writer, const QList<ScheduleEvent>& events) {
    for (const ScheduleEvent& e : events) {
        icalcomponent* event = writer.add(e.identity.uid, utf8(e.title));
        if (e.start.isValid())
            writer.timed(event, e.firstDay, e.start, e.lastDay, e.end);
        else
            writer.allDay(event, e.firstDay, e.lastDay);
        if (!e.place.isEmpty())
            icalcomponent_set_location(event, utf8(e.place).constData());
        if (!e.memo.isEmpty())
            icalcomponent_set_description(event, utf8(e.memo).constData());
        if (!e.identity.recurrenceId.isEmpty())
            if (icalproperty* id = recurrenceIdProperty(e.identity.recurrenceId))
                icalcomponent_add_property(event, id);
        if (e.identity.sequence > 0)
            icalcomponent_add_property(event, icalproperty_new_sequence(e.identity.sequence));
        if (e.identity.lastModified.isValid())
            icalcomponent_add_property(
                event, icalproperty_new_lastmodified(
                           icaltime_from_timet_with_zone(e.identity.lastModified.toSecsSinceEpoch(),
                                                         0, icaltimezone_get_utc_timezone())));
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

// An anniversary as other calendars keep a birthday: an all-day event every year from its date.
icalcomponent* addYearlyDay(CalendarWriter& writer, const QByteArray& uid, const QByteArray& title,
                            const QDate& date) {
    icalcomponent* event = writer.add(uid, utf8(title));
    writer.allDay(event, date);
    icalrecurrencetype yearly;
    icalrecurrencetype_clear(&yearly);
    yearly.freq = ICAL_YEARLY_RECURRENCE;
    icalcomponent_add_property(event, icalproperty_new_rrule(yearly));
    return event;
}

void addAnniversaries(CalendarWriter& writer, UidMaker& uids, const TextLines& lines, int firstYear,
                      int lastYear, int& count) {
    for (const QByteArray& line : lines) {
        Row row(2);
        CommaLineToRow(line + ',', row);
        QDate date;
        bool noYear = false;
        try {
            date = AnniversaryDayFromText(row.at(0), noYear);
        } catch (...) {
            continue; // a line the month cannot show either
        }
        const QByteArray title = row.at(1).trimmed();
        if (title.isEmpty())
            continue;
        icalcomponent* event = addYearlyDay(writer, uids("anniversary", line), title, date);
        ++count;
        if (noYear) {
            SetIcsYearOmitted(event, date.year());
            continue; // no years to count
        }
        QStringList since;
        for (int year = firstYear; year <= lastYear; ++year)
            if (year >= date.year())
                since << QStringLiteral("%1年で%2年").arg(year).arg(year - date.year());
        QString description = date.toString(QStringLiteral("yyyy/MM/dd")) + QStringLiteral("から");
        if (!since.isEmpty())
            description +=
                QStringLiteral("（") + since.join(QStringLiteral("、")) + QStringLiteral("）");
        icalcomponent_set_description(event, description.toUtf8().constData());
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
    QList<ScheduleEvent> schedules;
    QHash<QByteArray, qsizetype> byIdentity;
    for (int year = firstYear; year <= lastYear; ++year)
        collectSchedules(dataFolder, year, schedules, byIdentity, done);
    addSchedules(writer, schedules);
    for (int year = firstYear; year <= lastYear; ++year) {
        BuildYearTables(tables, year, dataFolder);
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

namespace {

icaltimezone* exportZone(QByteArray& zoneId) {
    icaltimezone* zone = IcalZone(zoneId);
    return zone ? zone : IcalZone(zoneId = "Asia/Tokyo");
}

ScheduleEvent scheduleEvent(const QByteArray& uid, const QDate& day, const DayEntry& entry) {
    EntryIdentity identity;
    identity.uid = uid;
    return {identity,
            day,
            day,
            readTime(entry.start),
            readTime(entry.end),
            entry.title.trimmed(),
            entry.place.trimmed(),
            entry.memo.trimmed()};
}

} // namespace

QByteArray BuildIcsEvent(const QByteArray& uid, const QDate& day, const DayEntry& entry,
                         const QByteArray& zoneId) {
    QByteArray id = zoneId;
    CalendarWriter writer(exportZone(id), id);
    addSchedules(writer, {scheduleEvent(uid, day, entry)});
    return writer.text();
}

void SetIcsYearOmitted(icalcomponent* event, std::optional<int> year) {
    icalproperty* start = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    if (!start)
        return;
    for (icalparameter* p = icalproperty_get_first_parameter(start, ICAL_X_PARAMETER); p;) {
        icalparameter* next = icalproperty_get_next_parameter(start, ICAL_X_PARAMETER);
        if (const char* name = icalparameter_get_xname(p); name && qstricmp(name, IcsOmitYear) == 0)
            icalproperty_remove_parameter_by_ref(start, p);
        p = next;
    }
    if (year) {
        icalparameter* p = icalparameter_new_x(QByteArray::number(*year).constData());
        icalparameter_set_xname(p, IcsOmitYear);
        icalproperty_add_parameter(start, p);
    }
}

QByteArray BuildIcsAnniversary(const QByteArray& uid, const QDate& date, bool noYear,
                               const QByteArray& title) {
    QByteArray id = "UTC";
    CalendarWriter writer(icaltimezone_get_utc_timezone(), id);
    icalcomponent* event = addYearlyDay(writer, uid, title, date);
    if (noYear)
        SetIcsYearOmitted(event, date.year());
    icalcomponent_add_property(event, icalproperty_new_transp(ICAL_TRANSP_TRANSPARENT));
    icalproperty* mark = icalproperty_new_x("ANNIVERSARY");
    icalproperty_set_x_name(mark, IcsAnniversaryMark);
    icalcomponent_add_property(event, mark);
    return writer.text();
}

void SetIcsEntryTimes(icalcomponent* event, const QDate& day, const QByteArray& start,
                      const QByteArray& end, const QByteArray& zoneId) {
    // The times as an export writes them, moved over from an event written for the purpose.
    QByteArray id = zoneId;
    CalendarWriter writer(exportZone(id), id);
    addSchedules(writer, {scheduleEvent("times", day, {start, end, "-", {}, {}})});
    icalcomponent* model =
        icalcomponent_get_first_component(writer.calendar(), ICAL_VEVENT_COMPONENT);
    for (const icalproperty_kind kind :
         {ICAL_DTSTART_PROPERTY, ICAL_DTEND_PROPERTY, ICAL_DURATION_PROPERTY}) {
        while (icalproperty* p = icalcomponent_get_first_property(event, kind)) {
            icalcomponent_remove_property(event, p);
            icalproperty_free(p);
        }
        for (icalproperty* p = icalcomponent_get_first_property(model, kind); p;
             p = icalcomponent_get_next_property(model, kind))
            icalcomponent_add_property(event, icalproperty_new_clone(p));
    }
    icalcomponent* calendar = icalcomponent_get_parent(event);
    icalcomponent* zone =
        icalcomponent_get_first_component(writer.calendar(), ICAL_VTIMEZONE_COMPONENT);
    if (calendar && zone && readTime(start).isValid() &&
        !icalcomponent_get_timezone(calendar, id.constData()))
        icalcomponent_add_component(calendar, icalcomponent_new_clone(zone));
}

void AddIcsZoneDefinitions(icalcomponent* calendar) {
    QList<QByteArray> ids;
    collectZoneIds(calendar, ids);
    for (const QByteArray& id : std::as_const(ids)) {
        icaltimezone* zone = IcalZone(id);
        if (zone && zone != icaltimezone_get_utc_timezone() &&
            !icalcomponent_get_timezone(calendar, id.constData()))
            icalcomponent_add_component(calendar, zoneDefinition(zone, id));
    }
}
