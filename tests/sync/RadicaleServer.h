#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

// A Radicale server of the test's own on 127.0.0.1 at a free port, with its own storage and a
// plain password file, stopped with the test.
class RadicaleServer {
public:
    static constexpr char User[] = "alice";
    static constexpr char Password[] = "pw-Kq83zT";

    RadicaleServer() {
        QFile users(m_dir.filePath(QStringLiteral("users")));
        if (users.open(QIODevice::WriteOnly))
            users.write(QByteArray(User) + ':' + Password + '\n');
    }
    ~RadicaleServer() { stop(); }

    // Serves https with a self-signed certificate of its own, made by openssl, which no system
    // trusts; false when it could not be made. Call before start().
    bool useSelfSignedCertificate() {
        const QString cert = m_dir.filePath(QStringLiteral("cert.pem"));
        const QString key = m_dir.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                       QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-keyout"), key,
                       QStringLiteral("-out"), cert});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            return false;
        m_tls = "ssl = True\ncertificate = " + QFile::encodeName(cert) +
                "\nkey = " + QFile::encodeName(key) + '\n';
        return true;
    }

    // Stores through a storage module of Radicale's plug-in form (its "type") found on
    // pythonPath instead of Radicale's own. Call before start().
    void useStorage(const QByteArray& type, const QString& pythonPath) {
        m_storageType = type;
        m_pythonPath = pythonPath;
    }

    // Starts the server (again, on the same port and storage after stop()) and waits until it
    // answers; false when it did not within the deadline.
    bool start() {
        if (m_port == 0) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost))
                return false;
            m_port = probe.serverPort();
        }
        QFile config(m_dir.filePath(QStringLiteral("config")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write("[server]\nhosts = 127.0.0.1:" + QByteArray::number(m_port) + "\n" + m_tls +
                     "[auth]\ntype = htpasswd\nhtpasswd_filename = " +
                     QFile::encodeName(m_dir.filePath(QStringLiteral("users"))) +
                     "\nhtpasswd_encryption = plain\n[storage]\n" +
                     (m_storageType.isEmpty() ? QByteArray() : "type = " + m_storageType + '\n') +
                     "filesystem_folder = " + QFile::encodeName(storage()) +
                     "\n[rights]\ntype = owner_only\n[logging]\nlevel = warning\n");
        config.close();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (!m_pythonPath.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("PYTHONPATH"), m_pythonPath);
            m_process.setProcessEnvironment(env);
        }
        // The server ends only with its owner: a test or benchmark that crashes or is killed
        // takes it along (the radicale script is the process itself, no shell between), and a
        // Ctrl+C in the terminal goes to the owner alone, which stops it in order. A parent that
        // died before the signal was asked for is seen by its new parent's id.
        const pid_t owner = getpid();
        m_process.setChildProcessModifier([owner] {
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != owner)
                _exit(1);
        });
        m_process.start(QStringLiteral("radicale"),
                        {QStringLiteral("--config"), config.fileName()});
        if (!m_process.waitForStarted(10000))
            return false;
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(250))
                return true;
            m_process.waitForFinished(50); // returns at once when it ended
        }
        return false;
    }

    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    QUrl url(const QString& path = QStringLiteral("/")) const {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                        .arg(m_tls.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"))
                        .arg(m_port)
                        .arg(path));
    }
    QString storage() const { return m_dir.filePath(QStringLiteral("storage")); }
    // The events stored in a calendar, as files.
    int storedEvents(const QString& calendar) const {
        return int(QDir(storage() + QStringLiteral("/collection-root/") + QLatin1String(User) +
                        QLatin1Char('/') + calendar)
                       .entryList({QStringLiteral("*.ics")}, QDir::Files)
                       .size());
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QByteArray m_tls; // the [server] lines of https
    QByteArray m_storageType;
    QString m_pythonPath;
};
