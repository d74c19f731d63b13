#include "NotificationDaemon.h"
#include "TestSupport.h"
#include "data/TextFile.h"
#include "reminders/NotificationClient.h"
#include "reminders/ReminderScheduler.h"
#include "reminders/ShownReminders.h"
#include "rules/Clock.h"
#include "rules/EntryIdentity.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

// Reminders through a real notification service on a private bus, with the clock fixed.
class tst_Reminders : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void reminded_data();
    void reminded();

private:
    void startKalendo(const QString& folder, const ReminderSettings& settings);

    NotificationDaemon m_daemon;
    std::unique_ptr<NotificationClient> m_client;
    std::unique_ptr<ReminderScheduler> m_scheduler;
    QStringList m_opened;
};

void tst_Reminders::initTestCase() {
    QVERIFY2(m_daemon.start(), qPrintable(m_daemon.error()));
}

void tst_Reminders::cleanupTestCase() {
    m_scheduler.reset();
    m_client.reset();
    Clock::setFixedNow({});
    m_daemon.stop();
}

// What a start of Kalendo does for its reminders, on the test's bus.
void tst_Reminders::startKalendo(const QString& folder, const ReminderSettings& settings) {
    m_scheduler.reset();
    m_client = std::make_unique<NotificationClient>(m_daemon.bus());
    QSignalSpy ready(m_client.get(), &NotificationClient::ready);
    m_client->probe();
    QVERIFY(ready.wait());
    QVERIFY(m_client->hasActions());
    m_scheduler = std::make_unique<ReminderScheduler>(folder);
    connect(m_scheduler.get(), &ReminderScheduler::remind, m_client.get(),
            [this](const QList<Reminder>& r) { m_client->show(r); });
    connect(m_scheduler.get(), &ReminderScheduler::withdraw, m_client.get(),
            &NotificationClient::withdraw);
    connect(m_client.get(), &NotificationClient::snoozeRequested, m_scheduler.get(),
            &ReminderScheduler::snooze);
    connect(m_client.get(), &NotificationClient::openRequested, this,
            [this](const QDate& d) { m_opened << d.toString(QStringLiteral("yyyy/MM/dd")); });
    m_scheduler->setSettings(settings);
    m_scheduler->start();
}

// Steps: "HH:MM" moves the clock of 7 December 2026 there and lets the scheduler look;
// "restart" ends Kalendo and starts it again; "off HH:MM" ends it, moves the clock and starts it;
// "snooze" answers the shown reminder with 「5分後に再通知」; "open" clicks the shown one;
// "save LINE" saves the year's file with the line in place of the 10:00 entry; "alarm TRIGGER"
// gives the 10:00 entry the alarm an imported or synced event carries, "all-day alarm TRIGGER"
// the all-day entry; "quiet HH:MM" is "HH:MM" followed by the scheduler's look at its own write of
// the record, which must not read the data files again.
// Expected: what the service received, oldest first, and how many are still shown at the end.
void tst_Reminders::reminded_data() {
    QTest::addColumn<int>("lead");
    QTest::addColumn<QString>("allDay"); // "HH:MM" or "off"
    QTest::addColumn<bool>("anniversaries");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("received");
    QTest::addColumn<int>("stillShown");

    const QString meeting = QStringLiteral("会議|2026/12/07 10:00〜11:00 / 場所: 会議室A");
    const QString checkup = QStringLiteral("健康診断|2026/12/07 終日");
    const QString wedding = QStringLiteral("記念日: 結婚記念日|2026/12/07 14年目");
    QTest::newRow("10 minutes before, all-day and anniversary at 9:00")
        << 10 << "09:00" << true << QStringList{"09:00", "09:49", "09:50", "09:51"}
        << QStringList{checkup, wedding, meeting} << 3;
    QTest::newRow("own lead time, all-day at its own time")
        << 30 << "07:30" << true << QStringList{"09:29", "09:30"}
        << QStringList{QStringLiteral("お知らせできなかった予定 2件|12/7 健康診断 / 12/7 記念日: "
                                      "結婚記念日"),
                       meeting}
        << 2;
    QTest::newRow("all-day off: anniversary still at 9:00")
        << 10 << "off" << true << QStringList{"09:00", "09:50"} << QStringList{wedding, meeting}
        << 2;
    QTest::newRow("an anniversary without a year: no years")
        << 10 << "off" << true << QStringList{"anniversary ----/12/07,父の誕生日,", "09:00"}
        << QStringList{QStringLiteral("記念日: 父の誕生日|2026/12/07")} << 1;
    QTest::newRow("anniversaries off")
        << 10 << "09:00" << false << QStringList{"09:00"} << QStringList{checkup} << 1;
    QTest::newRow("once across a restart")
        << 10 << "off" << false << QStringList{"09:50", "restart", "09:51", "restart"}
        << QStringList{meeting} << 1;
    QTest::newRow("missed while off, together, the last 24 hours only")
        << 10 << "09:00" << true << QStringList{"off 12:00", "12:01"}
        << QStringList{QStringLiteral("お知らせできなかった予定 3件|12/7 健康診断 / 12/7 記念日: "
                                      "結婚記念日 / 12/7 10:00 会議")}
        << 1;
    QTest::newRow("one missed comes alone")
        << 10 << "off" << false << QStringList{"off 09:55"} << QStringList{meeting} << 1;
    QTest::newRow("snooze") << 10 << "off" << false
                            << QStringList{"09:50", "snooze", "09:54", "09:55", "09:59"}
                            << QStringList{meeting, meeting} << 1;
    QTest::newRow("snooze across a restart")
        << 10 << "off" << false
        << QStringList{"09:50", "snooze", "restart", "09:54", "09:55", "restart"}
        << QStringList{meeting, meeting} << 1;
    QTest::newRow("withdrawn once the entry has passed")
        << 10 << "off" << false << QStringList{"09:50", "10:59", "11:00"} << QStringList{meeting}
        << 0;
    QTest::newRow("a save moves the entry: reminded before the new time")
        << 10 << "off" << false
        << QStringList{"09:30", "save 20261207,1,11:00,,会議,会議室A,", "09:50", "10:49", "10:50"}
        << QStringList{QStringLiteral("会議|2026/12/07 11:00 / 場所: 会議室A")} << 1;
    // The first save lets the files' times tell every later change.
    QTest::newRow("planned again after a save or an alarm, not after the record")
        << 10 << "09:00" << false << QStringList{"save 20261207,1,10:00,11:00,会議,会議室A,",
                                                 "quiet 09:20",
                                                 "alarm -PT30M",
                                                 "09:30",
                                                 "save 20261207,1,10:30,,会議,会議室A,",
                                                 "10:20"}
        << QStringList{checkup, meeting, QStringLiteral("会議|2026/12/07 10:30 / 場所: 会議室A")}
        << 3;
    QTest::newRow("an entry's own alarm wins over the default")
        << 10 << "off" << false << QStringList{"09:20", "alarm -PT30M", "09:29", "09:30"}
        << QStringList{meeting} << 1;
    QTest::newRow("an alarm a day ahead: reminded the day before")
        << 10 << "off" << false
        << QStringList{"save 20261208,1,10:00,11:00,会議,会議室A,", "alarm -P1D", "09:59", "10:00"}
        << QStringList{QStringLiteral("会議|2026/12/08 10:00〜11:00 / 場所: 会議室A")} << 1;
    QTest::newRow("an alarm of hours and minutes")
        << 10 << "off" << false << QStringList{"08:30", "alarm -PT1H5M", "08:54", "08:55"}
        << QStringList{meeting} << 1;
    QTest::newRow("an alarm after the start: the default")
        << 10 << "off" << false << QStringList{"09:20", "alarm PT5M", "09:30", "09:49", "09:50"}
        << QStringList{meeting} << 1;
    QTest::newRow("a trigger of no duration: the default")
        << 10 << "off" << false << QStringList{"09:20", "alarm -P", "09:49", "09:50"}
        << QStringList{meeting} << 1;
    QTest::newRow("a number without its unit: the default")
        << 10 << "off" << false << QStringList{"09:20", "alarm -P5T5M", "09:49", "09:50"}
        << QStringList{meeting} << 1;
    // Counted from the start of the day, and due also with the default for all-day entries off.
    QTest::newRow("an all-day entry's own alarm")
        << 10 << "off" << true << QStringList{"all-day alarm PT9H30M", "09:00", "09:29", "09:30"}
        << QStringList{wedding, checkup} << 2;
    QTest::newRow("open: the day of the reminder")
        << 10 << "off" << false << QStringList{"09:50", "open"}
        << QStringList{meeting, QStringLiteral("open 2026/12/07")} << 0;
}

void tst_Reminders::reminded() {
    QFETCH(int, lead);
    QFETCH(QString, allDay);
    QFETCH(bool, anniversaries);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, received);
    QFETCH(int, stillShown);

    TempDataFolder folder;
    // An entry of the day before, 25 hours before the first start: never due again.
    folder.write(QStringLiteral("2026.csv"), sj("20261206,1,07:00,,昨日の予定,,\r\n"
                                                "20261207,1,10:00,11:00,会議,会議室A,\r\n"
                                                "20261207,2,,,健康診断,,\r\n"));
    folder.write(QStringLiteral("anniversary.csv"), sj("2012/12/07,結婚記念日,\r\n"));
    ReminderSettings settings;
    settings.leadMinutes = lead;
    settings.allDayTime = QTime::fromString(allDay, QStringLiteral("HH:mm"));
    settings.anniversaries = anniversaries;
    m_opened.clear();
    m_daemon.control({QStringLiteral("close-all")});
    const QStringList before = m_daemon.history();

    const auto at = [](const QString& hhmm) {
        return QDateTime(QDate(2026, 12, 7), QTime::fromString(hhmm, QStringLiteral("HH:mm")));
    };
    const auto settled = [this] { return m_client->pending() == 0; };
    Clock::setFixedNow(at(QStringLiteral("08:00")));
    if (!steps.first().startsWith(QStringLiteral("off ")))
        startKalendo(folder.path(), settings);
    for (const QString& step : steps) {
        if (step == QStringLiteral("restart")) {
            startKalendo(folder.path(), settings);
        } else if (step.startsWith(QStringLiteral("off "))) {
            Clock::setFixedNow(at(step.mid(4)));
            startKalendo(folder.path(), settings);
        } else if (step == QStringLiteral("snooze")) {
            m_daemon.chooseAction(QStringLiteral("5分後に再通知"));
            QTRY_COMPARE(m_daemon.displayed(), 0);
        } else if (step == QStringLiteral("open")) {
            m_daemon.control({QStringLiteral("action"), QStringLiteral("0")});
            QTRY_COMPARE(m_opened.size(), 1);
        } else if (step.contains(QStringLiteral("alarm "))) {
            QSignalSpy planned(m_scheduler.get(), &ReminderScheduler::planned);
            const QByteArray entry =
                step.startsWith(QStringLiteral("all-day ")) ? sj("健康診断") : "10:00";
            YearIdentities ids = YearIdentities::read(folder.path(), 2026);
            for (qsizetype i = 0; i < ids.size(); ++i)
                if (ids.line(i).contains(entry))
                    ids.identity(i).properties.insert("ALARM", step.section(' ', -1).toLatin1());
            QVERIFY(WriteYearIdentities(folder.path(), 2026, ids).isEmpty());
            QVERIFY(planned.wait());
        } else if (step.startsWith(QStringLiteral("anniversary "))) {
            // The anniversary file saved with that line alone.
            QSignalSpy planned(m_scheduler.get(), &ReminderScheduler::planned);
            SaveTextLines(folder.file(QStringLiteral("anniversary.csv")),
                          {sj(step.mid(12).toUtf8().constData())});
            QVERIFY(planned.wait());
        } else if (step.startsWith(QStringLiteral("save "))) {
            QSignalSpy planned(m_scheduler.get(), &ReminderScheduler::planned);
            SaveTextLines(folder.file(QStringLiteral("2026.csv")),
                          {sj("20261207,2,,,健康診断,,"), sj(step.mid(5).toUtf8().constData())});
            QVERIFY(planned.wait());
        } else if (step.startsWith(QStringLiteral("quiet "))) {
            QSignalSpy looked(m_scheduler.get(), &ReminderScheduler::folderLooked);
            Clock::setFixedNow(at(step.mid(6)));
            m_scheduler->check();
            QSignalSpy planned(m_scheduler.get(), &ReminderScheduler::planned);
            QVERIFY(looked.wait());
            QCOMPARE(planned.count(), 0);
        } else {
            Clock::setFixedNow(at(step));
            m_scheduler->check();
        }
        QTRY_VERIFY(settled());
    }
    QTRY_COMPARE(m_daemon.displayed(), stillShown);
    m_daemon.control({QStringLiteral("close-all")});
    QStringList got;
    QTRY_VERIFY((got = m_daemon.history().mid(before.size())).size() >=
                received.size() - m_opened.size());
    for (const QString& day : std::as_const(m_opened))
        got << QStringLiteral("open ") + day;
    QCOMPARE(got, received);
    // What was shown is on record in the data folder.
    QVERIFY(folder.exists(QFileInfo(ShownReminders::FilePath(folder.path())).fileName()) ||
            received.isEmpty());
    m_scheduler.reset();
    m_client.reset();
}

QTEST_GUILESS_MAIN(tst_Reminders)
#include "tst_reminders.moc"
