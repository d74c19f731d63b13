#pragma once

#include "reminders/ReminderPlan.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// The occurrences already reminded of, so that each is reminded once across restarts, and the
// reminders snoozed, so that a restart still shows them at their time: a file of the data folder,
// reminded.csv, one line "YYYYMMDD,key" per occurrence and one "snooze,yyyyMMddHHmmss,…" per
// snoozed reminder (with what it shows), written whole through the atomic writer after each
// change, so that a kill leaves the old record or the new one. Occurrences of days long past are
// dropped as it is written.
class ShownReminders {
public:
    explicit ShownReminders(const QString& dataFolder = {});

    // Reads the file; a missing file is an empty record. Throws KalendoError when it cannot be
    // read.
    void load();
    bool contains(const QByteArray& key) const { return m_shown.contains(key); }
    void add(const QDate& date, const QByteArray& key) { m_shown.insert(key, date); }

    struct Snoozed {
        QDateTime at;
        Reminder reminder;
    };
    const QList<Snoozed>& snoozed() const { return m_snoozed; }
    void snooze(const QDateTime& at, const Reminder& reminder) { m_snoozed.append({at, reminder}); }
    // Takes out the snoozed reminders due at `now`, those due since `oldest` first; older ones
    // are dropped.
    QList<Reminder> takeSnoozed(const QDateTime& now, const QDateTime& oldest);
    void clearSnoozed() { m_snoozed.clear(); }

    // Writes the record, keeping the days from `keepFrom` on. Returns the backup message of
    // SaveTextLines; throws KalendoError when the file cannot be written.
    QString save(const QDate& keepFrom);

    static QString FilePath(const QString& dataFolder);

private:
    QString m_path;
    QHash<QByteArray, QDate> m_shown;
    QList<Snoozed> m_snoozed;
};
