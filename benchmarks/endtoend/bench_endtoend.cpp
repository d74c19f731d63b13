// What the user waits for, measured from outside the program: the real kalendo started on a
// private X server (Xvfb), driven by real key presses and clicks (XTEST), each action timed from
// the input to the last drawing the X server reports for it (DAMAGE) once the program has gone
// idle, with the program's CPU time (all its threads) over the action. Each action is set
// against a floor measured in the same run, floor and work in turn, that holds none of
// Kalendo's code:
//   start-up         exec to the main window's first drawing, against a one-line Qt window;
//   month step       PageUp / PageDown, against reading the four files and finding line ends;
//   opening a day    Return on a day of 200 entries (the first of a run and later ones),
//                    against reading the year's file plus opening a Qt dialog of the same size
//                    with an empty table;
//   OK               OK clicked in the day list to the month repainted, against writing the
//                    year's bytes with fsync plus the month step's floor.
// Resident memory as the system reports it (VmRSS) before the day list opens and after it
// closes, with the heavy year file and with one four times as large. With valgrind installed,
// `instructions` also counts start-up under callgrind.
// Run: bench_endtoend [runs] [instructions]   (default 15 runs)
// KALENDO_BENCH_FOLDER puts the generated data elsewhere (fsync means nothing on tmpfs);
// KALENDO_BENCH_TRACE prints each drawing reported and each action's figures.

#include "../Floors.h"
#include "../HeavyFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <poll.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>

// Last: Xlib's macros would break the toolkit's headers.
#include "PrivateScreen.h"

using namespace endtoend;

namespace {

// Resident memory as the system reports it, in kB: all of it, and its anonymous (heap), file
// (code and fonts mapped) and shared memory (the X server's image buffers) parts.
struct Resident {
    qint64 all = 0;
    qint64 anon = 0;
    qint64 file = 0;
    qint64 shmem = 0;
    Resident operator-(const Resident& o) const {
        return {all - o.all, anon - o.anon, file - o.file, shmem - o.shmem};
    }
};

Resident resident(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    Resident r;
    if (!f.open(QIODevice::ReadOnly))
        return r;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const qint64 kb =
            line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong();
        if (line.startsWith("VmRSS:"))
            r.all = kb;
        else if (line.startsWith("RssAnon:"))
            r.anon = kb;
        else if (line.startsWith("RssFile:"))
            r.file = kb;
        else if (line.startsWith("RssShmem:"))
            r.shmem = kb;
    }
    return r;
}

class Counted {
public:
    Counted(PrivateScreen& screen, const QString& program, const QProcessEnvironment& env,
            const QString& folder)
        : m_folder(folder),
          m_program(screen, QStringLiteral("valgrind"),
                    {QStringLiteral("--tool=callgrind"),
                     QStringLiteral("--callgrind-out-file=") + folder + QStringLiteral("/cg.%p"),
                     program},
                    env, [this](qint64 pid) { startUp = dump(pid); }) {
        // What the program does after its first drawing: up to idle, and in the next while.
        toIdle = dump(m_program.pid);
        QThread::sleep(2);
        screen.settle(m_program.pid, SettledNs);
        afterStartUp = dump(m_program.pid);
    }

    qint64 action(const std::function<Timing(Program&)>& act) {
        if (!control("--zero", m_program.pid) || !act(m_program).ok())
            return -1;
        return dump(m_program.pid);
    }

    qint64 startUp = -1;
    qint64 toIdle = -1;
    qint64 afterStartUp = -1;

private:
    static bool control(const char* option, qint64 pid) {
        QProcess control;
        control.setStandardOutputFile(QProcess::nullDevice());
        control.start(QStringLiteral("callgrind_control"),
                      {QLatin1String(option), QString::number(pid)});
        return control.waitForFinished(60000) && control.exitCode() == 0;
    }

    // Dumps the counts (which zeroes them) and reads the dump's total.
    qint64 dump(qint64 pid) {
        if (!control("--dump", pid))
            return -1;
        QFile out(QStringLiteral("%1/cg.%2.%3").arg(m_folder).arg(pid).arg(++m_dumps));
        if (!out.open(QIODevice::ReadOnly))
            return -1;
        while (!out.atEnd()) {
            const QByteArray line = out.readLine();
            if (line.startsWith("summary:") || line.startsWith("totals:"))
                return line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong();
        }
        return -1;
    }

    QString m_folder;
    int m_dumps = 0; // before the program, whose start dumps once
    Program m_program;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    int runs = 15;
    for (const QString& a : args)
        if (a.toInt() > 0)
            runs = a.toInt();
    const bool instructions = args.contains(QStringLiteral("instructions"));
    const QString bin = QCoreApplication::applicationDirPath();
    const QString kalendo = bin + QStringLiteral("/kalendo");
    const QString floorWindow = bin + QStringLiteral("/floor_window");

    PrivateScreen screen;
    if (!screen.start()) {
        std::fprintf(stderr, "no X server (Xvfb with DAMAGE and XTEST) could be started\n");
        return 1;
    }
    const QString base = qEnvironmentVariable("KALENDO_BENCH_FOLDER", QDir::tempPath());
    QTemporaryDir runtime(base + QStringLiteral("/bench_endtoend-run-XXXXXX"));
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QDate today = QDate::currentDate();
    auto environment = [&](const QString& home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), screen.name);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        return env;
    };
    // Two homes: the heavy folder, and one whose shown year is four times as large. The busy
    // day is today, which the main window selects on start.
    QTemporaryDir homes[2] = {QTemporaryDir(base + QStringLiteral("/bench_endtoend-XXXXXX")),
                              QTemporaryDir(base + QStringLiteral("/bench_endtoend-XXXXXX"))};
    QString folders[2];
    for (int i = 0; i < 2; ++i) {
        folders[i] = homes[i].path() + QStringLiteral("/data/kalendo/") + DataFolderName;
        QDir().mkpath(folders[i]);
        heavy::makeFolder(folders[i], today, i ? 4 : 1);
    }
    const QProcessEnvironment kalendoEnv = environment(homes[0].path());
    const QProcessEnvironment floorEnv = environment(runtime.path());
    const QString yearFile = ScheduleFilePath(folders[0], today.year());
    const QStringList stepFiles = {AnniversaryFilePath(folders[0]), yearFile,
                                   EventFilePath(folders[0]), HolidayFilePath(folders[0])};
    QFile year(yearFile);
    if (!year.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(yearFile));
    const QByteArray yearBytes = year.readAll();
    year.close();
    const QString floorFile = homes[0].path() + QStringLiteral("/floor.csv");
    std::vector<char> buffer;
    buffer.reserve(8 << 20);
    const auto stepFloor = [&] {
        for (const QString& path : stepFiles)
            floors::readAndFindLineEnds(path, buffer);
    };

    // Start-up, each program started in turn; one unmeasured start of each warms the caches.
    // Each run of Kalendo also opens the day once, after a look at the month: the first opening
    // of a run is taken as the best of these, as the later openings are the best of many.
    Best startFloor;
    Best startKalendo;
    Best firstOpen;
    { Program warm(screen, floorWindow, {}, floorEnv); }
    { Program warm(screen, kalendo, {}, kalendoEnv); }
    for (int i = 0; i < runs; ++i) {
        {
            Program p(screen, floorWindow, {}, floorEnv);
            startFloor.add(p.startUp);
        }
        {
            Program p(screen, kalendo, {}, kalendoEnv);
            startKalendo.add(p.startUp);
            QThread::sleep(1);
            screen.settle(p.pid, SettledNs);
            firstOpen.add(p.openDay());
            p.closeDay(true);
        }
    }

    // The actions, in one run of each program side by side: the floor window placed where no
    // window of Kalendo's covers it.
    Best stepWork, stepFloorBest, openWork, openFloor, okWork, okFloor;
    Resident rssBefore, rssAfterFirst, rssAfterLast;
    {
        Program floor(screen, floorWindow, {}, floorEnv);
        Program k(screen, kalendo, {}, kalendoEnv);
        if (!floor.startUp.ok() || !k.startUp.ok()) {
            std::fprintf(stderr, "a program did not show its window\n");
            return 1;
        }
        // A user looks at the month a moment before opening a day; what the program does
        // meanwhile, once idle, is in neither figure (the instructions below count it apart).
        QThread::sleep(1);
        screen.settle(k.pid, SettledNs);
        rssBefore = resident(k.pid);
        firstOpen.add(k.openDay());
        k.closeDay(true);
        screen.settle(k.pid);
        rssAfterFirst = resident(k.pid);
        for (int i = 0; i < runs; ++i) {
            stepFloorBest.add(timeHere(stepFloor));
            stepWork.add(k.key(XK_Page_Up));
            stepWork.add(k.key(XK_Page_Down));

            const Timing read = timeHere([&] { floors::readBytes(yearFile, buffer); });
            const Timing dialog = floor.openDay();
            floor.closeDay(false);
            openFloor.add(read, dialog);
            openWork.add(k.openDay());
            k.closeDay(true);

            okFloor.add(timeHere([&] {
                floors::writeWithFsync(floorFile, yearBytes);
                stepFloor();
            }));
            openWork.add(k.openDay());
            okWork.add(k.closeDay(false));
        }
        screen.settle(k.pid);
        rssAfterLast = resident(k.pid);
    }
    // The same with the year file four times as large.
    Resident rss4Before, rss4AfterFirst, rss4After;
    {
        Program k(screen, kalendo, {}, environment(homes[1].path()));
        QThread::sleep(1);
        screen.settle(k.pid, SettledNs);
        rss4Before = resident(k.pid);
        for (int i = 0; i < 5; ++i) {
            k.openDay();
            k.closeDay(true);
            screen.settle(k.pid);
            if (i == 0)
                rss4AfterFirst = resident(k.pid);
        }
        rss4After = resident(k.pid);
    }
    QFile::remove(floorFile);

    std::printf("heavy folder: %d years of %d schedule lines, a day of %d entries, 20000 "
                "anniversaries, 1000 + 1000 rules; X server %s; best of %d, floor and work in "
                "turn\n",
                heavy::Years, heavy::ScheduleLines, heavy::BusyDayEntries, qPrintable(screen.name),
                runs);
    report("start-up (exec to first drawing)", startKalendo, startFloor, 1.3);
    report("month step", stepWork, stepFloorBest, 3);
    report("opening a day (later ones)", openWork, openFloor, 3);
    std::printf("%-34s %8.2f ms wall %8.2f ms CPU | %5.2f x a later one's CPU (target <= 2): "
                "%s\n",
                "first opening of a run", firstOpen.wallMs, firstOpen.cpuMs,
                ratio(firstOpen.cpuMs, openWork.cpuMs),
                firstOpen.cpuMs <= 2 * openWork.cpuMs ? "met" : "NOT met");
    report("OK to the month repainted", okWork, okFloor, 2);
    // The first opening also pages in the code and fonts the window needs and keeps its image
    // buffer; the target is for the openings after it.
    const auto memory = [](const char* what, const Resident& before, const Resident& after,
                           bool target) {
        const Resident d = after - before;
        std::printf("%-34s RSS %lld -> %lld kB: %+lld kB (heap %+lld, files %+lld, shared %+lld)",
                    what, before.all, after.all, d.all, d.anon, d.file, d.shmem);
        if (target)
            std::printf(" (target within 1024): %s", std::abs(d.all) <= 1024 ? "met" : "NOT met");
        std::printf("\n");
    };
    memory("day list, first opening and close", rssBefore, rssAfterFirst, false);
    memory("day list, later openings and closes", rssAfterFirst, rssAfterLast, true);
    memory("4 x year: first opening and close", rss4Before, rss4AfterFirst, false);
    memory("4 x year: later openings and closes", rss4AfterFirst, rss4After, true);

    if (instructions) {
        if (QStandardPaths::findExecutable(QStringLiteral("callgrind_control")).isEmpty()) {
            std::printf("instructions: valgrind not installed\n");
            return 0;
        }
        // The dumps stay in KALENDO_BENCH_CALLGRIND when it names a folder, for callgrind_annotate.
        const QString out = qEnvironmentVariable("KALENDO_BENCH_CALLGRIND", runtime.path());
        qint64 floorStart = -1;
        qint64 floorIdle = -1;
        qint64 floorToIdle = -1;
        qint64 floorOpen = -1;
        {
            Counted floor(screen, floorWindow, floorEnv, out);
            floorStart = floor.startUp;
            floorIdle = floor.afterStartUp;
            floorToIdle = floor.toIdle;
            floor.action([](Program& p) { return p.openDay(); }); // the dialog made
            floor.action([](Program& p) { return p.closeDay(false); });
            floorOpen = floor.action([](Program& p) { return p.openDay(); });
            floor.action([](Program& p) { return p.closeDay(false); });
        }
        Counted k(screen, kalendo, kalendoEnv, out);
        const qint64 firstOpenI = k.action([](Program& p) { return p.openDay(); });
        k.action([](Program& p) { return p.closeDay(true); });
        const qint64 stepI = k.action([](Program& p) { return p.key(XK_Page_Up); });
        k.action([](Program& p) { return p.key(XK_Page_Down); });
        const qint64 openI = k.action([](Program& p) { return p.openDay(); });
        const qint64 okI = k.action([](Program& p) { return p.closeDay(false); });
        const auto line = [](const char* what, qint64 work, qint64 floor, double target) {
            std::printf("%-34s %8.1f M instructions", what, double(work) / 1e6);
            if (floor >= 0 && target == 0)
                std::printf(" | floor %7.1f M", double(floor) / 1e6);
            if (floor > 0 && target > 0)
                std::printf(" | floor %7.1f M | %5.2f x (target <= %.1f): %s", double(floor) / 1e6,
                            ratio(double(work), double(floor)), target,
                            work <= target * double(floor) ? "met" : "NOT met");
            std::printf("\n");
        };
        std::printf("instructions (callgrind, each action to idle):\n");
        line("start-up (exec to first drawing)", k.startUp, floorStart, 1.3);
        line("  then to idle", k.toIdle, floorToIdle, 0);
        line("  then, until settled", k.afterStartUp, floorIdle, 0);
        line("month step", stepI, 0, 0);
        line("opening a day (a later one)", openI, floorOpen, 3);
        line("first opening of the run", firstOpenI, openI, 2);
        line("OK to the month repainted", okI, 0, 0);
    }
    return 0;
}
