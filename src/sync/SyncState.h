#pragma once

#include "data/TextFile.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// One schedule line an event of the server gave (or a line sent as one): which occurrence of
// the event it is (empty for a one-off event), its day and the hash of the line's fields as
// last synced (LocalEntryHash).
struct SyncOccurrence {
    QByteArray occurrence;
    QByteArray dayKey;
    QByteArray hash;
    bool operator==(const SyncOccurrence&) const = default;
};

// An event of the calendar as last synced. An empty etag: sent but not yet known to have
// arrived (the server may or may not hold it), so that a sync cut short sends it again under
// the same UID and href rather than as a second event.
struct SyncRecord {
    QByteArray href; // DavPath
    QByteArray etag;
    QByteArray uid;
    QList<SyncOccurrence> occurrences;
    bool operator==(const SyncRecord&) const = default;
};

// What the data folder knows of its calendar on the server, kept in sync-state.csv beside the
// year files and written through the same atomic writer. It holds no password.
struct SyncState {
    QByteArray calendar;       // the calendar's address the records belong to
    QByteArray syncToken;      // of the last complete sync (sync-collection), or empty
    bool noSyncReport = false; // the server answered sync-collection with an error
    // The years whose occurrences of recurring events the records hold; 0 when not noted.
    int firstYear = 0;
    int lastYear = 0;
    QMap<QByteArray, SyncRecord> records; // by href
    // The events that are anniversaries here (sync/AnniversarySync.h), by href: each with one
    // occurrence, its date (YYYYMMDD) and AnniversaryHash. Kept while anniversaries are not
    // synced, so that they are neither taken for schedule entries nor forgotten.
    QMap<QByteArray, SyncRecord> anniversaries;
    bool anniversariesSynced = false; // whether the last sync took them
    // Whether every anniversary record was made or checked by a sync that keeps a birthday
    // without a year as such: a line of the year 1604 is then that year, not one to mend.
    bool anniversaryYearsChecked = false;
    bool operator==(const SyncState&) const = default;

    // A missing file gives an empty state; one that cannot be read throws KalendoError. With
    // stamp, what the file was is kept there.
    static SyncState load(const QString& dataFolder, FileStamp* stamp = nullptr);
    // Throws KalendoError when the file cannot be written; returns a backup's failure message.
    QString save(const QString& dataFolder) const;
};

QString SyncStatePath(const QString& dataFolder);
