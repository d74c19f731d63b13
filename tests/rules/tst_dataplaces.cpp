#include "ChildProcess.h"
#include "TestSupport.h"
#include "rules/ComType.h"
#include "rules/DataPlaces.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>

// Where the data folder is, how it is made on first start, and how holiday.csv follows a new
// release.
class tst_DataPlaces : public QObject {
    Q_OBJECT
private slots:
    void folder_data();
    void folder();
    void firstStartsKilledOrAtOnce();
    void holidayUpgrade_data();
    void holidayUpgrade();
    void everyShippedHolidayFileIsKnown();
};

namespace {

ShippedVersion version(const QByteArray& bytes) {
    return {bytes.size(), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()};
}

// A program in app/bin/ with its shipped data in app/share/kalendo/, and a home in home/.
struct Layout {
    TempDataFolder root;
    DataPlaces places{root.file(QStringLiteral("app/bin/")),
                      root.file(QStringLiteral("home/kalendo/client/")),
                      root.file(QStringLiteral("app/share/kalendo/"))};
    QString beside() const { return places.programFolder + DataFolderName; }
    void put(const QString& folder, const QString& name, const QByteArray& bytes) const {
        QDir().mkpath(folder);
        QFile f(folder + name);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
};

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// Hands the layout to the unprivileged user a child drops to, client/ beside the program
// excepted: that one stays read-only for it.
void shareWithChild(const Layout& layout) {
    if (geteuid() != 0)
        return;
    for (const QString& path : {layout.root.path(), layout.root.file(QStringLiteral("app")),
                                layout.places.programFolder, layout.places.shippedFolder,
                                layout.root.file(QStringLiteral("app/share")), layout.beside()})
        QFile::setPermissions(path, QFile::Permissions(0x7555));
    QDir().mkpath(layout.root.file(QStringLiteral("home")));
    [[maybe_unused]] const int ignored = chown(
        QFile::encodeName(layout.root.file(QStringLiteral("home"))).constData(), 65534, 65534);
}

} // namespace

void tst_DataPlaces::folder_data() {
    // beside, build, user, readonly, blocked, around; cut: a first start's copy was cut short,
    // copying: while another start copies
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("portable");      // client/ beside the program is the folder
    QTest::addColumn<QByteArray>("holiday"); // holiday.csv in the folder afterwards
    QTest::addColumn<bool>("besideKept");    // client/ beside the program still there
    QTest::addColumn<int>("notices");
    QTest::addColumn<int>("noticesAgain"); // at the next start
    QTest::newRow("portable") << "beside" << true << QByteArray("mine") << true << 0 << 0;
    QTest::newRow("installed, first start")
        << "" << false << QByteArray("shipped") << false << 0 << 0;
    QTest::newRow("installed, later start")
        << "user" << false << QByteArray("theirs") << false << 0 << 0;
    QTest::newRow("build tree: moved once, said once")
        << "beside build" << false << QByteArray("mine") << false << 1 << 0;
    QTest::newRow("build tree with a user folder: left alone, said once")
        << "beside build user" << false << QByteArray("theirs") << true << 1 << 0;
    QTest::newRow("read-only copy beside: seeds the user folder")
        << "beside readonly" << false << QByteArray("mine") << true << 0 << 0;
    // Installed with --prefix ~/.local: the shipped folder is the user folder's parent.
    QTest::newRow("shipped data around the user folder")
        << "around" << false << QByteArray("shipped") << false << 0 << 0;
    QTest::newRow("user folder cannot be made: said")
        << "blocked" << false << QByteArray("(missing)") << false << 1 << 1;
    QTest::newRow("first start after one cut short: its work folder removed")
        << "cut" << false << QByteArray("shipped") << false << 0 << 0;
    QTest::newRow("later start after a copy cut short: its work folder removed")
        << "cut user" << false << QByteArray("theirs") << false << 0 << 0;
    QTest::newRow("a copy running meanwhile: its work folder kept")
        << "cut user copying" << false << QByteArray("theirs") << false << 0 << 0;
}

void tst_DataPlaces::folder() {
    QFETCH(QString, setup);
    QFETCH(bool, portable);
    QFETCH(QByteArray, holiday);
    QFETCH(bool, besideKept);
    QFETCH(int, notices);
    QFETCH(int, noticesAgain);
    Layout layout;
    if (setup == QStringLiteral("around"))
        layout.places.shippedFolder = layout.root.file(QStringLiteral("home/kalendo/"));
    layout.put(layout.places.shippedFolder, HolidayFileName, "shipped");
    if (setup.contains(QStringLiteral("beside"))) {
        layout.put(layout.beside(), HolidayFileName, "mine");
        layout.put(layout.beside(), QStringLiteral("2026.csv"), "entries");
    }
    if (setup.contains(QStringLiteral("build")))
        layout.put(layout.root.file(QStringLiteral("app/")), QStringLiteral("CMakeCache.txt"), "");
    if (setup.contains(QStringLiteral("user")))
        layout.put(layout.places.userFolder, HolidayFileName, "theirs");
    if (setup.contains(QStringLiteral("blocked"))) {
        layout.root.write(QStringLiteral("home"), "a file where the folder would go");
    }
    // A work folder of a copy cut short, and names alike that Kalendo never makes.
    const QString work = layout.root.file(QStringLiteral("home/kalendo/.client-Ab3xYz/"));
    const QStringList notOurs{layout.root.file(QStringLiteral("home/kalendo/.client-Ab3xYz7/")),
                              layout.root.file(QStringLiteral("home/kalendo/.client-Cd4eFg")),
                              layout.root.file(QStringLiteral("home/kalendo/.client-Zz9yYy"))};
    const QString linked = layout.root.file(QStringLiteral("home/mine/"));
    if (setup.contains(QStringLiteral("cut"))) {
        layout.put(work, HolidayFileName, "part");
        layout.put(notOurs[0], HolidayFileName, "mine");
        layout.root.write(QStringLiteral("home/kalendo/.client-Cd4eFg"), "mine");
        layout.put(linked, HolidayFileName, "mine");
        QVERIFY(QFile::link(linked, notOurs[2]));
    }
    // Another start's copy holds the lock for as long as it runs.
    const int copying = ::open(
        QFile::encodeName(layout.root.file(QStringLiteral("home/kalendo/.kalendo-copy.lock"))),
        O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (setup.contains(QStringLiteral("copying")))
        QVERIFY(copying >= 0 && ::flock(copying, LOCK_EX | LOCK_NB) == 0);

    auto run = [&layout] {
        const DataFolderChoice choice = ChooseDataFolder(layout.places);
        const QStringList said = PrepareDataFolder(choice, layout.places.shippedFolder);
        const QStringList again =
            PrepareDataFolder(ChooseDataFolder(layout.places), layout.places.shippedFolder);
        return QStringLiteral("%1|%2|%3")
            .arg(choice.folder)
            .arg(said.size())
            .arg(again.size())
            .toUtf8();
    };
    QByteArray outcome;
    if (setup.contains(QStringLiteral("readonly"))) {
        shareWithChild(layout);
        QFile::setPermissions(layout.beside(), QFile::Permissions(0x5555));
        outcome = runInChild([&] { return dropPrivileges() ? run() : QByteArray("no drop"); });
        QFile::setPermissions(layout.beside(), QFile::Permissions(0x7555));
    } else {
        outcome = run();
    }
    const QString folder = portable ? layout.beside() : layout.places.userFolder;
    QCOMPARE(outcome,
             QStringLiteral("%1|%2|%3").arg(folder).arg(notices).arg(noticesAgain).toUtf8());
    QCOMPARE(read(folder + HolidayFileName), holiday);
    QCOMPARE(QFileInfo(layout.beside()).isDir(), besideKept);
    // A made folder holds what was copied and nothing of the copying.
    QStringList kept = setup.contains(QStringLiteral("cut")) ? notOurs : QStringList();
    if (setup.contains(QStringLiteral("copying")))
        kept << work;
    for (const QString& path : std::as_const(kept))
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    if (setup.contains(QStringLiteral("cut")))
        QCOMPARE(read(linked + HolidayFileName), QByteArray("mine"));
    QDirIterator all(layout.root.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                     QDirIterator::Subdirectories);
    while (all.hasNext()) {
        const QString path = all.next();
        const bool mine = std::any_of(kept.cbegin(), kept.cend(), [&path](const QString& k) {
            return path == QDir::cleanPath(k) || path.startsWith(k);
        });
        QVERIFY2(mine || !path.contains(QStringLiteral("/.client-")), qPrintable(path));
    }
    if (copying >= 0)
        ::close(copying);
    if (setup == QStringLiteral("beside build")) // moved whole
        QCOMPARE(read(folder + QStringLiteral("2026.csv")), QByteArray("entries"));
}

// A first start killed while it copies leaves its work folder; the next start removes it. Two
// first starts at once (the instance guard lets through two program names or runtime folders)
// both start on the one folder one of them made.
void tst_DataPlaces::firstStartsKilledOrAtOnce() {
    Layout layout;
    // Each copied file is synced on its own: enough of them make the copy last a while.
    for (int i = 0; i < 200; ++i)
        layout.put(layout.places.shippedFolder, QStringLiteral("%1.csv").arg(1900 + i),
                   QByteArray::number(i));
    layout.put(layout.places.shippedFolder, HolidayFileName, "shipped");
    const QString parent = layout.root.file(QStringLiteral("home/kalendo/"));
    const QString folder = layout.places.userFolder;
    const auto workFolders = [&parent] {
        return QDir(parent).entryList({QStringLiteral(".client-*")}, QDir::Dirs | QDir::Hidden);
    };
    const auto firstStart = [&layout] {
        return PrepareDataFolder(ChooseDataFolder(layout.places), layout.places.shippedFolder);
    };

    int cutShort = 0;
    for (int round = 0; round < 20 && cutShort == 0; ++round) {
        const pid_t pid = fork();
        if (pid == 0)
            _exit(firstStart().isEmpty() ? 0 : 1);
        const QDeadlineTimer deadline(60000);
        while (workFolders().isEmpty() && !QFileInfo(folder).isDir() && !deadline.hasExpired())
            QThread::yieldCurrentThread();
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        if (QFileInfo(folder).isDir())
            QVERIFY(QDir(folder).removeRecursively());
        else
            cutShort += int(workFolders().size());
    }
    QVERIFY(cutShort > 0);

    // Both wait at one pipe, so they start together.
    int go[2];
    QVERIFY(pipe(go) == 0);
    QList<pid_t> starts;
    for (int i = 0; i < 2; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            ::close(go[1]);
            char byte;
            [[maybe_unused]] const auto n = ::read(go[0], &byte, 1);
            const QStringList said = firstStart();
            _exit(said.isEmpty() ? 0 : 1);
        }
        starts << pid;
    }
    ::close(go[0]);
    ::close(go[1]);
    for (const pid_t pid : std::as_const(starts)) {
        int status = 0;
        waitpid(pid, &status, 0);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
    QCOMPARE(workFolders(), QStringList());
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 201);
    QCOMPARE(read(folder + QStringLiteral("2099.csv")), QByteArray("199"));
}

void tst_DataPlaces::holidayUpgrade_data() {
    QTest::addColumn<QByteArray>("mine"); // the user's holiday.csv; empty: none
    QTest::addColumn<bool>("replaced");
    QTest::newRow("an earlier release's copy") << QByteArray("01/01,old\r\n") << true;
    QTest::newRow("changed by the user") << QByteArray("01/01,old\r\n02/02,mine\r\n") << false;
    QTest::newRow("changed, the size kept") << QByteArray("01/01,OLD\r\n") << false;
    QTest::newRow("no release shipped it") << QByteArray("01/01,other\r\n") << false;
    QTest::newRow("already this release's") << QByteArray("01/01,new\r\n") << false;
    QTest::newRow("removed by the user") << QByteArray() << false;
}

void tst_DataPlaces::holidayUpgrade() {
    QFETCH(QByteArray, mine);
    QFETCH(bool, replaced);
    const QByteArray shipped = "01/01,new\r\n";
    const QList<ShippedVersion> versions = {version("01/01,old\r\n"), version(shipped)};
    TempDataFolder dir;
    dir.write(QStringLiteral("shipped.csv"), shipped);
    if (!mine.isEmpty())
        dir.write(HolidayFileName, mine);
    QCOMPARE(UpdateShippedFile(dir.file(HolidayFileName), dir.file(QStringLiteral("shipped.csv")),
                               versions),
             replaced);
    QCOMPARE(dir.read(HolidayFileName), replaced ? shipped : mine);
    QCOMPARE(dir.exists(HolidayFileName), !mine.isEmpty());
}

// A release that changes client/holiday.csv must list it, or the next one would take the
// user's untouched copy for a changed one and never bring it up to date.
void tst_DataPlaces::everyShippedHolidayFileIsKnown() {
    QFile shipped(QStringLiteral(KALENDO_SHIPPED_CLIENT) + HolidayFileName);
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QVERIFY(ShippedHolidayVersions.contains(version(shipped.readAll())));
}

QTEST_GUILESS_MAIN(tst_DataPlaces)
#include "tst_dataplaces.moc"
