#include "NotificationDaemon.h"
#include "TestSupport.h"
#include "reminders/NotificationClient.h"
#include "reminders/ReminderScheduler.h"
#include "reminderwindows/ReminderDelivery.h"
#include "reminderwindows/ReminderWindow.h"
#include "rules/Clock.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class tst_ReminderWindows : public QObject {
    Q_OBJECT
private slots:
    void withoutNotificationService();
};

// A desktop without a notification service (a bare window manager): each reminder comes as
// Kalendo's own window above the others, with the same text and actions, withdrawn once its
// entry has passed; Kalendo says why once.
void tst_ReminderWindows::withoutNotificationService() {
    NotificationDaemon desktop;
    QVERIFY2(desktop.start(false), qPrintable(desktop.error()));
    TempDataFolder folder;
    folder.write(QStringLiteral("2026.csv"), sj("20261207,1,10:00,,朝会,,\r\n"
                                                "20261207,2,10:30,11:00,打合せ,第2会議室,\r\n"));
    ReminderSettings settings;
    settings.allDayTime = {};
    settings.anniversaries = false;
    Clock::setFixedNow(QDateTime(QDate(2026, 12, 7), QTime(9, 50)));
    ReminderScheduler scheduler(folder.path());
    scheduler.setSettings(settings);
    NotificationClient client(desktop.bus());
    ReminderDelivery delivery(&scheduler, &client);
    QSignalSpy notice(&delivery, &ReminderDelivery::notice);
    QSignalSpy opened(&delivery, &ReminderDelivery::openDay);
    scheduler.start();

    QTRY_COMPARE(delivery.windows().size(), 1);
    QCOMPARE(delivery.windows().first()->lblSummary->text(), QStringLiteral("朝会"));
    QVERIFY(delivery.windows().first()->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(delivery.windows().first()->isVisible());

    Clock::setFixedNow(QDateTime(QDate(2026, 12, 7), QTime(10, 20)));
    scheduler.check();
    QTRY_COMPARE(delivery.windows().size(), 1);
    TReminderWindow* window = delivery.windows().first();
    QCOMPARE(window->lblSummary->text(), QStringLiteral("打合せ"));
    QCOMPARE(window->lblBody->text(), QStringLiteral("2026/12/07 10:30〜11:00\n場所: 第2会議室"));
    QVERIFY(window->btnSnooze->isVisible());
    QCOMPARE(notice.size(), 1);

    window->btnOpen->click();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.first().first().toDate(), QDate(2026, 12, 7));
    QTRY_VERIFY(delivery.windows().isEmpty());
    Clock::setFixedNow({});
}

QTEST_MAIN(tst_ReminderWindows)
#include "tst_reminderwindows.moc"
