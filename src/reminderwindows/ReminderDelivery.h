#pragma once

#include "reminders/NotificationClient.h"
#include "reminders/ReminderScheduler.h"

#include <QObject>
#include <QPointer>

class TReminderWindow;

// Hands what the scheduler reminds of to the desktop's notification service, or, where there is
// none, to Kalendo's own reminder windows, telling the user once why. Answers (「開く」,
// 「5分後に再通知」) come back the same way from either.
class ReminderDelivery : public QObject {
    Q_OBJECT
public:
    ReminderDelivery(ReminderScheduler* scheduler, NotificationClient* client,
                     QObject* parent = nullptr);

    // Kalendo's own reminder windows shown now.
    QList<TReminderWindow*> windows() const;

signals:
    // 「開く」: the main window shows that day's list.
    void openDay(const QDate& date);
    // Once per run, when reminders come as Kalendo's own windows: why.
    void notice(const QString& message);

private:
    void show(const QList<Reminder>& reminders);
    void showWindow(const QList<Reminder>& reminders);
    void withdraw(const QByteArray& key);

    ReminderScheduler* m_scheduler;
    NotificationClient* m_client;
    bool m_probed = false;
    bool m_told = false;
    QList<QList<Reminder>> m_waiting; // until the service has answered whether it is there
    QList<QPointer<TReminderWindow>> m_windows;
};
