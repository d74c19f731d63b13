#pragma once

#include "rules/DaySchedule.h"
#include "rules/EntryIdentity.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

// How an import is read: the years recurring events are expanded in, the zone times are shown
// in, and what becomes of an entry holding text code page 932 cannot hold.
struct IcsImportOptions {
    int firstYear = 0;
    int lastYear = 0;
    QByteArray zoneId;
    // false: such an entry is not added; true: it is added without those characters.
    bool dropUnencodable = false;
    // An event shorter than a day that ends on the next day becomes one entry ending before
    // its start, as the day list stores one that runs overnight; false: one entry each day.
    bool overnightAsOne = true;
};

// One schedule entry an import would add, as it would be stored.
struct IcsImportItem {
    // Update: replaces the stored entry of the same UID and RECURRENCE-ID, which is older.
    enum State { Add, Exists, Refused, Update };
    QDate day;
    DayEntry entry;
    State state = Add;
    // What was changed to fit, or why the entry is not added.
    QStringList notes;
    // Who the entry is: the event's UID and RECURRENCE-ID, SEQUENCE and LAST-MODIFIED.
    EntryIdentity identity;
    // Update: the stored entry it replaces (its year and the line of that year's file).
    int storedYear = 0;
    QByteArray storedLine;
    // Its UID and RECURRENCE-ID are stored already (Update or Exists by identity).
    bool matched = false;
    // Its text is not the event's as it was (FittedText::lossy, or no title).
    bool inexact = false;
};

// What an import would do, day by day, before anything is written.
struct IcsImportPlan {
    QList<IcsImportItem> items; // by day, then start time, then file order
    // Events not taken: Kalendo's own holidays, events and anniversaries, cancelled events.
    int ignoredEvents = 0;
    // Stored entries an update leaves without a successor (an event now of fewer days): year, line.
    QList<QPair<int, QByteArray>> replacedLines;
    // What the limits against endless or huge calendars left out, for the status line.
    QStringList limits;
    int count(IcsImportItem::State state) const;
};

// An iCalendar file's bytes as the UTF-8 text the import reads, and the encoding they were in
// ("UTF-8", or "Shift_JIS" for bytes that are no UTF-8 but read whole as code page 932, as older
// Japanese phones and tools write them). Other bytes stay as they are, named UTF-8.
struct IcsText {
    QByteArray utf8;
    QString encoding;
};
IcsText DecodeIcsBytes(const QByteArray& bytes);

// The events of an iCalendar text as schedule entries: a one-off event on its days (times in
// the zone of the options, one entry per day of an event over several days, all-day dates as
// 終日); a recurring event (RRULE, less its EXDATEs and the occurrences another VEVENT of the
// same UID replaces) on each occurrence within the years of the options, each occurrence with
// its RECURRENCE-ID. An event whose UID and RECURRENCE-ID a stored entry has is that entry: it is
// marked Update when the file's copy is newer (a higher SEQUENCE, else at the same SEQUENCE a
// later LAST-MODIFIED or DTSTAMP) and differs, with what changes in its notes ("10:00→11:00"),
// Exists otherwise. Any other entry equal to one already stored on its day (title, start and
// end) or to one before it is marked Exists; text is fitted to the fields (FitToCp932). A text
// libical cannot read as a calendar throws KalendoError. An empty dataFolder plans without
// looking at stored entries (every entry that fits is Add).
IcsImportPlan PlanIcsImport(const QByteArray& ics, const QString& dataFolder,
                            const IcsImportOptions& options);

// Adds the plan's Add entries to their year files and puts its Update entries in the place of
// the stored entries they update (on the same day in the same place and number, else as a new
// entry of their day): every other line stays as it was, byte for byte, and each new entry
// follows, numbered after its day's last. Every file is
// prepared before the first is written, each through the atomic save, and followed by its
// identities (RecordYearIdentities), each new entry with the item's. The result: the messages
// of backups or identities that could not be kept.
QStringList ApplyIcsImport(const IcsImportPlan& plan, const QString& dataFolder);
