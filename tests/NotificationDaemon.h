#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// A desktop of its own for a test: an X server (Xvfb), a private session bus and a real
// notification service on it (dunst), started by the test and stopped with it.
class NotificationDaemon {
public:
    ~NotificationDaemon() { stop(); }

    // withService false: the X server and the bus only, a desktop without notifications.
    bool start(bool withService = true) {
        if (!m_dir.isValid())
            return fail("no temporary folder");
        m_display = firstLine(startProcess(m_xvfb, QStringLiteral("Xvfb"),
                                           {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                            QStringLiteral("-noreset"), QStringLiteral("-nolisten"),
                                            QStringLiteral("tcp")}));
        if (m_display.isEmpty())
            return fail("Xvfb gave no display");
        m_display.prepend(QLatin1Char(':'));
        m_address = firstLine(startProcess(m_bus, QStringLiteral("dbus-daemon"),
                                           {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                            QStringLiteral("--print-address=1"),
                                            QStringLiteral("--address=unix:dir=") + m_dir.path()}));
        if (m_address.isEmpty())
            return fail("dbus-daemon gave no address");
        m_connection = QDBusConnection::connectToBus(m_address, QStringLiteral("test-session"));
        if (!m_connection.isConnected())
            return fail("cannot connect to the private bus");
        if (!withService)
            return true;
        // The context menu (dunstctl context) picks the action named in the file "choice".
        QFile menu(m_dir.filePath(QStringLiteral("choose")));
        if (!menu.open(QIODevice::WriteOnly) ||
            menu.write("#!/bin/sh\nexec grep -m1 -F \"$(cat \"$(dirname \"$0\")/choice\")\"\n") <
                0 ||
            !menu.setPermissions(menu.permissions() | QFileDevice::ExeOwner))
            return fail("cannot write the context menu");
        menu.close();
        QFile config(m_dir.filePath(QStringLiteral("dunstrc")));
        // Every notification stays and goes to the history, none stacked with another.
        if (!config.open(QIODevice::WriteOnly) ||
            config.write("[global]\n    notification_limit = 0\n    stack_duplicates = false\n"
                         "    history_length = 100\n    idle_threshold = 0\n    dmenu = " +
                         QFile::encodeName(menu.fileName()) + "\n") < 0)
            return fail("cannot write the service's settings");
        config.close();
        m_dunst.setProcessEnvironment(environment());
        m_dunst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_dunst.start(QStringLiteral("dunst"), {QStringLiteral("-conf"), config.fileName()});
        if (!m_dunst.waitForStarted())
            return fail("dunst did not start");
        const bool up = QTest::qWaitFor(
            [this] {
                return m_connection.interface()->isServiceRegistered(
                    QStringLiteral("org.freedesktop.Notifications"));
            },
            20000);
        return up ? true : fail("dunst never took its name on the bus");
    }

    void stop() {
        for (QProcess* p : {&m_dunst, &m_bus, &m_xvfb}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(10000))
                    p->kill();
                p->waitForFinished();
            }
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("test-session"));
    }

    const QDBusConnection& bus() const { return m_connection; }
    QString display() const { return m_display; }
    QString error() const { return m_error; }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        return env;
    }

    // A command of the service's own control program; its standard output.
    QByteArray control(const QStringList& args) const {
        QProcess ctl;
        ctl.setProcessEnvironment(environment());
        ctl.start(QStringLiteral("dunstctl"), args);
        ctl.waitForFinished();
        return ctl.readAllStandardOutput();
    }
    // Chooses the action of that label in the context menu of the notification shown.
    void chooseAction(const QString& label) const {
        QFile choice(m_dir.filePath(QStringLiteral("choice")));
        if (choice.open(QIODevice::WriteOnly))
            choice.write(label.toUtf8());
        choice.close();
        control({QStringLiteral("context")});
    }
    int displayed() const {
        return control({QStringLiteral("count"), QStringLiteral("displayed")}).trimmed().toInt();
    }
    // Every notification the service received and has closed since it started, oldest first, as
    // "summary|body" with the body's lines joined by " / ".
    QStringList history() const {
        const QJsonArray list = QJsonDocument::fromJson(control({QStringLiteral("history")}))
                                    .object()
                                    .value(QStringLiteral("data"))
                                    .toArray()
                                    .at(0)
                                    .toArray();
        QStringList out;
        for (const QJsonValue& n : list) {
            const auto text = [&n](const char* key) {
                return n.toObject()
                    .value(QLatin1String(key))
                    .toObject()
                    .value(QStringLiteral("data"))
                    .toString();
            };
            out.prepend(text("summary") + QLatin1Char('|') +
                        text("body").replace(QLatin1Char('\n'), QStringLiteral(" / ")));
        }
        return out;
    }

private:
    bool fail(const char* what) {
        m_error = QString::fromUtf8(what);
        return false;
    }
    QProcess& startProcess(QProcess& p, const QString& program, const QStringList& args) {
        p.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        p.start(program, args);
        return p;
    }
    static QString firstLine(QProcess& p) {
        if (!p.waitForStarted())
            return {};
        QDeadlineTimer deadline(20000);
        while (!p.canReadLine() && p.state() == QProcess::Running && !deadline.hasExpired())
            p.waitForReadyRead(int(deadline.remainingTime()));
        return QString::fromLocal8Bit(p.readLine()).trimmed();
    }

    QTemporaryDir m_dir;
    QProcess m_xvfb;
    QProcess m_bus;
    QProcess m_dunst;
    QString m_display;
    QString m_address;
    QString m_error;
    QDBusConnection m_connection{QStringLiteral("none")};
};
