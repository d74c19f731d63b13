#include "TestSupport.h"
#include "app/InstanceGuard.h"

#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// Starts the program itself: one instance per program file name and user.
class tst_Instance : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void guardInOneProcess();
    void secondStartExitsSilently();

private:
    QProcess* start(const QString& program);
    bool lockHeld(const QString& programFileName) const;

    TempDataFolder m_runtime;
    TempDataFolder m_config;
    QList<QProcess*> m_processes;
};

void tst_Instance::initTestCase() {
    QVERIFY(m_runtime.isValid());
    QFile::setPermissions(m_runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

void tst_Instance::cleanup() {
    for (QProcess* p : m_processes) {
        p->kill();
        p->waitForFinished();
        delete p;
    }
    m_processes.clear();
}

QProcess* tst_Instance::start(const QString& program) {
    auto* process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
    process->setProcessEnvironment(env);
    process->start(program, {});
    m_processes << process;
    return process;
}

bool tst_Instance::lockHeld(const QString& programFileName) const {
    const QByteArray path = QFile::encodeName(InstanceGuard::LockPath(programFileName));
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

void tst_Instance::guardInOneProcess() {
    const QString name = QStringLiteral("guard-test");
    {
        InstanceGuard first;
        QCOMPARE(first.acquire(name), InstanceGuard::Acquired);
        InstanceGuard second;
        QCOMPARE(second.acquire(name), InstanceGuard::HeldElsewhere);
        InstanceGuard other;
        QCOMPARE(other.acquire(QStringLiteral("guard-test-2")), InstanceGuard::Acquired);
    }
    InstanceGuard again;
    QCOMPARE(again.acquire(name), InstanceGuard::Acquired);
}

void tst_Instance::secondStartExitsSilently() {
    const QString program = QStringLiteral(KALENDO_PROGRAM);
    const QString name = QFileInfo(program).fileName();
    QProcess* first = start(program);
    QVERIFY(first->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(lockHeld(name), 10000);

    QProcess* second = start(program);
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(second->readAllStandardOutput(), QByteArray());
    QVERIFY(first->state() == QProcess::Running);

    // A copy under another name runs beside it.
    const QString copy = m_runtime.file(QStringLiteral("kalendo-copy"));
    QVERIFY(QFile::copy(program, copy));
    QProcess* third = start(copy);
    QTRY_VERIFY_WITH_TIMEOUT(lockHeld(QStringLiteral("kalendo-copy")), 10000);
    QVERIFY(third->state() == QProcess::Running);

    // A crash leaves no lock behind: the next start runs.
    first->kill();
    QVERIFY(first->waitForFinished());
    QVERIFY(!lockHeld(name));
    QProcess* fourth = start(program);
    QTRY_VERIFY_WITH_TIMEOUT(lockHeld(name), 10000);
    QVERIFY(fourth->state() == QProcess::Running);
}

QTEST_GUILESS_MAIN(tst_Instance)
#include "tst_instance.moc"
