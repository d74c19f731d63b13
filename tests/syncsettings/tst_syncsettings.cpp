#include "RadicaleServer.h"
#include "TestSupport.h"
#include "syncsettings/SyncRunner.h"
#include "syncsettings/SyncSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

// The settings window and the runner, as the user meets them, against a Radicale server the
// test starts itself.
class tst_SyncSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void settingsWindow();
    void failureToldOnce_data();
    void failureToldOnce();

private:
    QUrl makeCalendar(const QString& name);

    RadicaleServer m_server;
    QWidget m_window;
};

namespace {

const QString User = QString::fromLatin1(RadicaleServer::User);
const QString Password = QString::fromLatin1(RadicaleServer::Password);

// Acts in the modal window open, whichever it is, each time it looks (every few milliseconds).
class Hand : public QObject {
public:
    explicit Hand(std::function<void(QWidget*)> act) : m_act(std::move(act)) {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (QWidget* modal = QApplication::activeModalWidget())
                m_act(modal);
        });
        m_timer.start();
    }

private:
    std::function<void(QWidget*)> m_act;
    QTimer m_timer;
};

} // namespace

void tst_SyncSettings::initTestCase() {
    QVERIFY2(m_server.start(), "radicale did not start");
}

QUrl tst_SyncSettings::makeCalendar(const QString& name) {
    const QUrl url = m_server.url(QStringLiteral("/%1/%2/").arg(User, name));
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setRawHeader("Authorization",
                         "Basic " + (User + QLatin1Char(':') + Password).toUtf8().toBase64());
    QNetworkReply* reply = network.sendCustomRequest(request, "MKCALENDAR");
    QSignalSpy done(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        done.wait(30000);
    reply->deleteLater();
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 201 ? url : QUrl();
}

void tst_SyncSettings::settingsWindow() {
    makeCalendar(QStringLiteral("home"));
    const QUrl chosen = makeCalendar(QStringLiteral("work"));
    QVERIFY(chosen.isValid());
    WriteSyncSettings({});
    TempDataFolder data;
    data.write(QStringLiteral("2026.csv"), "20261207,1,10:00,11:00," + sj("会議") + ",,\r\n");
    data.write(QStringLiteral("anniversary.csv"), "2012/03/30," + sj("結婚記念日") + ",\r\n");
    bool tickedAtFirst = true;
    TSyncRunner runner(data.path(), &m_window);
    QStringList statuses;
    connect(&runner, &TSyncRunner::Status, this, [&](const QString& text) { statuses << text; });
    int step = 0;
    QString refusal;
    Hand hand([&](QWidget* modal) {
        auto* form = qobject_cast<TSyncSettingsForm*>(modal);
        if (!form)
            return;
        if (step == 0) {
            // Every label's access key reaches its field.
            for (const QLabel* label : form->findChildren<QLabel*>())
                if (label->text().contains(QLatin1Char('&')))
                    QVERIFY2(label->buddy(), qPrintable(label->text()));
            // Not this machine, not https: refused before anything is sent.
            form->chkEnabled->setChecked(true);
            tickedAtFirst = form->chkAnniversaries->isChecked();
            form->chkAnniversaries->setChecked(true);
            form->editServer->setText(QStringLiteral("http://calendar.invalid/"));
            form->editUser->setText(User);
            form->editPassword->setText(Password);
            form->btnFind->click();
            refusal = form->lblState->text();
            form->editServer->setText(m_server.url().toString());
            form->btnFind->click();
            step = 1;
        } else if (step == 1 && form->comboCalendar->count() >= 2) {
            form->comboCalendar->setCurrentIndex(form->comboCalendar->findData(chosen));
            form->btnOk->click();
            step = 2;
        }
    });
    runner.OpenSettings();
    QCOMPARE(step, 2);
    QVERIFY2(refusal.contains(QStringLiteral("https")) &&
                 refusal.contains(QStringLiteral("calendar.invalid")),
             qPrintable(refusal));
    QCOMPARE(ReadSyncSettings().calendar, chosen);
    QTRY_VERIFY_WITH_TIMEOUT(!statuses.isEmpty() && statuses.last() != QStringLiteral("同期中…"),
                             60000);
    QVERIFY2(statuses.last().startsWith(QStringLiteral("同期: ")), qPrintable(statuses.last()));
    // The entry, and the anniversary the box ticked (off until then) sends.
    QVERIFY(!tickedAtFirst);
    QVERIFY(ReadSyncSettings().anniversaries);
    QCOMPARE(m_server.storedEvents(QStringLiteral("work")), 2);
    // The password is in no file the program wrote: settings, data home, data folder.
    for (const QString& folder : {qEnvironmentVariable("XDG_CONFIG_HOME"),
                                  qEnvironmentVariable("XDG_DATA_HOME"), data.path()}) {
        QVERIFY(!folder.isEmpty());
        QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile f(files.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY2(!f.readAll().contains(RadicaleServer::Password), qPrintable(f.fileName()));
        }
    }
}

void tst_SyncSettings::failureToldOnce_data() {
    QTest::addColumn<QString>("server"); // up, down for the rounds marked -, tls
    QTest::addColumn<QString>("rounds"); // per sync: the password typed, or "-" for the right one
    QTest::addColumn<QString>("message");
    QTest::newRow("wrong password") << "up"
                                    << "nope nope nope"
                                    << "ログインできません";
    // A sync that went through between two failures does not make the cause new again.
    QTest::newRow("server down") << "down"
                                 << "down up down"
                                 << "接続できません";
    QTest::newRow("untrusted certificate") << "tls"
                                           << "- -"
                                           << "証明書は信頼できない";
}

void tst_SyncSettings::failureToldOnce() {
    QFETCH(QString, server);
    QFETCH(QString, rounds);
    QFETCH(QString, message);
    RadicaleServer tls;
    QUrl calendar = makeCalendar(QStringLiteral("told-%1").arg(server));
    if (server == QLatin1String("tls")) {
        QVERIFY(tls.useSelfSignedCertificate());
        QVERIFY2(tls.start(), "radicale with https did not start");
        calendar = tls.url(calendar.path());
    }
    QVERIFY(calendar.isValid());
    WriteSyncSettings({true, calendar.adjusted(QUrl::RemovePath), User, calendar});
    TempDataFolder data;
    TSyncRunner runner(data.path(), &m_window);
    QStringList statuses;
    connect(&runner, &TSyncRunner::Status, this, [&](const QString& text) {
        if (text != QStringLiteral("同期中…"))
            statuses << text;
    });
    QString typed;
    QStringList boxes;
    Hand hand([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->text();
            box->accept();
        } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
            input->setTextValue(typed);
            input->accept();
        }
    });
    const QStringList steps = rounds.split(QLatin1Char(' '));
    for (int i = 0; i < steps.size(); ++i) {
        const QString& s = steps[i];
        typed = s == QLatin1String("-") || server == QLatin1String("down") ? Password : s;
        if (s == QLatin1String("down"))
            m_server.stop();
        else if (s == QLatin1String("up"))
            QVERIFY(m_server.start());
        runner.SyncNow();
        QTRY_COMPARE_WITH_TIMEOUT(statuses.size(), i + 1, 60000);
        const bool fails = s != QLatin1String("up");
        QVERIFY2(statuses.last().contains(message) == fails &&
                     statuses.last().contains(QStringLiteral("127.0.0.1")) == fails,
                 qPrintable(statuses.last()));
    }
    if (server == QLatin1String("down"))
        QVERIFY(m_server.start()); // for the rows after
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].contains(message) && !boxes[0].contains(Password), qPrintable(boxes[0]));
}

QTEST_MAIN(tst_SyncSettings)
#include "tst_syncsettings.moc"
