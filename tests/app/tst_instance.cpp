#include "NotificationDaemon.h"
#include "TestSupport.h"
#include "app/InstanceDoor.h"
#include "app/InstanceGuard.h"
#include "data/TextFile.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

// Starts the program itself: one instance per program file name and user.
// How long a start may take on a loaded machine: a second start loads the toolkit and its fonts
// before it finds the first one's lock. Only a deadline: every wait ends as soon as it can.
constexpr int SlowStart = 120000;

class tst_Instance : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void guardInOneProcess();
    void secondStartExitsSilently();
    void secondStartShowsTheBackgroundInstance();
    void killedSavesLeaveNothingAfterRestart();
    void oneInstancePerDataFolder_data();
    void oneInstancePerDataFolder();

private:
    QProcess* start(const QString& program, const QString& runtime, const QStringList& args = {},
                    const QProcessEnvironment& desktop = {});
    QProcess* start(const QString& program) { return start(program, m_runtime.path()); }
    bool lockHeld(const QString& programFileName) const;
    static QByteArrayList shownWindows(const NotificationDaemon& desktop, const QString& title);
    bool held(const QString& lockPath) const;

    TempDataFolder m_runtime;
    TempDataFolder m_config;
    TempDataFolder m_userData; // never the user's own data folder
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

QProcess* tst_Instance::start(const QString& program, const QString& runtime,
                              const QStringList& args, const QProcessEnvironment& desktop) {
    auto* process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // On a desktop of the test's own, windows are real and can be looked for.
    for (const QString& key :
         {QStringLiteral("DISPLAY"), QStringLiteral("DBUS_SESSION_BUS_ADDRESS")})
        if (desktop.contains(key)) {
            env.insert(key, desktop.value(key));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        }
    if (runtime.isEmpty())
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    else
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_userData.path());
    process->setProcessEnvironment(env);
    process->start(program, args);
    m_processes << process;
    return process;
}

bool tst_Instance::lockHeld(const QString& programFileName) const {
    return held(InstanceGuard::LockPath(programFileName));
}

bool tst_Instance::held(const QString& lockPath) const {
    const QByteArray path = QFile::encodeName(lockPath);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

// The visible windows on the test's desktop whose title matches.
QByteArrayList tst_Instance::shownWindows(const NotificationDaemon& desktop, const QString& title) {
    QProcess search;
    search.setProcessEnvironment(desktop.environment());
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--name"), title});
    search.waitForFinished();
    QByteArrayList found = search.readAllStandardOutput().split('\n');
    found.removeAll(QByteArray());
    return found;
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
    // A folder where the lock file belongs can be neither locked nor replaced: the start must
    // stop rather than run unguarded beside another.
    const TempDataFolder data;
    QVERIFY(QDir().mkdir(InstanceGuard::DataFolderLockPath(data.path())));
    InstanceGuard blocked;
    QCOMPARE(blocked.acquireDataFolder(data.path()), InstanceGuard::Blocked);
}

void tst_Instance::secondStartExitsSilently() {
    const QString program = QStringLiteral(KALENDO_PROGRAM);
    const QString name = QFileInfo(program).fileName();
    QProcess* first = start(program);
    QVERIFY(first->waitForStarted(SlowStart));
    QTRY_VERIFY_WITH_TIMEOUT(lockHeld(name), SlowStart);

    QProcess* second = start(program);
    QVERIFY(second->waitForFinished(SlowStart));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(second->readAllStandardOutput(), QByteArray());
    QVERIFY(first->state() == QProcess::Running);

    // A copy under another name, with data of its own, runs beside it (two copies on one data
    // folder never run together: below).
    const QString copy = m_runtime.file(QStringLiteral("kalendo-copy"));
    QVERIFY(QDir().mkpath(m_runtime.file(QStringLiteral("client"))));
    QVERIFY(QFile::copy(program, copy));
    QProcess* third = start(copy);
    QTRY_VERIFY_WITH_TIMEOUT(lockHeld(QStringLiteral("kalendo-copy")), SlowStart);
    QVERIFY(third->state() == QProcess::Running);

    // A crash leaves no lock behind: the next start runs.
    first->kill();
    QVERIFY(first->waitForFinished());
    QVERIFY(!lockHeld(name));
    QProcess* fourth = start(program);
    QTRY_VERIFY_WITH_TIMEOUT(lockHeld(name), SlowStart);
    QVERIFY(fourth->state() == QProcess::Running);
}

// Started in the background at login, Kalendo shows no window; starting it from the menu then
// shows the running instance's window, and the second start ends.
void tst_Instance::secondStartShowsTheBackgroundInstance() {
    NotificationDaemon desktop;
    QVERIFY2(desktop.start(false), qPrintable(desktop.error()));
    const auto mainWindows = [&desktop] {
        return shownWindows(desktop, QStringLiteral("^Kalendo  \\[Version")).size();
    };
    const QString program = QStringLiteral(KALENDO_PROGRAM);
    const QString lock = InstanceGuard::LockPath(QFileInfo(program).fileName());
    // The door a killed instance of the tests before left behind (the next holder replaces it).
    QFile::remove(InstanceDoor::SocketPath(lock));
    QProcess* background =
        start(program, m_runtime.path(), {QStringLiteral("--background")}, desktop.environment());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(InstanceDoor::SocketPath(lock)), 20000);
    QCOMPARE(mainWindows(), 0);

    QProcess* second = start(program, m_runtime.path(), {}, desktop.environment());
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitCode(), 0);
    QTRY_VERIFY2_WITH_TIMEOUT(mainWindows() == 1,
                              QByteArray(background->readAllStandardError() + " state " +
                                         QByteArray::number(int(background->state())) + " exit " +
                                         QByteArray::number(background->exitCode()))
                                  .constData(),
                              20000);
    QVERIFY2(background->state() == QProcess::Running, background->readAllStandardError());
}

void tst_Instance::killedSavesLeaveNothingAfterRestart() {
    // A copy of the program with a data folder of its own beside it.
    TempDataFolder home;
    const QString program = home.file(QStringLiteral("kalendo-leftovers"));
    QVERIFY(QFile::copy(QStringLiteral(KALENDO_PROGRAM), program));
    QVERIFY(QDir(home.path()).mkdir(QStringLiteral("client")));
    const QString data = home.file(QStringLiteral("client/"));
    const QString year = data + QStringLiteral("2026.csv");
    const TextLines lines(100000, sj("20260101,1,10:00,,会議室予約,本社,メモ"));
    SaveTextLines(year, lines);
    const auto leftovers = [&] {
        static const QRegularExpression temporary(
            QStringLiteral("^\\.2026\\.csv\\.(kalendo-save-)?[A-Za-z0-9]{6}$"));
        return QDir(data).entryList(QDir::Files | QDir::Hidden).filter(temporary);
    };

    // Saves killed part-way until some have left their temporary file.
    for (int round = 0; round < 100 && leftovers().size() < 2; ++round) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (;;)
                SaveTextLines(year, lines);
        }
        QTest::qSleep(5 + round % 20);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    QVERIFY(leftovers().size() >= 2);
    QCOMPARE(LoadTextLines(year), lines);
    // Names a save never gives are not the program's to remove.
    const QStringList others{QStringLiteral(".notes.csv.bak"), QStringLiteral("2026.csv.Ab12Cd"),
                             QStringLiteral(".2026.csv.Ab12C"), QStringLiteral(".2026.csv.Ab12Cd7"),
                             QStringLiteral(".notes.csv.mine01")};
    for (const QString& name : others)
        QVERIFY(QFile(data + name).open(QIODevice::WriteOnly));
    // One an earlier release left, and one a save through a linked year file left beside the
    // file it names.
    QVERIFY(QFile(data + QStringLiteral(".2026.csv.Ab12Cd")).open(QIODevice::WriteOnly));
    const TempDataFolder elsewhere;
    const QString linkedLeftover = elsewhere.file(QStringLiteral(".y2027.csv.kalendo-save-Ab12Cd"));
    const QString notLeftover = elsewhere.file(QStringLiteral(".y2027.csv.Ab12Cd"));
    SaveTextLines(elsewhere.file(QStringLiteral("y2027.csv")), lines.mid(0, 1));
    QVERIFY(QFile::link(elsewhere.file(QStringLiteral("y2027.csv")),
                        data + QStringLiteral("2027.csv")));
    QVERIFY(QFile(linkedLeftover).open(QIODevice::WriteOnly));
    QVERIFY(QFile(notLeftover).open(QIODevice::WriteOnly));

    // The next start removes them once it holds the instance guard; a second start, which
    // exits at the guard, removes nothing (the first may be saving).
    QProcess* first = start(program);
    // The link target's folder is cleaned after the data folder: wait for both.
    QTRY_VERIFY_WITH_TIMEOUT(leftovers().isEmpty() && !QFile::exists(linkedLeftover), SlowStart);
    QVERIFY(first->state() == QProcess::Running);
    QVERIFY(QFile::exists(notLeftover));
    const QString fresh = QStringLiteral(".2026.csv.kalendo-save-Xy12Zw");
    QVERIFY(QFile(data + fresh).open(QIODevice::WriteOnly));
    QProcess* second = start(program);
    QVERIFY(second->waitForFinished(SlowStart));
    QCOMPARE(leftovers(), QStringList{fresh});
    for (const QString& name : others)
        QVERIFY2(QFile::exists(data + name), qPrintable(name));
    QCOMPARE(LoadTextLines(year), lines);
}

void tst_Instance::oneInstancePerDataFolder_data() {
    QTest::addColumn<QString>("secondName");
    QTest::addColumn<bool>("ownRuntime"); // false: no runtime folder at all
    // A folder where the lock file was (a folder synced from another device): the guard can be
    // taken by none, so the second start refuses with a message instead of running unguarded.
    QTest::addColumn<bool>("lockBecomesFolder");
    QTest::newRow("another runtime folder") << "kalendo" << true << false;
    QTest::newRow("no runtime folder") << "kalendo" << false << false;
    QTest::newRow("another program name") << "kalendo-2" << true << false;
    QTest::newRow("the lock replaced by a folder: said") << "kalendo" << true << true;
}

// Two starts that share a data folder can never both run, whatever else differs.
void tst_Instance::oneInstancePerDataFolder() {
    QFETCH(QString, secondName);
    QFETCH(bool, ownRuntime);
    QFETCH(bool, lockBecomesFolder);
    const TempDataFolder installed;
    QVERIFY(QDir().mkpath(installed.file(QStringLiteral("client"))));
    for (const QString& name : {QStringLiteral("kalendo"), secondName})
        QVERIFY(QFile::exists(installed.file(name)) ||
                QFile::copy(QStringLiteral(KALENDO_PROGRAM), installed.file(name)));
    const QString lock =
        InstanceGuard::DataFolderLockPath(installed.file(QStringLiteral("client")));

    QProcess* first = start(installed.file(QStringLiteral("kalendo")));
    QTRY_VERIFY_WITH_TIMEOUT(held(lock), SlowStart);
    const TempDataFolder otherRuntime;
    QFile::setPermissions(otherRuntime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    NotificationDaemon desktop;
    if (lockBecomesFolder) {
        QVERIFY(QFile::remove(lock) && QDir().mkdir(lock));
        QVERIFY2(desktop.start(false), qPrintable(desktop.error()));
    }
    QProcess* second =
        start(installed.file(secondName), ownRuntime ? otherRuntime.path() : QString(), {},
              lockBecomesFolder ? desktop.environment() : QProcessEnvironment());
    if (lockBecomesFolder) {
        // The message box (titled "Kalendo" alone, unlike the main window) until it is closed.
        QByteArrayList box;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (box = shownWindows(desktop, QStringLiteral("^Kalendo$"))).size() == 1,
            second->readAllStandardError().constData(), SlowStart);
        QCOMPARE(shownWindows(desktop, QStringLiteral("^Kalendo  \\[Version")).size(), 0);
        QProcess key;
        key.setProcessEnvironment(desktop.environment());
        key.start(QStringLiteral("xdotool"),
                  {QStringLiteral("key"), QStringLiteral("--window"),
                   QString::fromLatin1(box.first()), QStringLiteral("Return")});
        QVERIFY(key.waitForFinished());
    }
    QVERIFY(second->waitForFinished(SlowStart));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), lockBecomesFolder ? 1 : 0);
    QVERIFY(first->state() == QProcess::Running);
}

QTEST_GUILESS_MAIN(tst_Instance)
#include "tst_instance.moc"
