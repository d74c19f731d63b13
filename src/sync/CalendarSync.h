#pragma once

#include "data/KeptReading.h"
#include "sync/AnniversarySync.h"
#include "sync/SyncState.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class CalDavClient;

// The calendar to sync with and how to log in. The password lives in memory only.
struct SyncAccount {
    QUrl calendar; // the calendar collection, ending in "/"
    QString user;
    QString password;
    // Whether the anniversary file syncs too, as yearly all-day events (sync/AnniversarySync.h).
    bool anniversaries = false;
};

// How a sync ended.
struct SyncOutcome {
    bool ok = false;
    QString message;   // the failure, for the user; empty on success
    QString cause;     // one word per kind of failure, so that it is told once
    int received = 0;  // lines added, changed or removed here
    int sent = 0;      // events written or deleted on the server
    int conflicts = 0; // entries changed on both sides, kept twice
    int requests = 0;
};

// Two-way sync of the data folder's schedule with one calendar of a CalDAV server.
//
// The server's changes are found with a sync-collection report from the last sync token
// (RFC 6578), or where the server has none, by a calendar-query of every event's ETag; the
// changed events are fetched in one multiget. Local changes are found by comparing the year
// files with the sync state: a line whose fields hash as last synced is unchanged; a line that
// vanished and a new line on the same day are one entry edited. Changes go out as the
// server's own copy of the event with only the changed properties replaced (If-Match), new
// entries as new events (If-None-Match: *), deletions with If-Match. A 412 runs the sync again
// from the server's copy. An entry changed on both sides takes the server's version and keeps
// the local one as a new entry titled 「競合: …」.
//
// Order makes a sync cut short at any point safe to run again: year files are written before
// the state that describes them, events to send are recorded (with their UID) before they are
// sent, and the sync token is kept only once everything went through; a line found on both
// sides with the same content is taken as one entry, never doubled.
//
// Where the account says so, anniversaries sync the same way: an anniversary line is paired
// with its event by content, else (edited here) by its date; a new one goes out under a UID of
// Kalendo's anniversaries, which a device not syncing them leaves alone. Not syncing them any
// more deletes nothing: their events stay known and untouched until they sync again.
class CalendarSync : public QObject {
    Q_OBJECT
public:
    explicit CalendarSync(const QString& dataFolder, QObject* parent = nullptr);
    ~CalendarSync() override;

    // The years whose occurrences of recurring events are brought in: the year before to two
    // years ahead, and every year between them and a year shown (kept in the sync state, so the
    // range only grows). A grown range brings the occurrences of the new years at the next
    // sync, fetching only the events that may have some there.
    void setYears(int firstYear, int lastYear);
    // Widens the range to a year the user shows; true when it grew.
    bool showYear(int year);
    // Starts a sync unless one runs; finished() tells its end.
    void start(const SyncAccount& account);
    bool isRunning() const { return m_running; }

signals:
    void finished(const SyncOutcome& outcome);
    // The year files and the state are written; the changes to the server are about to go.
    void sending();

private:
    struct Pass;
    void runPass();
    void endPass(const SyncOutcome& outcome, bool again);

    QString m_folder;
    // The state and the anniversaries as the last sync read them, while their files stay.
    KeptReading<SyncState> m_state;
    KeptReading<QList<LocalAnniversary>> m_anniversaries;
    int m_usualFirst; // the year before to two years ahead, when made
    int m_usualLast;
    int m_firstYear;
    int m_lastYear;
    SyncAccount m_account;
    bool m_running = false;
    int m_passes = 0;
    SyncOutcome m_total;
    CalDavClient* m_client = nullptr;
    int m_requestsBefore = 0; // the client's count when this sync started
    std::unique_ptr<Pass> m_pass;
};
