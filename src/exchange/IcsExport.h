#pragma once

#include "exchange/IcalHandle.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

struct DayEntry;

// What an export wrote.
struct IcsExportCounts {
    int schedules = 0;
    int anniversaries = 0;
    int holidays = 0;
    int events = 0;
    // Schedule lines no day list shows (a key of another year, no date, no title): not written.
    int skippedLines = 0;
    // For the user once the file is written: identities that could not be kept.
    QStringList messages;
};

// The data folder's calendar for the years firstYear..lastYear as one iCalendar object (UTF-8,
// CR LF lines): every schedule entry of those years' files, timed entries in the zone zoneId
// with its VTIMEZONE, all-day entries as dates; every anniversary once, as a yearly event from
// its own date; the holidays and events of those years as all-day events with the categories
// 祝日 and イベント. A schedule entry's event carries the entry's identity (rules/EntryIdentity.h:
// UID, RECURRENCE-ID, SEQUENCE, LAST-MODIFIED), which follows it through edits; entries still
// without one get it here, and it is recorded. An entry without an end has no DTEND; one that
// ends before it starts ends the next day; the days of an imported event of several days are one
// event again. Holidays' UIDs come from their date and title, so exporting the same data again
// gives the same UIDs and a calendar that reads it again updates what it has. Rule files the year
// tables cannot read throw KalendoError, as they do for the month.
QByteArray BuildIcsCalendar(const QString& dataFolder, int firstYear, int lastYear,
                            const QByteArray& zoneId, IcsExportCounts* counts = nullptr);

// Writes BuildIcsCalendar(...) to a file (SaveExportFile).
IcsExportCounts ExportIcsFile(const QString& path, const QString& dataFolder, int firstYear,
                              int lastYear, const QByteArray& zoneId);

// The UIDs this program gives its events end with this; an import recognises its own holidays,
// events and anniversaries by it.
inline constexpr char KalendoUidSuffix[] = "@kalendo";

// One schedule entry of a day as a calendar of one event with the given UID, in the export's
// form (the zone's VTIMEZONE, timed or all-day, LOCATION and DESCRIPTION when not empty).
QByteArray BuildIcsEvent(const QByteArray& uid, const QDate& day, const DayEntry& entry,
                         const QByteArray& zoneId);

// An anniversary as sync sends it: a yearly all-day event from its date, free time, marked with
// the X- property IcsAnniversaryMark valued ANNIVERSARY, with no zone (dates only).
inline constexpr char IcsAnniversaryMark[] = "X-KALENDO-KIND";
QByteArray BuildIcsAnniversary(const QByteArray& uid, const QDate& date, bool noYear,
                               const QByteArray& title);

// Marks an event's start as one whose year means nothing (year given: the start's year), as
// phones keep a birthday without a year, or (nullopt) as a real date.
inline constexpr char IcsOmitYear[] = "X-APPLE-OMIT-YEAR";
void SetIcsYearOmitted(icalcomponent* event, std::optional<int> year);

// Gives an event the start and end of an entry of the day, as the export writes them: in the
// zone zoneId (its TZID) for a timed entry, ending the next day when the end is before the
// start; dates for an all-day one. DTSTART, DTEND and DURATION the event had are replaced. The
// calendar holding the event gets the zone's VTIMEZONE when it has none of that name.
void SetIcsEntryTimes(icalcomponent* event, const QDate& day, const QByteArray& start,
                      const QByteArray& end, const QByteArray& zoneId);

// Gives a calendar the VTIMEZONE of every zone its times name by an IANA name and it does not
// define (a phone may leave them out): servers refuse or misread a TZID without one. A name
// libical does not know stays as it is.
void AddIcsZoneDefinitions(icalcomponent* calendar);
