#include "reminders/ReminderScheduler.h"

#include "data/KalendoError.h"
#include "rules/Clock.h"

#include <QDBusConnection>
#include <QFileSystemWatcher>
#include <QTimer>

#include <algorithm>

namespace {

// A reminder shown this much after it fell due was missed rather than late by a timer's slack.
constexpr qint64 LateSeconds = 60;
// The plan looks this far ahead; a check past it plans again.
constexpr qint64 PlanAheadSeconds = 6 * 3600;
// The longest the timer waits, so that a clock set forward is noticed within it.
constexpr qint64 LongestWaitMs = 60 * 1000;
// Wall clock and elapsed time may drift apart this much between checks before it counts as a
// clock change or a sleep.
constexpr qint64 JumpMs = 3000;

} // namespace

ReminderScheduler::ReminderScheduler(const QString& dataFolder, QObject* parent)
    : QObject(parent), m_dataFolder(dataFolder), m_shown(dataFolder), m_timer(new QTimer(this)),
      m_settle(new QTimer(this)) {
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &ReminderScheduler::check);
    m_settle->setSingleShot(true);
    m_settle->setInterval(300);
    connect(m_settle, &QTimer::timeout, this, &ReminderScheduler::folderChanged);
}

void ReminderScheduler::setSettings(const ReminderSettings& settings) {
    m_settings = settings;
    m_stale = true;
    if (!m_settings.enabled) {
        m_plan.clear();
        if (!m_shown.snoozed().isEmpty()) {
            m_shown.clearSnoozed();
            save(Clock::now());
        }
    }
    if (m_lastCheck.isValid())
        check();
}

void ReminderScheduler::start() {
    try {
        m_shown.load();
    } catch (const KalendoError& e) {
        // Without the record every occurrence of the last day would come again: better none.
        emit failed(e.message());
        return;
    }
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(m_dataFolder);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_settle,
            qOverload<>(&QTimer::start));
    QDBusConnection::systemBus().connect(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
        SLOT(prepareForSleep(bool)));
    check();
}

void ReminderScheduler::sleeping(bool goingToSleep) {
    if (goingToSleep) {
        m_timer->stop();
        return;
    }
    m_stale = true;
    check();
}

void ReminderScheduler::folderChanged() {
    // Writing the record of what was shown changes the folder too: planning again for it alone
    // would read the year again each time a reminder is shown.
    if (m_stale || planFilesChanged()) {
        m_stale = true;
        check();
    }
    emit folderLooked();
}

bool ReminderScheduler::planFilesChanged() const {
    for (const auto& [path, read] : m_planFiles) {
        const std::optional<FileStamp> now = StatFileStamp(path);
        // A file changed within a clock tick of its stamp may not show it in its times.
        if (!read || !now || !CertainlyUnchanged(*read, *now))
            return true;
    }
    return false;
}

void ReminderScheduler::plan(const QDateTime& now) {
    const QDateTime from = now.addSecs(-3600 * MissedHours);
    const QDateTime to = now.addSecs(PlanAheadSeconds);
    // Stamped before they are read, so that a write during the reading shows as a change.
    QList<std::pair<QString, std::optional<FileStamp>>> files;
    for (const QString& path : PlanFiles(m_dataFolder, m_settings, from, to))
        files.append({path, StatFileStamp(path)});
    try {
        m_plan = PlanReminders(m_dataFolder, m_settings, from, to);
        m_planFiles = std::move(files);
        m_plannedAt = now;
        m_stale = false;
        m_lastFailure.clear();
        emit planned();
    } catch (const KalendoError& e) {
        // The plan made before stays; the message goes out once, not at every check.
        if (e.message() != m_lastFailure)
            emit failed(e.message());
        m_lastFailure = e.message();
    }
}

void ReminderScheduler::check() {
    const QDateTime now = Clock::now();
    // The wall clock moved other than the time that passed: set, or the computer slept.
    if (m_lastCheck.isValid() &&
        std::abs(m_lastCheck.msecsTo(now) - m_sinceCheck.elapsed()) > JumpMs)
        m_stale = true;
    m_lastCheck = now;
    m_sinceCheck.start();
    if (!m_settings.enabled) {
        m_timer->stop();
        return;
    }
    if (m_stale || now < m_plannedAt || m_plannedAt.secsTo(now) > PlanAheadSeconds / 2)
        plan(now);

    QList<Reminder> onTime;
    QList<Reminder> missed;
    const QDateTime oldest = now.addSecs(-3600 * MissedHours);
    for (const Reminder& r : std::as_const(m_plan)) {
        if (r.due > now || r.due < oldest || m_shown.contains(r.key))
            continue;
        (r.due.secsTo(now) > LateSeconds ? missed : onTime).append(r);
    }
    if (missed.size() == 1)
        onTime.prepend(missed.takeFirst());
    const qsizetype snoozes = m_shown.snoozed().size();
    const QList<Reminder> snoozed = m_shown.takeSnoozed(now, oldest);
    record(onTime + missed, now, snoozes != m_shown.snoozed().size());
    onTime += snoozed;
    for (const Reminder& r : std::as_const(onTime)) {
        if (r.passes > now)
            m_active.insert(r.key, r.passes);
        emit remind({r});
    }
    if (!missed.isEmpty())
        emit remind(missed);
    for (auto it = m_active.begin(); it != m_active.end();) {
        if (it.value() <= now) {
            emit withdraw(it.key());
            it = m_active.erase(it);
        } else {
            ++it;
        }
    }
    scheduleNext(now);
}

void ReminderScheduler::record(const QList<Reminder>& reminders, const QDateTime& now,
                               bool snoozesChanged) {
    for (const Reminder& r : reminders)
        m_shown.add(r.date, r.key);
    if (!reminders.isEmpty() || snoozesChanged)
        save(now);
}

void ReminderScheduler::save(const QDateTime& now) {
    try {
        // Kept two days past the missed window: an occurrence is never due again after it.
        const QString backup = m_shown.save(now.date().addDays(-2));
        if (!backup.isEmpty())
            emit failed(backup);
    } catch (const KalendoError& e) {
        // Shown once in this run all the same; only a restart could repeat it.
        emit failed(e.message());
    }
}

void ReminderScheduler::snooze(const Reminder& reminder) {
    if (!m_settings.enabled)
        return;
    m_active.remove(reminder.key);
    // On record, so that a restart in between still shows it at its time.
    m_shown.snooze(Clock::now().addSecs(60 * SnoozeMinutes), reminder);
    save(Clock::now());
    scheduleNext(Clock::now());
}

void ReminderScheduler::scheduleNext(const QDateTime& now) {
    QDateTime next = now.addMSecs(LongestWaitMs);
    for (const Reminder& r : std::as_const(m_plan))
        if (r.due > now && r.due < next && !m_shown.contains(r.key))
            next = r.due;
    for (const ShownReminders::Snoozed& s : m_shown.snoozed())
        next = std::min(next, s.at);
    for (const QDateTime& passes : std::as_const(m_active))
        next = std::min(next, passes);
    // Never a busy loop, whatever the clock says.
    m_timer->start(int(std::clamp<qint64>(now.msecsTo(next), 200, LongestWaitMs)));
}
