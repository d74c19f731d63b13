#include "sync/CalendarSync.h"

#include "data/Codec.h"
#include "data/KalendoError.h"
#include "exchange/IcalHandle.h"
#include "exchange/IcsExport.h"
#include "exchange/IcsImport.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/RuleEntry.h"
#include "sync/AnniversarySync.h"
#include "sync/CalDavClient.h"
#include "sync/LocalEntries.h"

#include <QHash>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <optional>

namespace {

// Requests sent at once, and hrefs fetched by one multiget.
constexpr int Parallel = 4;
constexpr int MultigetHrefs = 200;
// Sent events between two saves of the state: a sync killed part-way repeats at most these.
constexpr int SaveEvery = 100;
// Passes one sync may take when the server keeps changing under it (412).
constexpr int MaxPasses = 3;
// The etag of an event sent whose answer carried none: on the server, its etag unknown.
const QByteArray UnknownEtag = "?";

const char* const DavNs = "xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"";

QByteArray conflictPrefix() {
    return *Codec::fromUnicode(QStringLiteral("競合: "));
}

// One line an event of the server gives.
struct Mapped {
    LocalEntry line;
    QByteArray occurrence;
};

struct ServerEvent {
    QByteArray etag;
    QByteArray body;
    QByteArray uid;
    QList<Mapped> lines;
};

QByteArray eventUid(const QByteArray& ics) {
    IcalComponent root(icalparser_parse_string(ics.constData()));
    if (!root)
        return {};
    icalcomponent* event =
        icalcomponent_isa(root.get()) == ICAL_VEVENT_COMPONENT
            ? root.get()
            : icalcomponent_get_first_component(root.get(), ICAL_VEVENT_COMPONENT);
    const char* uid = event ? icalcomponent_get_uid(event) : nullptr;
    return uid ? QByteArray(uid) : QByteArray();
}

icaltimetype utcNow() {
    return icaltime_from_timet_with_zone(Clock::now().toSecsSinceEpoch(), 0,
                                         icaltimezone_get_utc_timezone());
}

void removeAll(icalcomponent* event, icalproperty_kind kind) {
    while (icalproperty* p = icalcomponent_get_first_property(event, kind)) {
        icalcomponent_remove_property(event, p);
        icalproperty_free(p);
    }
}

void setText(icalcomponent* event, icalproperty_kind kind, const QByteArray& cp932) {
    removeAll(event, kind);
    if (cp932.isEmpty())
        return;
    const QByteArray text = Codec::toUnicode(cp932).toUtf8();
    icalproperty* p = kind == ICAL_SUMMARY_PROPERTY ? icalproperty_new_summary(text.constData())
                      : kind == ICAL_LOCATION_PROPERTY
                          ? icalproperty_new_location(text.constData())
                          : icalproperty_new_description(text.constData());
    icalcomponent_add_property(event, p);
}

// An occurrence as EntryIdentity keeps a RECURRENCE-ID: "TZID=zone:value" or the value.
struct OccurrenceId {
    QByteArray tzid;
    QByteArray value;
    explicit OccurrenceId(const QByteArray& kept) : value(kept) {
        if (kept.startsWith("TZID=") && kept.contains(':')) {
            tzid = kept.mid(5, kept.indexOf(':') - 5);
            value = kept.mid(kept.indexOf(':') + 1);
        }
    }
    // Whether a RECURRENCE-ID property names this occurrence.
    bool names(icalproperty* p) const {
        const char* zone = icalproperty_get_parameter_as_string(p, "TZID");
        icaltimetype at = icalproperty_get_recurrenceid(p);
        if (zone)
            at.zone = nullptr; // the wall time in the named zone, as kept
        return QByteArray(zone ? zone : "") == tzid && value == icaltime_as_ical_string(at);
    }
    icalproperty* property(icalproperty* made) const {
        if (!tzid.isEmpty())
            icalproperty_add_parameter(made, icalparameter_new_tzid(tzid.constData()));
        return made;
    }
};

// The calendar's text once target is changed: its SEQUENCE, DTSTAMP and LAST-MODIFIED say so.
QByteArray editedText(icalcomponent* calendar, icalcomponent* target) {
    icalcomponent_set_sequence(target, icalcomponent_get_sequence(target) + 1);
    icalcomponent_set_dtstamp(target, utcNow());
    removeAll(target, ICAL_LASTMODIFIED_PROPERTY);
    icalcomponent_add_property(target, icalproperty_new_lastmodified(utcNow()));
    AddIcsZoneDefinitions(calendar);
    char* raw = icalcomponent_as_ical_string_r(calendar);
    QByteArray out(raw);
    icalmemory_free_buffer(raw);
    return out;
}

// Seconds from one line's day and time to another's; nullopt when one has a time and the other
// none (an all-day line made timed cannot move a bound of the event).
std::optional<qint64> shiftOf(const QDate& fromDay, const QByteArray& from, const QDate& toDay,
                              const QByteArray& to) {
    if (from.isEmpty() != to.isEmpty())
        return std::nullopt;
    const QTime a = QTime::fromString(QString::fromLatin1(from), QStringLiteral("HH:mm"));
    const QTime b = QTime::fromString(QString::fromLatin1(to), QStringLiteral("HH:mm"));
    if (!from.isEmpty() && (!a.isValid() || !b.isValid()))
        return std::nullopt;
    return QDateTime(fromDay, a, Qt::UTC).secsTo(QDateTime(toDay, b, Qt::UTC));
}

void shiftTime(icalproperty* p, qint64 seconds) {
    icaltimetype t = icalvalue_get_datetime(icalproperty_get_value(p));
    t = icaltime_add(t, icaldurationtype_from_int(int(seconds)));
    icalvalue_set_datetime(icalproperty_get_value(p), t);
}

// The server's copy of an event over several days (no series) as its days now read here: a text
// changed on any day is the event's, a start moved on its first day or an end on its last day
// moves the event's start or end. Other days' times are the event's own and stay. Empty when the
// copy cannot be read.
QByteArray patchSpan(const QByteArray& ics, const QList<const Mapped*>& before,
                     const QList<const LocalEntry*>& now) {
    IcalComponent root(icalparser_parse_string(ics.constData()));
    if (!root || before.isEmpty())
        return {};
    icalcomponent* calendar = root.get();
    icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
    if (!event)
        return {};
    const struct {
        icalproperty_kind kind;
        QByteArray DayEntry::*field;
        int bytes;
    } texts[] = {{ICAL_SUMMARY_PROPERTY, &DayEntry::title, ScheduleFieldBytes::Title},
                 {ICAL_LOCATION_PROPERTY, &DayEntry::place, ScheduleFieldBytes::Place},
                 {ICAL_DESCRIPTION_PROPERTY, &DayEntry::memo, ScheduleFieldBytes::Memo}};
    for (const auto& t : texts)
        for (int k = 0; k < before.size(); ++k)
            if (FittedField(now[k]->entry.*t.field, t.bytes) != before[k]->line.entry.*t.field) {
                setText(event, t.kind, now[k]->entry.*t.field);
                break;
            }
    const LocalEntry& first = before.first()->line;
    const LocalEntry& last = before.last()->line;
    const std::optional<qint64> startShift =
        shiftOf(first.day, first.entry.start, now.first()->day, now.first()->entry.start);
    const std::optional<qint64> endShift =
        shiftOf(last.day, last.entry.end, now.last()->day, now.last()->entry.end);
    icalproperty* start = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    icalproperty* end = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
    icalproperty* duration = icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY);
    if (start && startShift && endShift && (*startShift != 0 || *endShift != 0)) {
        const qint64 length =
            end || duration
                ? icaldurationtype_as_int(icaltime_subtract(icalcomponent_get_dtend(event),
                                                            icalcomponent_get_dtstart(event))) -
                      *startShift + *endShift
                : (*startShift == *endShift ? 1 : 0);
        if (length > 0) {
            shiftTime(start, *startShift);
            if (end)
                shiftTime(end, *endShift);
            else if (duration)
                icalproperty_set_duration(duration, icaldurationtype_from_int(int(length)));
        }
    }
    return editedText(calendar, event);
}

// The server's copy of an event with one line of it changed as the user changed it (after), or
// the occurrence removed (after null): only what differs from how the line read before is
// replaced; everything else the server holds stays as it is. Empty when the copy cannot be read.
QByteArray patchEvent(const QByteArray& ics, const Mapped& before, const LocalEntry* after,
                      const QByteArray& zoneId) {
    IcalComponent root(icalparser_parse_string(ics.constData()));
    if (!root)
        return {};
    icalcomponent* calendar = root.get();
    icalcomponent* master = nullptr;
    icalcomponent* moved = nullptr;
    for (icalcomponent* e = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        icalproperty* id = icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY);
        if (!id) {
            if (!master)
                master = e;
        } else if (!before.occurrence.isEmpty() && OccurrenceId(before.occurrence).names(id)) {
            moved = e;
        }
    }
    if (!master && !moved)
        return {};
    const OccurrenceId occurrence(before.occurrence);
    const icaltimetype at = icaltime_from_string(occurrence.value.constData());
    icalcomponent* target = before.occurrence.isEmpty() ? master : moved;
    bool newTimes = false;
    if (!before.occurrence.isEmpty() && !after) {
        if (moved) {
            icalcomponent_remove_component(calendar, moved);
            icalcomponent_free(moved);
        }
        if (master) {
            icalcomponent_add_property(master, occurrence.property(icalproperty_new_exdate(at)));
            target = master;
        }
    } else if (!target && master) {
        // A new override: the series' own properties, for this occurrence only.
        target = icalcomponent_new_clone(master);
        for (const icalproperty_kind kind :
             {ICAL_RRULE_PROPERTY, ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY, ICAL_EXRULE_PROPERTY,
              ICAL_RECURRENCEID_PROPERTY})
            removeAll(target, kind);
        icalcomponent_add_property(target, occurrence.property(icalproperty_new_recurrenceid(at)));
        icalcomponent_add_component(calendar, target);
        newTimes = true;
    }
    if (!target)
        return {};
    if (after) {
        const DayEntry& was = before.line.entry;
        const DayEntry& now = after->entry;
        // Compared as stored: a text that stores as the server's stored does is unchanged, and
        // the server keeps its exact text.
        if (FittedField(now.title, ScheduleFieldBytes::Title) != was.title)
            setText(target, ICAL_SUMMARY_PROPERTY, now.title);
        if (FittedField(now.place, ScheduleFieldBytes::Place) != was.place)
            setText(target, ICAL_LOCATION_PROPERTY, now.place);
        if (FittedField(now.memo, ScheduleFieldBytes::Memo) != was.memo)
            setText(target, ICAL_DESCRIPTION_PROPERTY, now.memo);
        if (newTimes || after->day != before.line.day || now.start != was.start ||
            now.end != was.end)
            SetIcsEntryTimes(target, after->day, now.start, now.end, zoneId);
    }
    return editedText(calendar, target);
}

// The server's copy of an anniversary (was, as last synced) with the title and date as they
// now read here; everything else stays, the start of one without a year in the server's year.
// Empty when the copy cannot be read.
QByteArray patchAnniversary(const QByteArray& ics, const ServerAnniversary& was,
                            const LocalAnniversary& now) {
    IcalComponent root(icalparser_parse_string(ics.constData()));
    icalcomponent* event =
        root ? icalcomponent_get_first_component(root.get(), ICAL_VEVENT_COMPONENT) : nullptr;
    if (!event)
        return {};
    if (FittedField(now.title, AnniversaryTitleBytes) != was.title)
        setText(event, ICAL_SUMMARY_PROPERTY, now.title);
    icaltimetype start = icalcomponent_get_dtstart(event);
    const QDate from(start.year, start.month, start.day);
    QDate to = now.date;
    if (now.noYear && was.noYear && QDate::isValid(from.year(), to.month(), to.day()))
        to = QDate(from.year(), to.month(), to.day());
    const int days = from.isValid() ? int(from.daysTo(to)) : 0;
    if (days != 0) {
        icaltime_adjust(&start, days, 0, 0, 0);
        icalcomponent_set_dtstart(event, start);
        if (icalproperty* end = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
            icaltimetype t = icalproperty_get_dtend(end);
            icaltime_adjust(&t, days, 0, 0, 0);
            icalproperty_set_dtend(end, t);
        }
        if (icalproperty* rule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY)) {
            icalrecurrencetype r = icalproperty_get_rrule(rule);
            if (r.by_month[0] != ICAL_RECURRENCE_ARRAY_MAX)
                r.by_month[0] = short(now.date.month());
            if (r.by_month_day[0] != ICAL_RECURRENCE_ARRAY_MAX)
                r.by_month_day[0] = short(now.date.day());
            icalproperty_set_rrule(rule, r);
        }
    }
    if (now.noYear != was.noYear || (now.noYear && days != 0))
        SetIcsYearOmitted(event, now.noYear ? std::optional(to.year()) : std::nullopt);
    return editedText(root.get(), event);
}

// Whether the lines are exactly those the records hold as last synced, none to send again.
bool asSynced(const QList<LocalEntry>& lines, const QMap<QByteArray, SyncRecord>& records) {
    QHash<QByteArray, int> count;
    for (const LocalEntry& e : lines)
        ++count[e.hash];
    qsizetype occurrences = 0;
    for (const SyncRecord& r : records) {
        if (r.etag.isEmpty())
            return false;
        for (const SyncOccurrence& o : r.occurrences) {
            const auto it = count.find(o.hash);
            if (it == count.end() || --*it < 0)
                return false;
            ++occurrences;
        }
    }
    return occurrences == lines.size();
}

QByteArray xmlEscape(const QByteArray& text) {
    return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
}

} // namespace

// One pass of a sync: list the server's changes, read the year files, fetch what is needed,
// merge, write here, send there.
struct CalendarSync::Pass {
    struct Op {
        enum Kind { PutNew, PutChange, Delete } kind;
        SyncRecord after;
        QByteArray etag; // If-Match
        QByteArray body;
        bool anniversary = false; // a record of state.anniversaries
    };

    CalendarSync& sync;
    SyncState state;
    SyncState saved; // as the file holds it
    QUrl calendar;
    QByteArray zoneId = ExchangeZoneId();
    // The server's listing: changed (or, full, every) href with its etag; hrefs removed.
    QHash<QByteArray, QByteArray> listed;
    QSet<QByteArray> removed;
    bool full = false;
    QByteArray newToken;

    QList<LocalEntry> local;
    QList<bool> consumed;
    QHash<QByteArray, QList<int>> byHash;
    QSet<QByteArray> usedUids; // of the records: a line with one of them is that event's
    QHash<QByteArray, QList<int>> ownLines; // href -> local line per occurrence, -1 gone
    QHash<QByteArray, ServerEvent> fetched;
    QByteArrayList toFetch;

    LocalChanges changes;
    QList<LocalEntry> newEntries;
    QList<Op> ops;
    int nextOp = 0, inFlight = 0, doneOps = 0;
    bool again = false;
    bool written = false; // the year files and the state agree from here on
    QSet<QByteArray> mergedThere;
    // The years of this pass, and the events fetched again because they grew.
    int firstYear = 0, lastYear = 0;
    bool grew = false;
    QSet<QByteArray> regrow;
    bool regrowLeft = false; // an event not yet brought to the grown years
    QString failure, cause;
    SyncOutcome outcome;

    // Anniversaries, where the account syncs them: the file's lines, which of them are taken,
    // each record's line (-1: gone), the events that are anniversaries as fetched, and the
    // file's lines to remove and add.
    bool anniversaries = false;
    bool reclassify = false; // just turned on: events kept as schedule entries may be some
    QList<LocalAnniversary> annivs;
    QList<bool> annivTaken;
    QHash<QByteArray, QList<int>> annivByHash; // the lines of each hash, in the file's order
    QHash<QByteArray, int> annivOwn;
    QHash<QByteArray, ServerEvent> annivFetched;
    QHash<QByteArray, ServerAnniversary> annivOf;
    QByteArrayList annivRemovals, annivAdditions;
    QByteArrayList yearChecks; // records fetched to see whether their 1604 is a year

    explicit Pass(CalendarSync& s) : sync(s) {}

    QUrl urlOf(const QByteArray& href) const {
        QUrl url = calendar;
        url.setPath(QString::fromLatin1(href), QUrl::TolerantMode);
        return url;
    }
    bool failed(const DavResponse& r) {
        if (r.status / 100 == 2)
            return false;
        fail(r);
        return true;
    }
    void failFile(const KalendoError& e) {
        failure = e.message();
        cause = QStringLiteral("file");
        finish();
    }
    // A state as the file holds it is not written again, nor built to compare.
    void saveState() {
        if (state == saved)
            return;
        sync.m_state.forget();
        state.save(sync.m_folder);
        saved = state;
    }
    void fail(const DavResponse& r) {
        failure = CalDavClient::failure(r, calendar);
        cause = r.sslRefused                         ? QStringLiteral("certificate")
                : r.status == 401 || r.status == 403 ? QStringLiteral("login")
                : r.status == 0                      ? QStringLiteral("connection")
                                                     : QStringLiteral("server");
        finish();
    }

    void begin();
    void listBySyncReport();
    void listByQuery();
    void readLocal();
    void fetch(int from);
    void merge();
    void mergeChanged(const QByteArray& href, const ServerEvent& event, SyncRecord* record);
    void mergeUnchanged(SyncRecord& record);
    void changeSpan(const SyncRecord& record, const QList<int>& own, QList<int> partner,
                    const ServerEvent& event);
    void write();
    void sendOps();
    void opDone(const Op& op, const DavResponse& r);
    void finish();

    void readAnniversaries();
    void sortAnniversaries();
    void mergeAnniversaries();
    int takeAnniversary(const QByteArray& hash);
    int takeEditedAnniversary(const SyncRecord& record);
    void addAnniversary(const LocalAnniversary& a, SyncRecord record = {});
    SyncRecord anniversaryRecord(const QByteArray& href, const QByteArray& etag,
                                 const QByteArray& uid, const QDate& date,
                                 const QByteArray& hash) const {
        return {href, etag.isEmpty() ? UnknownEtag : etag, uid, {{{}, DayKeyOf(date), hash}}};
    }

    QList<Mapped> mapEvent(const QByteArray& body) const;
    int take(const QByteArray& hash);
    int takeEdited(const SyncRecord& record, int k);
    void addNew(const LocalEntry& e);
    QByteArray putNewBody(const SyncRecord& r, const LocalEntry& e) const {
        return BuildIcsEvent(r.uid, e.day, e.entry, zoneId);
    }
};

QList<Mapped> CalendarSync::Pass::mapEvent(const QByteArray& body) const {
    IcsImportOptions options;
    options.firstYear = firstYear;
    options.lastYear = lastYear;
    options.zoneId = zoneId;
    options.dropUnencodable = true;
    options.overnightAsOne = true;
    QList<Mapped> lines;
    try {
        for (const IcsImportItem& item : PlanIcsImport(body, QString(), options).items) {
            if (item.state == IcsImportItem::Refused)
                continue;
            EntryIdentity identity = item.identity;
            if (item.inexact)
                identity.properties.insert(
                    InexactTextProperty,
                    InexactTextMark(item.entry.title, item.entry.place, item.entry.memo));
            lines << Mapped{{item.day, item.entry, LocalEntryHash(item.day, item.entry), identity},
                            item.identity.recurrenceId};
        }
    } catch (const KalendoError&) {
        // An event libical cannot read gives no lines; it stays on the server as it is.
    }
    return lines;
}

int CalendarSync::Pass::take(const QByteArray& hash) {
    for (const int i : byHash.value(hash))
        if (!consumed[i]) {
            consumed[i] = true;
            return i;
        }
    return -1;
}

// The line that is the record's k-th line edited: the one with its UID and RECURRENCE-ID, else
// a new line of its day (an entry whose identity was lost). A conflict's copy is always an
// entry of its own.
int CalendarSync::Pass::takeEdited(const SyncRecord& record, int k) {
    const SyncOccurrence& o = record.occurrences[k];
    const QByteArray prefix = conflictPrefix();
    int sameDay = -1;
    for (int i = 0; i < local.size(); ++i) {
        if (consumed[i])
            continue;
        const EntryIdentity& id = local[i].identity;
        if (!record.uid.isEmpty() && id.uid == record.uid && id.recurrenceId == o.occurrence) {
            consumed[i] = true;
            return i;
        }
        if (sameDay < 0 && DayKeyOf(local[i].day) == o.dayKey &&
            !local[i].entry.title.startsWith(prefix) && !usedUids.contains(id.uid))
            sameDay = i;
    }
    if (sameDay >= 0)
        consumed[sameDay] = true;
    return sameDay;
}

void CalendarSync::Pass::begin() {
    calendar = sync.m_account.calendar;
    if (!calendar.path().endsWith(QLatin1Char('/')))
        calendar.setPath(calendar.path() + QLatin1Char('/'));
    if (const QString refused = CalDavClient::refusal(calendar); !refused.isEmpty()) {
        failure = refused;
        cause = QStringLiteral("address");
        finish();
        return;
    }
    try {
        state = sync.m_state.get(SyncStatePath(sync.m_folder), [this](FileStamp* stamp) {
            return SyncState::load(sync.m_folder, stamp);
        });
        saved = state;
    } catch (const KalendoError& e) {
        failFile(e);
        return;
    }
    const QByteArray address = calendar.toEncoded();
    if (state.calendar != address) {
        // Another calendar: what was known of the old one says nothing about this one.
        state = SyncState();
        state.calendar = address;
    }
    // The years the records hold (the usual ones where the state has none noted) and those to
    // hold now.
    const int wasFirst = state.firstYear > 0 ? state.firstYear : sync.m_usualFirst;
    const int wasLast = state.firstYear > 0 ? state.lastYear : sync.m_usualLast;
    firstYear = std::min(wasFirst, sync.m_firstYear);
    lastYear = std::max(wasLast, sync.m_lastYear);
    grew = !state.records.isEmpty() && (firstYear < wasFirst || lastYear > wasLast);
    anniversaries = sync.m_account.anniversaries;
    if (anniversaries && !state.anniversariesSynced) {
        // Every event is listed again: those kept as schedule entries may be anniversaries, and
        // anniversaries changed there meanwhile were passed over.
        reclassify = true;
        state.syncToken.clear();
    }
    state.anniversariesSynced = anniversaries;
    if (state.noSyncReport)
        listByQuery();
    else
        listBySyncReport();
}

void CalendarSync::Pass::listBySyncReport() {
    const QByteArray body = QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                       "<D:sync-collection ") +
                            DavNs + "><D:sync-token>" + xmlEscape(state.syncToken) +
                            "</D:sync-token><D:sync-level>1</D:sync-level>"
                            "<D:prop><D:getetag/></D:prop></D:sync-collection>";
    sync.m_client->send("REPORT", calendar, body, {{"Depth", "0"}}, [this](const DavResponse& r) {
        if (r.status == 207) {
            const DavMultistatus answer = ParseMultistatus(r.body);
            full = state.syncToken.isEmpty();
            newToken = answer.syncToken;
            const QByteArray self = DavPath(calendar);
            for (const DavItem& item : answer.items) {
                if (item.href == self)
                    continue;
                if (item.status == 404)
                    removed.insert(item.href);
                else
                    listed.insert(item.href, item.text.value("getetag"));
            }
            readLocal();
        } else if (!state.syncToken.isEmpty() && (r.status == 403 || r.status == 409)) {
            state.syncToken.clear(); // the token expired: list everything
            listBySyncReport();
        } else if (r.status == 400 || r.status == 403 || r.status == 405 || r.status == 501) {
            state.noSyncReport = true;
            listByQuery();
        } else {
            fail(r);
        }
    });
}

void CalendarSync::Pass::listByQuery() {
    const QByteArray body = QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                       "<C:calendar-query ") +
                            DavNs +
                            "><D:prop><D:getetag/></D:prop><C:filter>"
                            "<C:comp-filter name=\"VCALENDAR\"><C:comp-filter name=\"VEVENT\"/>"
                            "</C:comp-filter></C:filter></C:calendar-query>";
    sync.m_client->send("REPORT", calendar, body, {{"Depth", "1"}}, [this](const DavResponse& r) {
        if (failed(r))
            return;
        full = true;
        const QByteArray self = DavPath(calendar);
        for (const DavItem& item : ParseMultistatus(r.body).items)
            if (item.href != self && item.status / 100 == 2)
                listed.insert(item.href, item.text.value("getetag"));
        readLocal();
    });
}

void CalendarSync::Pass::readLocal() {
    if (full)
        for (const SyncRecord& record : std::as_const(state.records))
            if (!listed.contains(record.href) && !record.etag.isEmpty())
                removed.insert(record.href);
    // Nothing changed there: the entries' identities are needed only where a line here is not
    // as last synced, and reading them costs more than the lines.
    const bool quietThere = !full && !grew && !reclassify && listed.isEmpty() && removed.isEmpty();
    bool quiet = quietThere;
    try {
        local = ReadLocalEntries(sync.m_folder, !quietThere);
        quiet = quietThere && asSynced(local, state.records);
        if (quietThere && !quiet)
            local = ReadLocalEntries(sync.m_folder);
    } catch (const KalendoError& e) {
        failFile(e);
        return;
    }
    if (anniversaries)
        readAnniversaries();
    if (!failure.isEmpty())
        return;
    if (quiet && !anniversaries) {
        // Nothing changed here or there: nothing to merge.
        state.firstYear = firstYear;
        state.lastYear = lastYear;
        write();
        return;
    }
    consumed = QList<bool>(local.size(), false);
    for (const SyncRecord& record : std::as_const(state.records))
        usedUids.insert(record.uid);
    for (int i = 0; i < local.size(); ++i)
        byHash[local[i].hash] << i;
    for (const SyncRecord& record : std::as_const(state.records)) {
        QList<int>& own = ownLines[record.href];
        bool gone = false;
        for (const SyncOccurrence& o : record.occurrences) {
            own << take(o.hash);
            gone = gone || own.last() < 0;
        }
        const bool changedThere =
            listed.contains(record.href) && listed.value(record.href) != record.etag;
        // The server's copy is needed to merge its change, and to apply a change made here.
        // An event with lines in none of the old years, or a series, may have some in new ones.
        const bool mayGrow = grew && (record.occurrences.isEmpty() ||
                                      !record.occurrences.first().occurrence.isEmpty());
        if (mayGrow && !changedThere && !record.etag.isEmpty() && record.etag != UnknownEtag &&
            !removed.contains(record.href))
            regrow.insert(record.href);
        const bool mayBeAnniversary =
            reclassify && listed.contains(record.href) &&
            (record.occurrences.isEmpty() || !record.occurrences.first().occurrence.isEmpty());
        if (changedThere || regrow.contains(record.href) || mayBeAnniversary ||
            (gone && !record.etag.isEmpty() && !removed.contains(record.href)))
            toFetch << record.href;
    }
    for (auto it = listed.cbegin(); it != listed.cend(); ++it)
        if (!state.records.contains(it.key()) && !state.anniversaries.contains(it.key()))
            toFetch << it.key();
    fetch(0);
}

void CalendarSync::Pass::fetch(int from) {
    if (from >= toFetch.size()) {
        merge();
        return;
    }
    QByteArray body = QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                 "<C:calendar-multiget ") +
                      DavNs + "><D:prop><D:getetag/><C:calendar-data/></D:prop>";
    const int to = std::min<int>(from + MultigetHrefs, toFetch.size());
    for (int i = from; i < to; ++i)
        body += "<D:href>" + xmlEscape(toFetch[i]) + "</D:href>";
    body += "</C:calendar-multiget>";
    sync.m_client->send("REPORT", calendar, body, {{"Depth", "1"}},
                        [this, to](const DavResponse& r) {
                            if (failed(r))
                                return;
                            for (const DavItem& item : ParseMultistatus(r.body).items) {
                                if (item.status == 404) {
                                    removed.insert(item.href);
                                    listed.remove(item.href);
                                    continue;
                                }
                                const QByteArray data = item.text.value("calendar-data");
                                if (item.status / 100 != 2 || data.isEmpty())
                                    continue;
                                ServerEvent& event = fetched[item.href];
                                event.etag = item.text.value("getetag");
                                event.body = data;
                                event.uid = eventUid(data);
                                event.lines = mapEvent(data);
                            }
                            fetch(to);
                        });
}

void CalendarSync::Pass::addNew(const LocalEntry& e) {
    SyncRecord record;
    // The entry's own UID, as an export gives it, unless an event has it already (a copy).
    record.uid = e.identity.uid;
    if (record.uid.isEmpty() || !e.identity.recurrenceId.isEmpty() || usedUids.contains(record.uid))
        record.uid = QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + KalendoUidSuffix;
    usedUids.insert(record.uid);
    record.href =
        DavPath(calendar) + QUrl::toPercentEncoding(QString::fromUtf8(record.uid)) + ".ics";
    record.occurrences << SyncOccurrence{{}, DayKeyOf(e.day), e.hash};
    state.records.insert(record.href, record);
    ops << Op{Op::PutNew, record, {}, putNewBody(record, e)};
}

void CalendarSync::Pass::merge() {
    if (anniversaries)
        sortAnniversaries();
    // The server's changes first: a line here equal to the server's takes the place of the
    // line it gives, before lines are paired as edits.
    for (const QByteArray& href : removed) {
        const auto it = state.records.find(href);
        if (it == state.records.end())
            continue;
        for (const int i : ownLines.value(href))
            if (i >= 0) {
                changes.remove(local[i]);
                ++outcome.received;
            }
        state.records.erase(it);
    }
    for (auto it = fetched.cbegin(); it != fetched.cend(); ++it) {
        if (removed.contains(it.key()))
            continue;
        const auto record = state.records.find(it.key());
        mergeChanged(it.key(), it.value(),
                     record == state.records.end() ? nullptr : &record.value());
    }
    const QList<QByteArray> hrefs = state.records.keys();
    for (const QByteArray& href : hrefs)
        if (!mergedThere.contains(href))
            mergeUnchanged(state.records[href]);
    for (int i = 0; i < local.size(); ++i)
        if (!consumed[i])
            newEntries << local[i];
    for (const LocalEntry& e : std::as_const(newEntries))
        addNew(e);
    if (anniversaries)
        mergeAnniversaries();
    if (!regrowLeft) {
        state.firstYear = firstYear;
        state.lastYear = lastYear;
    }
    write();
}

void CalendarSync::Pass::mergeChanged(const QByteArray& href, const ServerEvent& event,
                                      SyncRecord* record) {
    const QList<int> own = ownLines.value(href);
    if (record && event.etag == record->etag) {
        if (!regrow.contains(href))
            return; // fetched to apply a change made here
        if (own.contains(-1)) {
            regrowLeft = true; // changed here: that change first, the new years next time
            return;
        }
    }
    mergedThere.insert(href);
    QList<bool> kept(own.size(), false);
    SyncRecord after;
    after.href = href;
    after.etag = event.etag.isEmpty() ? UnknownEtag : event.etag;
    after.uid = event.uid;
    usedUids.insert(event.uid); // a line here under the same UID is another entry: a new one
    for (const Mapped& m : event.lines) {
        after.occurrences << SyncOccurrence{m.occurrence, DayKeyOf(m.line.day), m.line.hash};
        bool found = false;
        for (int k = 0; k < own.size() && !found; ++k)
            if (own[k] >= 0 && !kept[k] && local[own[k]].hash == m.line.hash)
                found = kept[k] = true;
        if (!found && take(m.line.hash) < 0) {
            changes.add(m.line);
            ++outcome.received;
        }
    }
    for (int k = 0; k < own.size(); ++k) {
        if (own[k] >= 0 && !kept[k]) {
            changes.remove(local[own[k]]); // the old version, unchanged here
            ++outcome.received;
        } else if (own[k] < 0 && record) {
            // Changed here too, and not to what the server has: the server's version takes
            // the entry's place, this one is kept beside it.
            const int edited = takeEdited(*record, k);
            if (edited < 0)
                continue;
            LocalEntry copy = local[edited];
            changes.remove(copy);
            copy.entry.title = *Codec::fromUnicode(Codec::truncateToBytes(
                Codec::toUnicode(conflictPrefix() + copy.entry.title), ScheduleFieldBytes::Title));
            copy.hash = LocalEntryHash(copy.day, copy.entry);
            copy.identity = EntryIdentity(); // an entry of its own, under a new UID
            copy.identity.uid =
                QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + KalendoUidSuffix;
            changes.add(copy);
            newEntries << copy;
            ++outcome.conflicts;
        }
    }
    state.records.insert(href, after);
}

void CalendarSync::Pass::mergeUnchanged(SyncRecord& record) {
    const QList<int> own = ownLines.value(record.href);
    QList<int> partner(own.size(), -1);
    bool changed = false;
    for (int k = 0; k < own.size(); ++k)
        if (own[k] < 0) {
            partner[k] = takeEdited(record, k);
            changed = true;
        }
    if (record.etag.isEmpty()) {
        // Sent before without an answer: send it again under the same UID and href.
        const int line = own.value(0, -1) >= 0 ? own[0] : partner.value(0, -1);
        if (line < 0) {
            state.records.remove(record.href);
            return;
        }
        SyncRecord after = record;
        after.occurrences = {SyncOccurrence{{}, DayKeyOf(local[line].day), local[line].hash}};
        ops << Op{Op::PutNew, after, {}, putNewBody(after, local[line])};
        return;
    }
    if (!changed)
        return;
    const ServerEvent event = fetched.value(record.href);
    const bool recurring =
        !record.occurrences.isEmpty() && !record.occurrences.first().occurrence.isEmpty();
    if (!recurring && record.occurrences.size() == 1 && partner[0] < 0) {
        ops << Op{Op::Delete, record, record.etag, {}};
        return;
    }
    if (!recurring && record.occurrences.size() > 1) {
        changeSpan(record, own, partner, event);
        return;
    }
    QByteArray body = event.body;
    SyncRecord after = record;
    after.occurrences.clear();
    for (int k = 0; k < own.size(); ++k) {
        const SyncOccurrence& o = record.occurrences[k];
        if (own[k] >= 0) {
            after.occurrences << o;
            continue;
        }
        const Mapped* before = !recurring && event.lines.size() == 1 ? &event.lines[0] : nullptr;
        for (const Mapped& m : event.lines)
            if (recurring && m.occurrence == o.occurrence)
                before = &m;
        if (!before) {
            if (partner[k] >= 0)
                consumed[partner[k]] = false; // no longer on the server as it was: a new entry
            continue;
        }
        const LocalEntry* now = partner[k] >= 0 ? &local[partner[k]] : nullptr;
        body = patchEvent(body, *before, now, zoneId);
        if (now)
            after.occurrences << SyncOccurrence{o.occurrence, DayKeyOf(now->day), now->hash};
    }
    if (body.isEmpty()) {
        for (const int p : partner)
            if (p >= 0)
                consumed[p] = false;
        return;
    }
    ops << Op{Op::PutChange, after, record.etag, body};
}

// An event over several days changed here on some of its days: the event follows (patchSpan),
// and every day then reads as the server's new copy gives it, so that it stays one event. A day
// deleted alone comes back; all its days deleted delete the event.
void CalendarSync::Pass::changeSpan(const SyncRecord& record, const QList<int>& own,
                                    QList<int> partner, const ServerEvent& event) {
    const int n = own.size();
    // The day list keeps an edited day's identity: pair each edited line with its own day first.
    QList<int> pool;
    for (int k = 0; k < n; ++k) {
        const int p = std::exchange(partner[k], -1);
        if (p >= 0 && local[p].identity.uid == record.uid)
            pool << p;
        else if (p >= 0)
            consumed[p] = false; // a line of its own, not a day of this event
    }
    for (const bool sameDay : {true, false})
        for (int k = 0; k < n; ++k)
            for (int p = 0; own[k] < 0 && partner[k] < 0 && p < pool.size(); ++p)
                if (!sameDay || DayKeyOf(local[pool[p]].day) == record.occurrences[k].dayKey) {
                    partner[k] = pool.takeAt(p);
                    break;
                }
    QList<const Mapped*> before;
    QList<const LocalEntry*> now;
    bool anyLeft = false;
    for (int k = 0; k < n; ++k) {
        const Mapped* was = nullptr;
        for (const Mapped& m : event.lines)
            if (m.line.hash == record.occurrences[k].hash)
                was = &m;
        before << was;
        now << (own[k] >= 0 ? &local[own[k]] : partner[k] >= 0 ? &local[partner[k]] : nullptr);
        anyLeft = anyLeft || now.last();
        if (!now.last() && was)
            now.last() = &was->line; // deleted alone: it comes back
    }
    const QByteArray body =
        before.contains(nullptr) ? QByteArray() : patchSpan(event.body, before, now);
    if (!anyLeft && !before.contains(nullptr)) {
        ops << Op{Op::Delete, record, record.etag, {}};
        return;
    }
    const QList<Mapped> lines = body.isEmpty() ? QList<Mapped>() : mapEvent(body);
    if (lines.isEmpty()) {
        // Not read as recorded: nothing goes out, an edited day stays an entry of its own.
        for (int k = 0; k < n; ++k) {
            if (partner[k] >= 0)
                consumed[partner[k]] = false;
            if (own[k] < 0 && partner[k] < 0 && before[k]) {
                changes.add(before[k]->line);
                ++outcome.received;
            }
        }
        return;
    }
    QList<int> present;
    for (int k = 0; k < n; ++k)
        if (const int i = own[k] >= 0 ? own[k] : partner[k]; i >= 0)
            present << i;
    SyncRecord after = record;
    after.occurrences.clear();
    for (const Mapped& m : lines) {
        after.occurrences << SyncOccurrence{m.occurrence, DayKeyOf(m.line.day), m.line.hash};
        bool kept = false;
        for (int p = 0; p < present.size() && !kept; ++p)
            if (local[present[p]].hash == m.line.hash) {
                present.removeAt(p);
                kept = true;
            }
        if (!kept)
            changes.add(m.line);
    }
    for (const int i : std::as_const(present))
        changes.remove(local[i]);
    ops << Op{Op::PutChange, after, record.etag, body};
}

void CalendarSync::Pass::readAnniversaries() {
    try {
        annivs =
            sync.m_anniversaries.get(AnniversaryFilePath(sync.m_folder), [this](FileStamp* stamp) {
                return ReadLocalAnniversaries(sync.m_folder, stamp);
            });
    } catch (const KalendoError& e) {
        failFile(e);
        return;
    }
    annivTaken = QList<bool>(annivs.size(), false);
    for (int i = 0; i < annivs.size(); ++i)
        annivByHash[annivs[i].hash] << i;
    for (const SyncRecord& record : std::as_const(state.anniversaries)) {
        if (full && !listed.contains(record.href) && !record.etag.isEmpty())
            removed.insert(record.href);
        const int own =
            record.occurrences.isEmpty() ? -1 : takeAnniversary(record.occurrences.first().hash);
        annivOwn.insert(record.href, own);
        const bool changedThere =
            listed.contains(record.href) && listed.value(record.href) != record.etag;
        // A line in the year a birthday without one starts in may have synced before such lines
        // were kept without a year: its event tells, once.
        const bool mayLackYear = !state.anniversaryYearsChecked && own >= 0 &&
                                 !annivs[own].noYear &&
                                 annivs[own].date.year() == AnniversaryNoYearIn;
        if (mayLackYear)
            yearChecks << record.href;
        if (changedThere || mayLackYear ||
            (own < 0 && !record.etag.isEmpty() && !removed.contains(record.href)))
            toFetch << record.href;
    }
}

int CalendarSync::Pass::takeAnniversary(const QByteArray& hash) {
    for (const int i : annivByHash.value(hash))
        if (!annivTaken[i]) {
            annivTaken[i] = true;
            return i;
        }
    return -1;
}

// The line that is the record's anniversary edited: a new line of its date (renamed; of several,
// the one sharing most characters with the server's title, then the first), else of its title as
// the server has it (moved). A conflict's copy is always one of its own.
int CalendarSync::Pass::takeEditedAnniversary(const SyncRecord& record) {
    if (record.occurrences.isEmpty())
        return -1;
    const QByteArray prefix = conflictPrefix();
    const QByteArray title = annivOf.value(record.href).title;
    const QString was = Codec::toUnicode(title);
    const auto shared = [&](const QByteArray& other) {
        QString left = was;
        int count = 0;
        for (const QChar c : Codec::toUnicode(other))
            if (const qsizetype at = left.indexOf(c); at >= 0) {
                left.remove(at, 1);
                ++count;
            }
        return count;
    };
    int best = -1, bestShared = -1;
    for (int i = 0; i < annivs.size(); ++i)
        if (!annivTaken[i] && !annivs[i].title.startsWith(prefix) &&
            DayKeyOf(annivs[i].date) == record.occurrences.first().dayKey)
            if (const int n = was.isEmpty() ? 0 : shared(annivs[i].title); n > bestShared) {
                best = i;
                bestShared = n;
            }
    for (int i = 0; i < annivs.size() && best < 0 && !title.isEmpty(); ++i)
        if (!annivTaken[i] && !annivs[i].title.startsWith(prefix) &&
            FittedField(annivs[i].title, AnniversaryTitleBytes) == title)
            best = i;
    if (best >= 0)
        annivTaken[best] = true;
    return best;
}

// Events fetched that are anniversaries leave the schedule's merge; one kept so far as a
// schedule series leaves the year files. An anniversary no longer one is a schedule event now.
void CalendarSync::Pass::sortAnniversaries() {
    const QList<QByteArray> hrefs = fetched.keys();
    for (const QByteArray& href : hrefs) {
        const std::optional<ServerAnniversary> a = AnniversaryOfEvent(fetched.value(href).body);
        if (!a) {
            if (state.anniversaries.contains(href)) {
                if (const int own = annivOwn.value(href, -1); own >= 0) {
                    annivRemovals << annivs[own].line;
                    ++outcome.received;
                }
                state.anniversaries.remove(href);
            }
            continue;
        }
        annivOf.insert(href, *a);
        annivFetched.insert(href, fetched.take(href));
        if (state.records.contains(href)) {
            for (const int i : ownLines.value(href))
                if (i >= 0) {
                    changes.remove(local[i]);
                    ++outcome.received;
                }
            state.records.remove(href);
        }
    }
}

void CalendarSync::Pass::mergeAnniversaries() {
    for (const QByteArray& href : std::as_const(removed)) {
        if (!state.anniversaries.contains(href))
            continue;
        if (const int own = annivOwn.value(href, -1); own >= 0) {
            annivRemovals << annivs[own].line;
            ++outcome.received;
        }
        state.anniversaries.remove(href);
    }
    QSet<QByteArray> mergedAnniv;
    // New there: the same anniversary here is that event's, else the event's comes here.
    for (auto it = annivFetched.cbegin(); it != annivFetched.cend(); ++it) {
        if (removed.contains(it.key()) || state.anniversaries.contains(it.key()))
            continue;
        const ServerAnniversary& a = annivOf[it.key()];
        const QByteArray hash = AnniversaryHash(a.date, a.noYear, a.title);
        if (takeAnniversary(hash) < 0) {
            annivAdditions << AnniversaryLine(a.date, a.noYear, a.title);
            ++outcome.received;
        }
        state.anniversaries.insert(it.key(),
                                   anniversaryRecord(it.key(), it->etag, it->uid, a.date, hash));
        mergedAnniv.insert(it.key());
    }
    // The records as synced before; conflicts' copies added below are new, and already go out.
    const QList<QByteArray> hrefs = state.anniversaries.keys();
    // Changed there: the server's version takes the place; one changed here too is kept beside.
    for (auto it = annivFetched.cbegin(); it != annivFetched.cend(); ++it) {
        const auto record = state.anniversaries.find(it.key());
        const int own = annivOwn.value(it.key(), -1);
        // Unchanged there, but a line of it synced with its year 1604 takes the form without.
        const bool yearLeftOut = own >= 0 && annivOf[it.key()].noYear && !annivs[own].noYear;
        if (mergedAnniv.contains(it.key()) || record == state.anniversaries.end() ||
            (record->etag == it->etag && !yearLeftOut))
            continue;
        mergedAnniv.insert(it.key());
        const ServerAnniversary& a = annivOf[it.key()];
        const QByteArray hash = AnniversaryHash(a.date, a.noYear, a.title);
        const int edited = own >= 0 ? own : takeEditedAnniversary(*record);
        if (edited < 0 || annivs[edited].hash != hash) {
            annivAdditions << AnniversaryLine(a.date, a.noYear, a.title);
            ++outcome.received;
            if (edited >= 0)
                annivRemovals << annivs[edited].line;
            if (edited >= 0 && own < 0) {
                LocalAnniversary copy = annivs[edited];
                copy.title = *Codec::fromUnicode(Codec::truncateToBytes(
                    Codec::toUnicode(conflictPrefix() + copy.title), AnniversaryTitleBytes));
                copy.line = AnniversaryLine(copy.date, copy.noYear, copy.title);
                copy.hash = AnniversaryHash(copy.date, copy.noYear, copy.title);
                annivAdditions << copy.line;
                addAnniversary(copy);
                ++outcome.conflicts;
            }
        }
        *record = anniversaryRecord(it.key(), it->etag, it->uid, a.date, hash);
    }
    // Unchanged there: a change or deletion here goes out.
    for (const QByteArray& href : hrefs) {
        if (mergedAnniv.contains(href))
            continue;
        const SyncRecord& record = state.anniversaries[href];
        const int own = annivOwn.value(href, -1);
        if (own >= 0 && !record.etag.isEmpty())
            continue;
        const int line = own >= 0 ? own : takeEditedAnniversary(record);
        if (record.etag.isEmpty()) {
            // Sent before without an answer: again under the same UID and href.
            if (line < 0)
                state.anniversaries.remove(href);
            else
                addAnniversary(annivs[line], record);
            continue;
        }
        if (line < 0) {
            ops << Op{Op::Delete, record, record.etag, {}, true};
            continue;
        }
        const ServerEvent event = annivFetched.value(href);
        const QByteArray body =
            event.body.isEmpty() ? QByteArray()
                                 : patchAnniversary(event.body, annivOf.value(href), annivs[line]);
        if (body.isEmpty())
            continue; // not fetched: tried again next time, the line stays paired
        ops << Op{
            Op::PutChange,
            anniversaryRecord(href, record.etag, record.uid, annivs[line].date, annivs[line].hash),
            record.etag, body, true};
    }
    for (int i = 0; i < annivs.size(); ++i)
        if (!annivTaken[i])
            addAnniversary(annivs[i]);
    // Checked once all were fetched; one the server did not give is asked for again next time.
    state.anniversaryYearsChecked =
        std::all_of(yearChecks.cbegin(), yearChecks.cend(), [&](const QByteArray& href) {
            return annivFetched.contains(href) || !state.anniversaries.contains(href);
        });
}

// A new anniversary goes out under a UID an import recognises as Kalendo's anniversary, so that
// a device that does not sync them never takes it for a schedule entry.
void CalendarSync::Pass::addAnniversary(const LocalAnniversary& a, SyncRecord record) {
    if (record.href.isEmpty()) {
        record.uid = "anniversary-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) +
                     KalendoUidSuffix;
        record.href =
            DavPath(calendar) + QUrl::toPercentEncoding(QString::fromUtf8(record.uid)) + ".ics";
    }
    record.etag.clear();
    record.occurrences = {SyncOccurrence{{}, DayKeyOf(a.date), a.hash}};
    state.anniversaries.insert(record.href, record);
    ops << Op{
        Op::PutNew, record, {}, BuildIcsAnniversary(record.uid, a.date, a.noYear, a.title), true};
}

void CalendarSync::Pass::write() {
    try {
        if (!changes.isEmpty())
            ApplyLocalChanges(sync.m_folder, changes);
        if (!annivRemovals.isEmpty() || !annivAdditions.isEmpty())
            ApplyAnniversaryChanges(sync.m_folder, annivRemovals, annivAdditions);
        saveState();
    } catch (const KalendoError& e) {
        failFile(e);
        return;
    }
    written = true;
    emit sync.sending();
    sendOps();
}

void CalendarSync::Pass::sendOps() {
    while (failure.isEmpty() && inFlight < Parallel && nextOp < ops.size()) {
        const Op& op = ops[nextOp++];
        ++inFlight;
        CalDavClient::Headers headers;
        QByteArray verb = "PUT";
        if (op.kind == Op::PutNew)
            headers << qMakePair(QByteArray("If-None-Match"), QByteArray("*"));
        else if (op.etag != UnknownEtag)
            headers << qMakePair(QByteArray("If-Match"), op.etag);
        if (op.kind == Op::Delete)
            verb = "DELETE";
        sync.m_client->send(verb, urlOf(op.after.href), op.body, headers,
                            [this, op](const DavResponse& r) { opDone(op, r); });
    }
    if (inFlight == 0)
        finish();
}

void CalendarSync::Pass::opDone(const Op& op, const DavResponse& r) {
    --inFlight;
    QMap<QByteArray, SyncRecord>& records = op.anniversary ? state.anniversaries : state.records;
    if (op.kind == Op::Delete && (r.status / 100 == 2 || r.status == 404)) {
        records.remove(op.after.href);
        ++outcome.sent;
    } else if (r.status / 100 == 2) {
        SyncRecord after = op.after;
        after.etag = r.etag.isEmpty() ? UnknownEtag : r.etag;
        records.insert(after.href, after);
        ++outcome.sent;
    } else if (r.status == 412 && op.kind == Op::PutNew) {
        // Another event holds the address (its UID): the line goes again under a new one, and
        // that event is not taken for this line's.
        records.remove(op.after.href);
        again = true;
    } else if (r.status == 412 || r.status == 404) {
        again = true; // changed or gone there meanwhile: merge its copy in the next pass
    } else if (failure.isEmpty()) {
        failure = CalDavClient::failure(r, calendar);
        cause = r.status == 0 ? QStringLiteral("connection") : QStringLiteral("server");
        if (r.status == 401 || r.status == 403)
            cause = QStringLiteral("login");
    }
    if (++doneOps % SaveEvery == 0) {
        try {
            saveState();
        } catch (const KalendoError&) {
            // Kept in memory; the save at the end tells.
        }
    }
    sendOps();
}

void CalendarSync::Pass::finish() {
    if (inFlight > 0)
        return;
    if (failure.isEmpty() && !again)
        state.syncToken = newToken;
    if (written) {
        try {
            saveState();
        } catch (const KalendoError& e) {
            if (failure.isEmpty()) {
                failure = e.message();
                cause = QStringLiteral("file");
            }
        }
    }
    outcome.ok = failure.isEmpty();
    outcome.message = failure;
    outcome.cause = cause;
    sync.endPass(outcome, again && failure.isEmpty());
}

CalendarSync::CalendarSync(const QString& dataFolder, QObject* parent)
    : QObject(parent), m_folder(dataFolder), m_usualFirst(Clock::today().year() - 1),
      m_usualLast(Clock::today().year() + 2), m_firstYear(m_usualFirst), m_lastYear(m_usualLast) {}

CalendarSync::~CalendarSync() {
    delete m_client; // its answers must not reach a pass being destroyed
}

void CalendarSync::setYears(int firstYear, int lastYear) {
    m_firstYear = firstYear;
    m_lastYear = lastYear;
}

bool CalendarSync::showYear(int year) {
    if (year >= m_firstYear && year <= m_lastYear)
        return false;
    m_firstYear = std::min(m_firstYear, year);
    m_lastYear = std::max(m_lastYear, year);
    return true;
}

void CalendarSync::start(const SyncAccount& account) {
    if (m_running)
        return;
    m_running = true;
    m_passes = 0;
    m_total = SyncOutcome();
    // One client while the login stays: its connections and their handshakes are kept.
    if (!m_client || account.user != m_account.user || account.password != m_account.password) {
        delete m_client;
        m_client = new CalDavClient(account.user, account.password, this);
    }
    m_account = account;
    m_requestsBefore = m_client->requestCount();
    runPass();
}

void CalendarSync::runPass() {
    ++m_passes;
    m_pass = std::make_unique<Pass>(*this);
    m_pass->begin();
}

void CalendarSync::endPass(const SyncOutcome& outcome, bool again) {
    m_total.received += outcome.received;
    m_total.sent += outcome.sent;
    m_total.conflicts += outcome.conflicts;
    m_total.ok = outcome.ok;
    m_total.message = outcome.message;
    m_total.cause = outcome.cause;
    if (again && m_passes < MaxPasses) {
        // Not from within the pass that ends.
        QMetaObject::invokeMethod(this, &CalendarSync::runPass, Qt::QueuedConnection);
        return;
    }
    if (again) {
        m_total.ok = false;
        m_total.message = QStringLiteral("同期サーバーの予定が同期中に変わり続けたため、"
                                         "同期を終えられませんでした");
        m_total.cause = QStringLiteral("busy");
    }
    m_total.requests = m_client->requestCount() - m_requestsBefore;
    m_running = false;
    const SyncOutcome total = m_total;
    QMetaObject::invokeMethod(
        this, [this, total] { emit finished(total); }, Qt::QueuedConnection);
}
