#include "exchange/IcsImport.h"

#include "data/Codec.h"
#include "data/CsvLine.h"
#include "data/KalendoError.h"
#include "exchange/IcalHandle.h"
#include "exchange/IcsExport.h"
#include "exchange/TextFit.h"
#include "rules/ComType.h"
#include "rules/ListFile.h"
#include "rules/YearFileEdit.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QTimeZone>

#include <algorithm>

namespace {

// Sanity limits against a calendar that never ends: occurrences looked at and taken per event
// (a daily event over ten years), and the days one occurrence may cover; for the whole file, the
// rules' steps, the entries listed, and, checked before libical builds its tree, the components
// and how deep they nest (a calendar holds events, an event alarms).
constexpr int MaxOccurrences = 200000;
constexpr int MaxOccurrencesTaken = 3660;
constexpr int MaxDaysPerEvent = 366;
constexpr qint64 MaxStepsPerFile = 2000000;
constexpr int MaxItemsPerFile = 50000;
constexpr int MaxComponents = 100000;
constexpr int MaxDepth = 8;
// The years the calendar shows: nothing is written outside them.
constexpr int FirstYear = 1980;
constexpr int LastYear = 2099;

// Refuses a text whose components are too many or nest too deep, before libical reads it: its
// tree would take memory without bound, and freeing a deep one overflows the stack.
void checkStructure(const QByteArray& ics) {
    int depth = 0;
    int components = 0;
    qsizetype at = 0;
    while (at < ics.size()) {
        qsizetype end = ics.indexOf('\n', at);
        if (end < 0)
            end = ics.size();
        const QByteArrayView line = QByteArrayView(ics).sliced(at, end - at);
        at = end + 1;
        if (line.size() >= 6 && qstrnicmp(line.data(), "BEGIN:", 6) == 0) {
            if (++depth > MaxDepth)
                throw KalendoError(QStringLiteral("入れ子が深すぎるため読み込めません"));
            if (++components > MaxComponents)
                throw KalendoError(QStringLiteral("予定が多すぎるため読み込めません（上限 %1件）")
                                       .arg(MaxComponents));
        } else if (line.size() >= 4 && qstrnicmp(line.data(), "END:", 4) == 0) {
            depth = std::max(0, depth - 1);
        }
    }
}

// Where a zone's VTIMEZONE begins: its earliest observance, as a wall time of the zone.
class ZoneStarts {
public:
    void clear() { m_starts.clear(); }
    icaltimetype of(icaltimezone* zone) {
        if (const auto it = m_starts.constFind(zone); it != m_starts.cend())
            return *it;
        icaltimetype first = icaltime_null_time();
        icalcomponent* definition = icaltimezone_get_component(zone);
        for (icalcomponent* c =
                 definition ? icalcomponent_get_first_component(definition, ICAL_ANY_COMPONENT)
                            : nullptr;
             c; c = icalcomponent_get_next_component(definition, ICAL_ANY_COMPONENT)) {
            icaltimetype start = icalcomponent_get_dtstart(c);
            start.zone = nullptr;
            if (!icaltime_is_null_time(start) &&
                (icaltime_is_null_time(first) || icaltime_compare(start, first) < 0))
                first = start;
        }
        m_starts.insert(zone, first);
        return first;
    }

private:
    QHash<const icaltimezone*, icaltimetype> m_starts;
};
ZoneStarts zoneStarts;

// A moment as the importer compares it: a date alone, or a second since the epoch.
struct Moment {
    bool isDate = false;
    QDate date;
    qint64 seconds = 0;
    bool operator==(const Moment&) const = default;
};
size_t qHash(const Moment& m, size_t seed = 0) {
    return m.isDate ? qHashMulti(seed, 1, m.date.toJulianDay()) : qHashMulti(seed, 0, m.seconds);
}

QDate dateOf(const icaltimetype& t) {
    return QDate(t.year, t.month, t.day);
}

// The local wall time of a date-time; a floating time (no zone) is local as it stands. A time
// before its VTIMEZONE begins (generators write only the recent rules) is read in the zone the
// system knows by the same name, when it knows one: the VTIMEZONE says nothing of that time.
QDateTime localTime(const icaltimetype& t, const QTimeZone& zone) {
    const QTime wall(t.hour, t.minute, t.second);
    if (!t.zone)
        return QDateTime(dateOf(t), wall, zone);
    if (!icaltime_is_utc(t)) {
        icaltimetype plain = t;
        plain.zone = nullptr;
        const icaltimetype first = zoneStarts.of(const_cast<icaltimezone*>(t.zone));
        if (!icaltime_is_null_time(first) && icaltime_compare(plain, first) < 0) {
            const char* tzid = icaltimezone_get_tzid(const_cast<icaltimezone*>(t.zone));
            const QByteArray name(tzid ? tzid : "");
            if (!name.isEmpty() && QTimeZone::isTimeZoneIdAvailable(name))
                return QDateTime(dateOf(t), wall, QTimeZone(name)).toTimeZone(zone);
        }
    }
    return QDateTime::fromSecsSinceEpoch(icaltime_as_timet_with_zone(t, t.zone), zone);
}

Moment momentOf(const icaltimetype& t, const QTimeZone& zone) {
    if (t.is_date)
        return {true, dateOf(t), 0};
    return {false, QDate(), localTime(t, zone).toSecsSinceEpoch()};
}

// A date-time of a property in the zone its TZID names, looked up as libical does for DTSTART:
// the calendar's VTIMEZONE, else the zone known by that name.
icaltimetype inZoneOf(icalproperty* property, icalcomponent* event, icaltimetype at) {
    const char* tzid = icalproperty_get_parameter_as_string(property, "TZID");
    if (at.is_date || icaltime_is_utc(at) || !tzid)
        return at;
    icaltimezone* zone = nullptr;
    for (icalcomponent* c = event; c && !zone; c = icalcomponent_get_parent(c))
        zone = icalcomponent_get_timezone(c, tzid);
    if (!zone)
        zone = icaltimezone_get_builtin_timezone_from_tzid(tzid);
    if (!zone)
        zone = icaltimezone_get_builtin_timezone(tzid);
    return zone ? icaltime_set_timezone(&at, zone) : at;
}

QString textOf(const char* utf8) {
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

bool isOwnNonEntry(const char* uid) {
    const QByteArray id(uid ? uid : "");
    return id.endsWith(KalendoUidSuffix) &&
           (id.startsWith("holiday-") || id.startsWith("event-") || id.startsWith("anniversary-"));
}

// An occurrence's RECURRENCE-ID as EntryIdentity keeps it: its value, after "TZID=zone:" when
// the series' start names a zone.
QByteArray recurrenceIdText(const icaltimetype& at, const char* tzid) {
    icaltimetype value = at;
    if (tzid && !at.is_date && !icaltime_is_utc(at))
        value.zone = nullptr; // the wall time in the named zone, as the series writes it
    const QByteArray text(icaltime_as_ical_string(value));
    return tzid && !at.is_date && !icaltime_is_utc(at) ? "TZID=" + QByteArray(tzid) + ':' + text
                                                       : text;
}

QDateTime utcOf(const icaltimetype& t) {
    if (icaltime_is_null_time(t))
        return {};
    return QDateTime::fromSecsSinceEpoch(
        icaltime_as_timet_with_zone(t, t.zone ? t.zone : icaltimezone_get_utc_timezone()),
        QTimeZone::utc());
}

// The event's UID, RECURRENCE-ID as written, SEQUENCE and LAST-MODIFIED (else DTSTAMP).
EntryIdentity identityOf(icalcomponent* event) {
    EntryIdentity id;
    if (const char* uid = icalcomponent_get_uid(event))
        id.uid = QByteArray(uid).trimmed();
    if (id.uid.isEmpty())
        return id;
    if (icalproperty* p = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY))
        id.recurrenceId = recurrenceIdText(icalproperty_get_recurrenceid(p),
                                           icalproperty_get_parameter_as_string(p, "TZID"));
    id.sequence = std::max(0, icalcomponent_get_sequence(event));
    if (icalproperty* p = icalcomponent_get_first_property(event, ICAL_LASTMODIFIED_PROPERTY))
        id.lastModified = utcOf(icalproperty_get_lastmodified(p));
    if (!id.lastModified.isValid())
        id.lastModified = utcOf(icalcomponent_get_dtstamp(event));
    return id;
}

QList<icalcomponent*> eventsOf(icalcomponent* root) {
    QList<icalcomponent*> calendars;
    if (icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT)
        calendars << root;
    for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT); c;
         c = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT))
        calendars << c;
    QList<icalcomponent*> events;
    for (icalcomponent* calendar : calendars)
        for (icalcomponent* e = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
             e; e = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT))
            events << e;
    return events;
}

// Where one occurrence of an event starts and ends, in its own zone.
struct Occurrence {
    icaltimetype start;
    icaltimetype end;
};

class Planner {
public:
    Planner(const QString& dataFolder, const IcsImportOptions& options)
        : m_folder(dataFolder), m_options(options), m_zone(options.zoneId) {
        if (!m_zone.isValid())
            m_zone = QTimeZone::systemTimeZone();
    }

    IcsImportPlan plan(const QByteArray& ics);

private:
    void addEvent(icalcomponent* event, const QSet<Moment>& replaced);
    void addOccurrence(const Occurrence& occurrence, const IcsImportItem& model);
    void addDay(const QDate& day, const QByteArray& start, const QByteArray& end,
                IcsImportItem item);
    void markDuplicates();
    // Items of a UID and RECURRENCE-ID already stored: Update or Exists.
    bool matchByIdentity();
    const QSet<QByteArray>& stored(const QDate& day);
    const YearIdentities& identities(int year);

    QString m_folder;
    IcsImportOptions m_options;
    QTimeZone m_zone;
    IcsImportPlan m_plan;
    // Per year: the entries already stored, as day key + start + end + title.
    QHash<int, QHash<QByteArray, QSet<QByteArray>>> m_stored;
    QHash<int, YearIdentities> m_identities;
    // Rule steps taken for the whole file.
    qint64 m_steps = 0;
};

QByteArray entryKey(const QByteArray& start, const QByteArray& end, const QByteArray& title) {
    return start + '\0' + end + '\0' + title;
}

QByteArray dayKey(const QDate& day) {
    return day.toString(QStringLiteral("yyyyMMdd")).toLatin1();
}

const QSet<QByteArray>& Planner::stored(const QDate& day) {
    auto year = m_stored.find(day.year());
    if (year == m_stored.end()) {
        year = m_stored.insert(day.year(), {});
        StringGrid rows;
        FillYearTable(LoadTextLines(ScheduleFilePath(m_folder, day.year())), rows);
        for (int r = 0; r < rows.rowCount(); ++r) {
            const Row& row = rows.row(r);
            (*year)[row.at(ScheduleColumn::Date).trimmed()].insert(entryKey(
                row.at(ScheduleColumn::Start).trimmed(), row.at(ScheduleColumn::End).trimmed(),
                row.at(ScheduleColumn::Title).trimmed()));
        }
    }
    static const QSet<QByteArray> none;
    const auto it = year->constFind(dayKey(day));
    return it == year->cend() ? none : *it;
}

IcsImportPlan Planner::plan(const QByteArray& ics) {
    icalerror_set_errors_are_fatal(0);
    checkStructure(ics);
    zoneStarts.clear();
    IcalComponent root(icalparser_parse_string(ics.constData()));
    const QList<icalcomponent*> events = root ? eventsOf(root.get()) : QList<icalcomponent*>();
    if (!root || (events.isEmpty() && icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT &&
                  !icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT)))
        throw KalendoError(QStringLiteral("iCalendar形式のファイルとして読めません"));

    // Occurrences that another VEVENT of the same UID replaces (or cancels).
    QHash<QByteArray, QSet<Moment>> replaced;
    for (icalcomponent* event : events) {
        // In the zone its TZID names (Google, Thunderbird and Apple write it so), not as local.
        icalproperty* id = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
        if (id && !icaltime_is_null_time(icalproperty_get_recurrenceid(id)))
            replaced[QByteArray(icalcomponent_get_uid(event))].insert(
                momentOf(inZoneOf(id, event, icalproperty_get_recurrenceid(id)), m_zone));
    }
    for (icalcomponent* event : events) {
        const char* uid = icalcomponent_get_uid(event);
        if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED || isOwnNonEntry(uid) ||
            m_plan.items.size() >= MaxItemsPerFile || m_steps >= MaxStepsPerFile) {
            ++m_plan.ignoredEvents;
            continue;
        }
        addEvent(event, replaced.value(QByteArray(uid ? uid : "")));
    }
    if (m_plan.items.isEmpty() && m_plan.ignoredEvents < events.size() && m_plan.limits.isEmpty())
        m_plan.limits << QStringLiteral("%1年から%2年までに当たる予定はありません")
                             .arg(m_options.firstYear)
                             .arg(m_options.lastYear);
    if (m_plan.items.size() >= MaxItemsPerFile || m_steps >= MaxStepsPerFile)
        m_plan.limits << QStringLiteral("予定が多すぎるため、%1件までを読み込みます")
                             .arg(m_plan.items.size());
    std::stable_sort(m_plan.items.begin(), m_plan.items.end(),
                     [](const IcsImportItem& a, const IcsImportItem& b) {
                         return a.day != b.day ? a.day < b.day : a.entry.start < b.entry.start;
                     });
    if (!m_folder.isEmpty())
        markDuplicates();
    return m_plan;
}

// The trigger of the event's first alarm that goes off a time before its start ("-PT15M"), which
// becomes the entry's own reminder lead time; empty when it has none. An all-day event's alarm
// may also go off during its day ("PT9H": at 9:00).
QByteArray relativeAlarm(icalcomponent* event, bool allDay) {
    for (icalcomponent* alarm = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT);
         alarm; alarm = icalcomponent_get_next_component(event, ICAL_VALARM_COMPONENT)) {
        icalproperty* trigger = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
        if (!trigger)
            continue;
        const char* related = icalproperty_get_parameter_as_string(trigger, "RELATED");
        const icaltriggertype when = icalproperty_get_trigger(trigger);
        if (!icaltime_is_null_time(when.time) || (related && qstrcmp(related, "END") == 0) ||
            icaldurationtype_as_int(when.duration) > (allDay ? 24 * 3600 - 1 : 0))
            continue;
        return QByteArray(icaldurationtype_as_ical_string(when.duration));
    }
    return {};
}

void Planner::addEvent(icalcomponent* event, const QSet<Moment>& replaced) {
    const icaltimetype start = icalcomponent_get_dtstart(event);
    if (icaltime_is_null_time(start) || !dateOf(start).isValid()) {
        ++m_plan.ignoredEvents;
        return;
    }
    icaltimetype end = icalcomponent_get_dtend(event);
    if (icaltime_is_null_time(end))
        end = start.is_date ? icaltime_add(start, icaldurationtype_from_int(24 * 3600)) : start;
    const int length = icaldurationtype_as_int(icaltime_subtract(end, start));

    // What every occurrence shares: who it is, the texts, fitted.
    IcsImportItem model;
    model.identity = identityOf(event);
    QString title = textOf(icalcomponent_get_summary(event)).trimmed();
    if (title.isEmpty()) {
        title = QStringLiteral("（無題）");
        model.notes << QStringLiteral("予定がないため「（無題）」");
        model.inexact = true;
    }
    const FittedText fitted[] = {
        FitToCp932(title, ScheduleFieldBytes::Title),
        FitToCp932(textOf(icalcomponent_get_location(event)), ScheduleFieldBytes::Place),
        FitToCp932(textOf(icalcomponent_get_description(event)), ScheduleFieldBytes::Memo)};
    const char* const fieldNames[] = {"予定", "場所", "内容"};
    QStringList lost;
    QSet<QString> lostSeen;
    int moreLost = 0; // past the few a note names
    for (int i = 0; i < 3; ++i) {
        model.inexact = model.inexact || fitted[i].lossy;
        for (const QString& change : fitted[i].changes)
            model.notes << QString::fromUtf8(fieldNames[i]) + QStringLiteral(": ") + change;
        for (const QString& c : fitted[i].unencodable) {
            if (lostSeen.contains(c))
                continue;
            lostSeen.insert(c);
            if (lost.size() < 10)
                lost << c;
            else
                ++moreLost;
        }
    }
    model.entry.title = fitted[0].bytes;
    model.entry.place = fitted[1].bytes;
    model.entry.memo = fitted[2].bytes;
    if (const QByteArray alarm = relativeAlarm(event, start.is_date); !alarm.isEmpty())
        model.identity.properties.insert(QByteArrayLiteral("ALARM"), alarm);
    if (!lost.isEmpty()) {
        // The code point too: a font may have no picture for the character.
        QString chars;
        for (const QString& c : lost)
            chars += QStringLiteral("「%1」(U+%2)")
                         .arg(c, QString::number(c.toUcs4().value(0), 16).toUpper());
        if (moreLost > 0)
            chars += QStringLiteral("ほか%1文字").arg(moreLost);
        if (m_options.dropUnencodable) {
            model.notes << chars + QStringLiteral("を除いて追加");
        } else {
            model.state = IcsImportItem::Refused;
            model.notes << chars + QStringLiteral("は保存できません");
        }
    }
    if (model.entry.title.isEmpty() && model.state != IcsImportItem::Refused) {
        model.state = IcsImportItem::Refused;
        model.notes << QStringLiteral("予定が空になります");
    }

    // The occurrences: DTSTART and the rule's (a rule gives DTSTART itself), and the RDATEs,
    // less the EXDATEs and the occurrences other VEVENTs replace; each once.
    icalproperty* rule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
    if (rule && icalproperty_get_rrule(rule).freq < ICAL_DAILY_RECURRENCE) {
        // Every hour, minute or second: no schedule of days, and libical may search a rule no
        // moment fits for centuries of seconds.
        ++m_plan.ignoredEvents;
        const QString why = QStringLiteral("時・分・秒ごとの繰り返しは読み込みません");
        if (!m_plan.limits.contains(why))
            m_plan.limits << why;
        return;
    }
    const bool moved = !icaltime_is_null_time(icalcomponent_get_recurrenceid(event));
    if (moved || (!rule && !icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY))) {
        addOccurrence({start, end}, model);
        return;
    }
    QSet<Moment> skip = replaced;
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY))
        skip.insert(momentOf(icalproperty_get_datetime_with_component(p, event), m_zone));
    const QDate first(m_options.firstYear, 1, 1);
    const QDate last(m_options.lastYear, 12, 31);
    const char* const startZone = icalproperty_get_parameter_as_string(
        icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY), "TZID");
    int taken = 0;
    // An occurrence considered: on to the next, past the last day asked for, or the last taken.
    enum class Took { Next, PastLast, Enough };
    const auto take = [&](const icaltimetype& at, int seconds) {
        const QDate day = at.is_date ? dateOf(at) : localTime(at, m_zone).date();
        if (day > last)
            return Took::PastLast;
        const Moment moment = momentOf(at, m_zone);
        if (day < first || skip.contains(moment))
            return Took::Next;
        skip.insert(moment);
        if ((++taken > MaxOccurrencesTaken || m_plan.items.size() >= MaxItemsPerFile) &&
            !m_plan.items.isEmpty()) {
            m_plan.items.last().notes
                << QStringLiteral("繰り返しが多すぎるため以降は読み込みません");
            const QString why =
                QStringLiteral("「%1」は繰り返しが多すぎるため、%2以降を読み込みません")
                    .arg(Codec::toUnicode(model.entry.title),
                         m_plan.items.last().day.toString(QStringLiteral("yyyy/MM/dd")));
            m_plan.limits << why;
            return Took::Enough;
        }
        IcsImportItem occurrence = model;
        if (!model.identity.uid.isEmpty())
            occurrence.identity.recurrenceId = recurrenceIdText(at, startZone);
        addOccurrence({at, icaltime_add(at, icaldurationtype_from_int(seconds))}, occurrence);
        return Took::Next;
    };
    if (rule) {
        icalrecur_iterator* it = icalrecur_iterator_new(icalproperty_get_rrule(rule), start);
        if (!it) {
            ++m_plan.ignoredEvents;
            return;
        }
        // A rule's occurrences come in order: the first past the last day ends them.
        Took took = Took::Next;
        for (int n = 0; n < MaxOccurrences && took == Took::Next && m_steps < MaxStepsPerFile;
             ++n, ++m_steps) {
            const icaltimetype at = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(at))
                break;
            took = take(at, length);
        }
        icalrecur_iterator_free(it);
        if (took == Took::Enough)
            return;
    } else if (take(start, length) == Took::Enough) {
        return;
    }
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype value = icalproperty_get_rdate(p);
        icaltimetype at = value.time;
        int seconds = length;
        if (icaltime_is_null_time(at)) {
            // A period: its own length.
            at = value.period.start;
            seconds = icaltime_is_null_time(value.period.end)
                          ? icaldurationtype_as_int(value.period.duration)
                          : icaldurationtype_as_int(icaltime_subtract(value.period.end, at));
        }
        if (icaltime_is_null_time(at) || !dateOf(at).isValid())
            continue;
        if (take(inZoneOf(p, event, at), std::max(0, seconds)) == Took::Enough)
            break;
    }
}

void Planner::addOccurrence(const Occurrence& occurrence, const IcsImportItem& model) {
    if (occurrence.start.is_date) {
        const QDate from = dateOf(occurrence.start);
        const qint64 days = std::max<qint64>(1, from.daysTo(dateOf(occurrence.end)));
        for (qint64 d = 0; d < std::min<qint64>(days, MaxDaysPerEvent); ++d)
            addDay(from.addDays(d), {}, {}, model);
        return;
    }
    const QDateTime from = localTime(occurrence.start, m_zone);
    const QDateTime to = std::max(from, localTime(occurrence.end, m_zone));
    const auto hhmm = [](const QDateTime& t) {
        return t.time().toString(QStringLiteral("HH:mm")).toLatin1();
    };
    // The days the event touches; one that ends at midnight does not touch the next day.
    const QDate lastDay = to > from ? to.addSecs(-1).date() : from.date();
    const qint64 days = std::min<qint64>(from.date().daysTo(lastDay), MaxDaysPerEvent - 1);
    if (days == 0) {
        addDay(from.date(), hhmm(from),
               to.date() == from.date() && to > from ? hhmm(to) : QByteArray(), model);
        return;
    }
    if (m_options.overnightAsOne && days == 1 && from.secsTo(to) < 24 * 3600) {
        // Overnight, under a day: one entry that ends before it starts, as Kalendo writes one.
        addDay(from.date(), hhmm(from), hhmm(to), model);
        return;
    }
    addDay(from.date(), hhmm(from), {}, model);
    for (qint64 d = 1; d < days; ++d)
        addDay(from.date().addDays(d), {}, {}, model);
    addDay(lastDay, "00:00", hhmm(to), model);
}

void Planner::addDay(const QDate& day, const QByteArray& start, const QByteArray& end,
                     IcsImportItem item) {
    if (!day.isValid() || day.year() < FirstYear || day.year() > LastYear)
        return;
    item.day = day;
    item.entry.start = start;
    item.entry.end = end;
    m_plan.items << item;
}

QByteArray timeText(const QByteArray& start, const QByteArray& end) {
    if (start.isEmpty())
        return end.isEmpty() ? QByteArray("終日") : "–" + end;
    return end.isEmpty() ? start : start + "–" + end;
}

// What an update changes, in the user's words: "10:00→11:00", "2025/03/07→2025/03/08"…
QStringList changesTo(const Row& was, const IcsImportItem& item) {
    using namespace ScheduleColumn;
    QStringList out;
    if (was[Date] != dayKey(item.day))
        out << QString::fromLatin1(was[Date]) + QStringLiteral("→") +
                   item.day.toString(QStringLiteral("yyyyMMdd"));
    const QByteArray before = timeText(was[Start], was[End]);
    const QByteArray after = timeText(item.entry.start, item.entry.end);
    if (before != after)
        out << QString::fromUtf8(before + "→" + after);
    if (was[Title] != item.entry.title)
        out << QStringLiteral("予定「%1」→「%2」")
                   .arg(Codec::toUnicode(was[Title]), Codec::toUnicode(item.entry.title));
    if (was[Place] != item.entry.place)
        out << QStringLiteral("場所「%1」→「%2」")
                   .arg(Codec::toUnicode(was[Place]), Codec::toUnicode(item.entry.place));
    if (was[Memo] != item.entry.memo)
        out << QStringLiteral("内容を変更");
    return out;
}

const YearIdentities& Planner::identities(int year) {
    auto it = m_identities.find(year);
    if (it == m_identities.end())
        it = m_identities.insert(year, YearIdentities::read(m_folder, year));
    return *it;
}

bool Planner::matchByIdentity() {
    // The stored entries of the years the file and the options touch, by UID and RECURRENCE-ID.
    QSet<int> years;
    for (int y = m_options.firstYear; y <= m_options.lastYear; ++y)
        years.insert(y);
    for (const IcsImportItem& item : m_plan.items)
        years.insert(item.day.year());
    struct Stored {
        int year;
        QByteArray line;
        EntryIdentity identity;
    };
    QHash<QByteArray, QList<Stored>> stored;
    QList<int> ordered(years.begin(), years.end());
    std::sort(ordered.begin(), ordered.end());
    for (int year : ordered) {
        const YearIdentities& ids = identities(year);
        for (qsizetype i = 0; i < ids.size(); ++i)
            stored[ids.identity(i).uid + '\0' + ids.identity(i).recurrenceId]
                << Stored{year, ids.line(i), ids.identity(i)};
    }
    if (stored.isEmpty())
        return false;
    QHash<QByteArray, QList<IcsImportItem*>> groups;
    for (IcsImportItem& item : m_plan.items)
        if (!item.identity.uid.isEmpty())
            groups[item.identity.uid + '\0' + item.identity.recurrenceId] << &item;
    for (auto g = groups.begin(); g != groups.end(); ++g) {
        const auto found = stored.constFind(g.key());
        if (found == stored.cend())
            continue;
        const QList<Stored>& was = *found;
        const EntryIdentity& file = g->first()->identity;
        const EntryIdentity& here = was.first().identity;
        const bool newer = file.sequence != here.sequence
                               ? file.sequence > here.sequence
                               : file.lastModified.isValid() && here.lastModified.isValid() &&
                                     file.lastModified > here.lastModified;
        QList<QStringList> changes;
        bool differs = g->size() != was.size();
        for (qsizetype i = 0; i < g->size(); ++i) {
            changes << (i < was.size() ? changesTo(EntryCells(was.at(i).line), *g->at(i))
                                       : QStringList());
            differs = differs || !changes.last().isEmpty();
        }
        for (qsizetype i = 0; i < g->size(); ++i) {
            IcsImportItem& item = *g->at(i);
            item.matched = true;
            if (item.state == IcsImportItem::Refused)
                continue;
            if (!differs) {
                item.state = IcsImportItem::Exists;
                item.notes << QStringLiteral("すでに登録されています");
            } else if (!newer) {
                item.state = IcsImportItem::Exists;
                item.notes << QStringLiteral("登録済みの予定の方が新しいため変更しません");
            } else {
                item.state = i < was.size() ? IcsImportItem::Update : IcsImportItem::Add;
                if (i < was.size()) {
                    item.storedYear = was.at(i).year;
                    item.storedLine = was.at(i).line;
                }
                item.notes << changes.at(i);
            }
        }
        if (newer && differs)
            for (qsizetype i = g->size(); i < was.size(); ++i)
                m_plan.replacedLines << qMakePair(was.at(i).year, was.at(i).line);
    }
    return true;
}

void Planner::markDuplicates() {
    matchByIdentity();
    QHash<QByteArray, QSet<QByteArray>> seen;
    for (IcsImportItem& item : m_plan.items) {
        if (item.state == IcsImportItem::Refused || item.matched)
            continue;
        const QByteArray key = entryKey(item.entry.start, item.entry.end, item.entry.title);
        if (stored(item.day).contains(key)) {
            item.state = IcsImportItem::Exists;
            item.notes << QStringLiteral("すでに登録されています");
        } else if (seen[dayKey(item.day)].contains(key)) {
            item.state = IcsImportItem::Exists;
            item.notes << QStringLiteral("同じ予定がファイル内で重複しています");
        } else {
            seen[dayKey(item.day)].insert(key);
        }
    }
}

} // namespace

int IcsImportPlan::count(IcsImportItem::State state) const {
    return int(std::count_if(items.begin(), items.end(),
                             [state](const IcsImportItem& i) { return i.state == state; }));
}

IcsText DecodeIcsBytes(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString asUtf8 = utf8.decode(bytes);
    if (!utf8.hasError())
        return {bytes, QStringLiteral("UTF-8")};
    // Code page 932 shows a byte it cannot read as U+001A: a file with none is that encoding.
    const QString asCp932 = Codec::toUnicode(bytes);
    if (!bytes.contains('\x1A') && !asCp932.contains(QChar(0x1A)))
        return {asCp932.toUtf8(), QStringLiteral("Shift_JIS")};
    return {bytes, QStringLiteral("UTF-8")};
}

IcsImportPlan PlanIcsImport(const QByteArray& ics, const QString& dataFolder,
                            const IcsImportOptions& options) {
    return Planner(dataFolder, options).plan(ics);
}

QStringList ApplyIcsImport(const IcsImportPlan& plan, const QString& dataFolder) {
    // Per year: the entries to add (or to put in an older entry's place) and the lines to go.
    struct YearChanges {
        QList<const IcsImportItem*> add;
        QList<const IcsImportItem*> replace; // stored here, updated
        TextLines remove;
    };
    QMap<int, YearChanges> byYear;
    for (const IcsImportItem& item : plan.items) {
        if (item.state == IcsImportItem::Add) {
            byYear[item.day.year()].add << &item;
        } else if (item.state == IcsImportItem::Update) {
            byYear[item.storedYear].replace << &item;
            byYear[item.day.year()];
        }
    }
    for (const auto& [year, line] : plan.replacedLines)
        byYear[year].remove << line;

    // Updates moved to another day, by the year they now belong to.
    QMap<int, QList<const IcsImportItem*>> moved;
    for (auto it = byYear.cbegin(); it != byYear.cend(); ++it)
        for (const IcsImportItem* item : it->replace)
            if (EntryCells(item->storedLine).at(ScheduleColumn::Date) != dayKey(item->day))
                moved[item->day.year()] << item;
    const auto edit = [&](int year, YearRows& file) {
        const YearChanges& changes = byYear[year];
        QList<Row>& rows = file.rows;
        QList<const IcsImportItem*> rowItems(rows.size(), nullptr);
        const auto indexOf = [&](const QByteArray& line) {
            Row cells(ScheduleColumn::Count);
            CommaLineToRow(line + ',', cells);
            for (qsizetype r = 0; r < rows.size(); ++r)
                if (rows.at(r) == cells && !rowItems.at(r))
                    return r;
            return qsizetype(-1);
        };
        const auto entryRow = [](const QByteArray& key, const QByteArray& number,
                                 const DayEntry& e) {
            return Row{key, number, e.start, e.end, e.title, e.place, e.memo};
        };
        // Updates whose stored line is gone (changed by hand since the preview) are added beside
        // it; those moved to another day are added there already.
        QList<const IcsImportItem*> strayed;
        QList<qsizetype> gone;
        for (const IcsImportItem* item : changes.replace) {
            const qsizetype r = indexOf(item->storedLine);
            if (r < 0) {
                if (EntryCells(item->storedLine).at(ScheduleColumn::Date) == dayKey(item->day))
                    strayed << item;
                continue;
            }
            if (rows.at(r).at(ScheduleColumn::Date).trimmed() == dayKey(item->day)) {
                rows[r] =
                    entryRow(dayKey(item->day), rows.at(r).at(ScheduleColumn::Number), item->entry);
                rowItems[r] = item;
            } else {
                gone << r;
            }
        }
        for (const QByteArray& line : changes.remove)
            if (const qsizetype r = indexOf(line); r >= 0)
                gone << r;
        std::sort(gone.begin(), gone.end());
        for (qsizetype i = gone.size() - 1; i >= 0; --i) {
            rows.removeAt(gone.at(i));
            rowItems.removeAt(gone.at(i));
        }
        QHash<QByteArray, int> lastNumber;
        for (const Row& row : rows) {
            int& number = lastNumber[row.at(ScheduleColumn::Date).trimmed()];
            number = std::max(number, row.at(ScheduleColumn::Number).trimmed().toInt());
        }
        for (const IcsImportItem* item : changes.add + moved.value(year) + strayed) {
            const QByteArray key = dayKey(item->day);
            rows << entryRow(key, QByteArray::number(++lastNumber[key]), item->entry);
            rowItems << item;
        }
        for (qsizetype r = 0; r < rows.size(); ++r)
            if (rowItems.at(r))
                file.known.insert(r, rowItems.at(r)->identity);
    };
    return EditYearFiles(dataFolder, byYear.keys(), edit);
}
