#pragma once

#include "reminders/ReminderPlan.h"

#include <QWidget>

class QLabel;
class QPushButton;

// A reminder as Kalendo's own small window, for a desktop without a notification service: the
// same text and actions as the notification, above every other window, until answered or the
// entry has passed.
class TReminderWindow : public QWidget {
    Q_OBJECT
public:
    explicit TReminderWindow(const QList<Reminder>& reminders, QWidget* parent = nullptr);

    const QList<Reminder>& reminders() const { return m_reminders; }

    QLabel* lblSummary;
    QLabel* lblBody;
    QPushButton* btnOpen;
    QPushButton* btnSnooze; // only for one reminder
    QPushButton* btnClose;

signals:
    void openRequested(const QDate& date);
    void snoozeRequested(const Reminder& reminder);

private:
    QList<Reminder> m_reminders;
};
