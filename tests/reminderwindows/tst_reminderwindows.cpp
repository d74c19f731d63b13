#include "NotificationDaemon.h"
#include "TestSupport.h"
#include "reminders/Autostart.h"
#include "reminders/NotificationClient.h"
#include "reminders/ReminderScheduler.h"
#include "reminderwindows/NotificationForm.h"
#include "reminderwindows/ReminderDelivery.h"
#include "reminderwindows/ReminderWindow.h"
#include "rules/Clock.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>

class tst_ReminderWindows : public QObject {
    Q_OBJECT
private slots:
    void withoutNotificationService();
    void settingsAndLoginStart_data();
    void settingsAndLoginStart();
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

// 設定 → 通知's OK: the settings as chosen, and the login entry that starts the program given in
// the background (quoted as the desktop entry format wants a path with blanks), or none.
void tst_ReminderWindows::settingsAndLoginStart_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("atLogin");
    QTest::addColumn<QByteArray>("exec"); // the entry's Exec line; empty: no entry
    QTest::newRow("installed") << "/usr/bin/kalendo" << true
                               << QByteArray("Exec=/usr/bin/kalendo --background");
    QTest::newRow("a folder with a blank and a dollar")
        << "/home/u/my $apps/kalendo" << true
        << QByteArray("Exec=\"/home/u/my \\\\$apps/kalendo\" --background");
    QTest::newRow("turned off") << "/usr/bin/kalendo" << false << QByteArray();
}

void tst_ReminderWindows::settingsAndLoginStart() {
    QFETCH(QString, program);
    QFETCH(bool, atLogin);
    QFETCH(QByteArray, exec);
    SetAutostart(true, QStringLiteral("/earlier/kalendo"));
    TNotificationForm form;
    form.ProgramPath = program;
    form.FormShow();
    form.chkEnabled->setChecked(true);
    form.spnLead->setValue(25);
    form.chkAllDay->setChecked(false);
    form.chkAnniversary->setChecked(false);
    form.chkAutostart->setChecked(atLogin);
    form.btnOkClick();

    ReminderSettings expected;
    expected.leadMinutes = 25;
    expected.allDayTime = QTime();
    expected.anniversaries = false;
    QCOMPARE(ReadReminderSettings(), expected);
    QFile entry(AutostartPath());
    QCOMPARE(entry.exists(), atLogin);
    if (atLogin) {
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = entry.readAll().split('\n');
        QVERIFY(lines.contains("[Desktop Entry]"));
        QVERIFY2(lines.contains(exec), entry.fileName().toUtf8());
    }
}

QTEST_MAIN(tst_ReminderWindows)
#include "tst_reminderwindows.moc"
