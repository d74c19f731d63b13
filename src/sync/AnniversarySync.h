#pragma once

#include "data/TextFile.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Anniversaries on a CalDAV calendar, where the user chose to sync them: each line of the
// anniversary file is a yearly all-day event from its date.
//
// An event of the server is an anniversary when it is one event (no overrides) on whole days,
// one day long, repeating every year from its start with no end (RRULE:FREQ=YEARLY, no COUNT,
// UNTIL or other parts but its own month and day), nothing left out or added (no EXDATE or
// RDATE), not cancelled, and has a title: how calendars and phones keep birthdays. Any other
// event, yearly ones with an end among them, is a schedule entry as before.

// The title's bytes, as the anniversary editor takes them.
inline constexpr int AnniversaryTitleBytes = 20;

// A line of the anniversary file sync takes: a readable date and a title.
struct LocalAnniversary {
    QByteArray line; // as stored, to find it again
    QDate date;      // in AnniversaryNoYearIn where the year is not known (rules/RuleEntry.h)
    bool noYear = false;
    QByteArray title; // trimmed
    QByteArray hash;  // AnniversaryHash
};

// What identifies an anniversary's content across devices: its date and title as stored.
QByteArray AnniversaryHash(const QDate& date, bool noYear, const QByteArray& title);

// The line for an anniversary, read by the list as its date and title.
QByteArray AnniversaryLine(const QDate& date, bool noYear, const QByteArray& title);

// The lines of the data folder's anniversary file that sync takes, in file order; a missing
// file gives none. A file that cannot be read throws KalendoError. With stamp, what the file was
// is kept there.
QList<LocalAnniversary> ReadLocalAnniversaries(const QString& dataFolder,
                                               FileStamp* stamp = nullptr);

// The anniversary an event of the server is, its title stored as the file holds it; none when
// the event is no anniversary (above). A start marked IcsOmitYear with its own year has no year.
struct ServerAnniversary {
    QDate date; // in AnniversaryNoYearIn where the event's start says its year means nothing
    bool noYear = false;
    QByteArray title;
};
std::optional<ServerAnniversary> AnniversaryOfEvent(const QByteArray& ics);

// Removes the lines given (by their bytes, one line each, passed over when no longer there) and
// adds new ones where the list's order (newest first) puts them; every other line stays byte
// for byte. The file is replaced atomically, with its backup, only while it is still as read;
// when another program wrote it meanwhile the changes are made over that version. Returns the
// messages to tell (a backup not kept); throws KalendoError when it cannot be saved.
QStringList ApplyAnniversaryChanges(const QString& dataFolder, const QByteArrayList& removals,
                                    const QByteArrayList& additions);
