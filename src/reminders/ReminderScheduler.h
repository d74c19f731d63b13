#pragma once

#include "reminders/ReminderPlan.h"
#include "reminders/ReminderSettings.h"
#include "reminders/ShownReminders.h"

#include "data/TextFile.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>

#include <optional>
#include <utility>

class QFileSystemWatcher;
class QTimer;

// Decides when to remind: plans what falls due from the data folder, says each occurrence once
// (ShownReminders) and withdraws it once the entry has passed. A save, an import or a sync that
// changes a file, a change of the clock and a resume re-plan without repeating anything shown.
// What fell due while Kalendo was not running or the computer slept (the last 24 hours) comes at
// the next start or resume, several together in one reminder. "Now" is Clock::now().
class ReminderScheduler : public QObject {
    Q_OBJECT
public:
    explicit ReminderScheduler(const QString& dataFolder, QObject* parent = nullptr);

    const ReminderSettings& settings() const { return m_settings; }
    // Re-plans with new settings; reminders off stops every reminder still to come.
    void setSettings(const ReminderSettings& settings);

    // Reads the record of what was shown, watches the data folder and the system's sleep, and
    // shows what is due.
    void start();
    // Shows what is due now and sets the timer for the next. The timer calls it; so do tests
    // after moving the clock.
    void check();
    // Shows the reminder again SnoozeMinutes from now, also after a restart.
    void snooze(const Reminder& reminder);

    static constexpr int SnoozeMinutes = 5;
    static constexpr int MissedHours = 24;

signals:
    // One reminder, or several that fell due while nobody could be told, to show together.
    void remind(const QList<Reminder>& reminders);
    // The entry of a shown reminder has passed.
    void withdraw(const QByteArray& key);
    // The data folder was read again (after a change of its files, the clock or the settings).
    void planned();
    // The data files or the record could not be read or written: what to tell the user.
    void failed(const QString& message);
    // A burst of changes in the data folder was looked at: after planned() when it changed a file
    // the plan reads, alone when it did not (the scheduler's own record, another program's files).
    void folderLooked();

private:
    void plan(const QDateTime& now);
    void record(const QList<Reminder>& reminders, const QDateTime& now, bool snoozesChanged);
    void save(const QDateTime& now);
    void scheduleNext(const QDateTime& now);
    void folderChanged();
    bool planFilesChanged() const;
    void sleeping(bool goingToSleep);
    Q_SLOT void prepareForSleep(bool goingToSleep) { sleeping(goingToSleep); }

    QString m_dataFolder;
    ReminderSettings m_settings;
    ShownReminders m_shown;
    QList<Reminder> m_plan;
    QDateTime m_plannedAt;
    // The files the plan read, as they were just before it read them.
    QList<std::pair<QString, std::optional<FileStamp>>> m_planFiles;
    bool m_stale = true;
    QHash<QByteArray, QDateTime> m_active; // shown, not yet passed: key -> when it passes
    QDateTime m_lastCheck;
    QElapsedTimer m_sinceCheck;
    QTimer* m_timer;
    QTimer* m_settle; // a burst of file changes (a save, a sync) re-plans once
    QFileSystemWatcher* m_watcher = nullptr;
    QString m_lastFailure;
};
