#include "reminderwindows/ReminderDelivery.h"

#include "reminderwindows/ReminderWindow.h"

ReminderDelivery::ReminderDelivery(ReminderScheduler* scheduler, NotificationClient* client,
                                   QObject* parent)
    : QObject(parent), m_scheduler(scheduler), m_client(client) {
    connect(m_scheduler, &ReminderScheduler::remind, this, &ReminderDelivery::show);
    connect(m_scheduler, &ReminderScheduler::withdraw, this, &ReminderDelivery::withdraw);
    connect(m_client, &NotificationClient::openRequested, this, &ReminderDelivery::openDay);
    connect(m_client, &NotificationClient::snoozeRequested, m_scheduler,
            &ReminderScheduler::snooze);
    connect(m_client, &NotificationClient::ready, this, [this] {
        m_probed = true;
        for (const QList<Reminder>& r : std::exchange(m_waiting, {}))
            m_client->show(r);
    });
    connect(m_client, &NotificationClient::unavailable, this,
            [this](const QString& reason, const QList<Reminder>& notShown) {
                m_probed = true;
                if (!m_told && !reason.isEmpty()) {
                    m_told = true;
                    emit notice(reason);
                }
                for (const QList<Reminder>& r : std::exchange(m_waiting, {}))
                    showWindow(r);
                if (!notShown.isEmpty())
                    showWindow(notShown);
            });
    m_client->probe();
}

QList<TReminderWindow*> ReminderDelivery::windows() const {
    QList<TReminderWindow*> shown;
    for (const QPointer<TReminderWindow>& w : m_windows)
        if (w)
            shown.append(w);
    return shown;
}

void ReminderDelivery::show(const QList<Reminder>& reminders) {
    if (!m_probed)
        m_waiting.append(reminders);
    else if (m_client->isReady())
        m_client->show(reminders);
    else
        showWindow(reminders);
}

void ReminderDelivery::showWindow(const QList<Reminder>& reminders) {
    auto* window = new TReminderWindow(reminders);
    connect(window, &TReminderWindow::openRequested, this, &ReminderDelivery::openDay);
    connect(window, &TReminderWindow::snoozeRequested, m_scheduler, &ReminderScheduler::snooze);
    m_windows.removeAll(nullptr);
    m_windows.append(window);
    window->show();
    window->raise();
}

void ReminderDelivery::withdraw(const QByteArray& key) {
    m_client->withdraw(key);
    for (const QPointer<TReminderWindow>& w : std::as_const(m_windows)) {
        if (!w)
            continue;
        const QList<Reminder>& shown = w->reminders();
        // A window of several stays: it lists what was missed.
        if (shown.size() == 1 && shown.first().key == key)
            w->close();
    }
}
