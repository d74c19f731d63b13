#pragma once

#include "reminders/ReminderPlan.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>

class QDBusPendingCallWatcher;

// The desktop's notification service (org.freedesktop.Notifications) as Kalendo uses it: a
// reminder becomes a notification with Kalendo's name and icon and, where the service shows
// actions, 「開く」 and 「5分後に再通知」. Every call is asynchronous: a slow or missing service
// never holds up the window.
class NotificationClient : public QObject {
    Q_OBJECT
public:
    explicit NotificationClient(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);

    // Asks the service what it offers; ready() or unavailable() follows.
    void probe();
    bool isReady() const { return m_ready; }
    bool hasActions() const { return m_actions; }
    // Calls sent that the service has not answered yet.
    int pending() const { return m_pending; }

    // One reminder, or several together (the missed ones; 「開く」 then opens the first one's day).
    void show(const QList<Reminder>& reminders);
    // Withdraws the notification of an occurrence, if one is shown.
    void withdraw(const QByteArray& key);

    // The application name and icon the notifications carry.
    static QString ApplicationName();
    static QString IconName();

signals:
    void ready();
    // No service answered, or it refused a notification: why, in the user's terms. Reminders
    // not taken are handed back to be shown another way.
    void unavailable(const QString& reason, const QList<Reminder>& notShown);
    void openRequested(const QDate& date);
    void snoozeRequested(const Reminder& reminder);

private:
    Q_SLOT void actionInvoked(uint id, const QString& action);
    Q_SLOT void notificationClosed(uint id, uint reason);
    void refused(const QString& reason, const QList<Reminder>& reminders);

    QDBusConnection m_bus;
    bool m_ready = false;
    bool m_actions = false;
    bool m_markup = false; // the service reads the body as markup: user text is escaped
    int m_pending = 0;
    QHash<uint, QList<Reminder>> m_shown; // notification id -> what it shows
    QHash<QByteArray, uint> m_ids;        // occurrence key -> notification id
};
