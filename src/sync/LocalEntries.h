#pragma once

#include "rules/DaySchedule.h"
#include "rules/EntryIdentity.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// A schedule entry of a year file as sync sees it: its day, fields (trimmed) and their hash.
struct LocalEntry {
    QDate day;
    DayEntry entry;
    QByteArray hash;
    // Who the entry is (rules/EntryIdentity.h): the UID it goes to the server with, and the
    // server's UID and RECURRENCE-ID for an entry that came from there.
    EntryIdentity identity;
};

QByteArray DayKeyOf(const QDate& day);

// A text field as storing another calendar's text makes it (exchange/TextFit.h): a comma
// becomes the full-width one, a line break a blank, the text is cut to the field's bytes.
QByteArray FittedField(const QByteArray& text, int maxBytes);

// What identifies an entry's content across devices: its day and fields, not its number, which
// the day list renumbers. The texts count as stored, so that a line holding "a,b" (quoted) and
// the server's "a,b", stored as "a，b", are the same entry.
QByteArray LocalEntryHash(const QDate& day, const DayEntry& entry);

// Every entry of every year file (NNNN.csv) of the data folder, in file order: lines with a
// date of their year and a title, with their identities (recorded when new ones were given), or
// without (identities false: reading them costs more than the entries). Files that cannot be
// read throw KalendoError.
QList<LocalEntry> ReadLocalEntries(const QString& dataFolder, bool identities = true);

// Changes to the year files: lines to remove (by hash, one line each), entries to add (each
// numbered after its day's last).
struct LocalChanges {
    QMap<int, QByteArrayList> removals;
    QMap<int, QList<LocalEntry>> additions;
    bool isEmpty() const { return removals.isEmpty() && additions.isEmpty(); }
    void remove(const LocalEntry& e) { removals[e.day.year()] << e.hash; }
    void add(const LocalEntry& e) { additions[e.day.year()] << e; }
};

// Applies the changes to the files as they are now: every other line stays byte for byte; a
// line to remove that is no longer there (the user changed it meanwhile) is passed over. Each
// file goes through the atomic save, followed by its identities, an added entry with its own.
// Returns the messages to tell (backups or identities not kept).
QStringList ApplyLocalChanges(const QString& dataFolder, const LocalChanges& changes);
