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

namespace {

constexpr int MainWidth = 240;               // the main window's width, Kalendo's and the floor's
constexpr int DayWidth = 868;                // the day list's, and the floor's dialog
constexpr qint64 QuietNs = 60'000'000;       // idle: no CPU and no drawing for this long
constexpr qint64 GiveUpNs = 120'000'000'000; // a start under callgrind on a busy machine

qint64 nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

qint64 ownCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The CPU time of all the threads of a process, in ns, as the scheduler counts it.
qint64 processCpuNs(qint64 pid) {
    qint64 sum = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks + QLatin1Char('/') + tid + QStringLiteral("/schedstat"));
        if (f.open(QIODevice::ReadOnly))
            sum += f.readLine().split(' ').value(0).toLongLong();
    }
    return sum;
}

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

struct Timing {
    double wallMs = -1;
    double cpuMs = -1;
    bool ok() const { return wallMs >= 0; }
};

// Best of many, wall and CPU apart.
struct Best {
    double wallMs = 1e300;
    double cpuMs = 1e300;
    int count = 0;
    void add(const Timing& t) {
        if (!t.ok())
            return;
        wallMs = std::min(wallMs, t.wallMs);
        cpuMs = std::min(cpuMs, t.cpuMs);
        ++count;
    }
    void add(const Timing& a, const Timing& b) {
        if (a.ok() && b.ok())
            add(Timing{a.wallMs + b.wallMs, a.cpuMs + b.cpuMs});
    }
};

// Work done in this process, timed as a floor.
Timing timeHere(const std::function<void()>& work) {
    const qint64 t0 = nowNs();
    const qint64 c0 = ownCpuNs();
    work();
    return {double(nowNs() - t0) / 1e6, double(ownCpuNs() - c0) / 1e6};
}

// A private X server and the connection the benchmark watches and drives it through.
class PrivateScreen {
public:
    ~PrivateScreen() {
        if (m_display)
            XCloseDisplay(m_display);
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            m_server.waitForFinished(5000);
        }
    }

    bool start() {
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"),
                        QStringLiteral("-noreset"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1600x1200x24")});
        QByteArray number;
        QElapsedTimer waited;
        waited.start();
        while (!number.contains('\n') && waited.elapsed() < 20000 &&
               m_server.waitForReadyRead(1000))
            number += m_server.readAllStandardOutput();
        if (!number.contains('\n'))
            return false;
        name = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        // The server may take a while to accept connections, more so on a busy machine.
        while (!(m_display = XOpenDisplay(name.toLatin1().constData()))) {
            if (waited.elapsed() > 20000)
                return false;
            QThread::msleep(50);
        }
        int error = 0;
        if (!XDamageQueryExtension(m_display, &m_damageEvent, &error))
            return false;
        int major = 0;
        int minor = 0;
        int event = 0;
        if (!XTestQueryExtension(m_display, &event, &error, &major, &minor))
            return false;
        m_root = DefaultRootWindow(m_display);
        // Drawing into any window is reported on the root.
        XDamageCreate(m_display, m_root, XDamageReportRawRectangles);
        XSelectInput(m_display, m_root, SubstructureNotifyMask);
        XSync(m_display, False);
        return true;
    }

    QString name;

    // The process's mapped top-level window of this width, or 0.
    Window windowOf(qint64 pid, int width) {
        drain();
        for (const auto& [id, w] : m_windows)
            if (w.mapped && w.width == width && w.pid == pid)
                return id;
        return 0;
    }

    QRect geometry(Window id) {
        drain();
        const auto it = m_windows.find(id);
        return it == m_windows.end()
                   ? QRect()
                   : QRect(it->second.x, it->second.y, it->second.width, it->second.height);
    }

    void focus(Window target) {
        XSetInputFocus(m_display, target, RevertToPointerRoot, CurrentTime);
        XSync(m_display, False);
    }

    void key(KeySym sym) {
        const KeyCode code = XKeysymToKeycode(m_display, sym);
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        XFlush(m_display);
    }

    // A click, the pointer then moved out of every window so that no hover shows a hint.
    void click(const QPoint& at) {
        XTestFakeMotionEvent(m_display, -1, at.x(), at.y(), CurrentTime);
        XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
        XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
        XTestFakeMotionEvent(m_display, -1, 1590, 10, CurrentTime);
        XFlush(m_display);
    }

    // Waits until the process has drawn (into its window of width `in`, when given) and gone
    // idle. The time is that of the last drawing reported, or with `first` of the first drawing
    // into that window; the CPU time is the process's up to idle.
    Timing waitPainted(qint64 pid, qint64 startNs, qint64 startCpu, int in = 0, bool first = false,
                       const std::function<void()>& atFirst = {}) {
        qint64 painted = -1;
        bool seen = in == 0;
        qint64 lastChange = nowNs();
        qint64 cpu = startCpu;
        for (;;) {
            pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
            ::poll(&fd, 1, 2);
            const qint64 now = nowNs();
            drain([&](const XRectangle& area) {
                // Only the process's own windows: another program's answer to losing the focus
                // is not this action's.
                if (!inWindowOf(area, pid, 0))
                    return;
                if (m_trace)
                    std::fprintf(stderr, "  %7.2f ms drawn %d,%d %dx%d\n",
                                 double(now - startNs) / 1e6, area.x, area.y, area.width,
                                 area.height);
                lastChange = now;
                if (!seen && inWindowOf(area, pid, in)) {
                    seen = true;
                    painted = now;
                    if (atFirst)
                        atFirst();
                } else if (seen && !first) {
                    painted = now;
                }
            });
            const qint64 c = processCpuNs(pid);
            if (c != cpu) {
                cpu = c;
                lastChange = now;
            }
            if (painted >= 0 && now - lastChange > QuietNs) {
                if (m_trace)
                    std::fprintf(stderr, "=> %.2f ms, %.2f ms CPU\n",
                                 double(painted - startNs) / 1e6, double(cpu - startCpu) / 1e6);
                return {double(painted - startNs) / 1e6, double(cpu - startCpu) / 1e6};
            }
            if (now - startNs > GiveUpNs || ::kill(pid_t(pid), 0) != 0)
                return {};
        }
    }

    // Waits until the process has done nothing for a while.
    void settle(qint64 pid) {
        qint64 cpu = processCpuNs(pid);
        qint64 lastChange = nowNs();
        while (nowNs() - lastChange < QuietNs) {
            QThread::msleep(5);
            bool drew = false;
            drain([&](const XRectangle&) { drew = true; });
            const qint64 c = processCpuNs(pid);
            if (c != cpu || drew) {
                cpu = c;
                lastChange = nowNs();
            }
        }
    }

    // Waits for the process's top-level window of this width to be mapped (true) or gone.
    bool waitWindow(qint64 pid, int width, bool mapped) {
        const qint64 start = nowNs();
        while ((windowOf(pid, width) != 0) != mapped) {
            if (nowNs() - start > GiveUpNs)
                return false;
            QThread::msleep(2);
        }
        return true;
    }

private:
    struct TopLevel {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        bool mapped = false;
        qint64 pid = 0;
    };

    bool inWindowOf(const XRectangle& area, qint64 pid, int width) const {
        for (const auto& [id, w] : m_windows)
            if (w.mapped && (width == 0 || w.width == width) && w.pid == pid && area.x >= w.x &&
                area.y >= w.y && area.x < w.x + w.width && area.y < w.y + w.height)
                return true;
        return false;
    }

    void drain(const std::function<void(const XRectangle&)>& drawn = {}) {
        while (XPending(m_display)) {
            XEvent e;
            XNextEvent(m_display, &e);
            if (e.type == m_damageEvent + XDamageNotify) {
                if (drawn)
                    drawn(reinterpret_cast<XDamageNotifyEvent*>(&e)->area);
                continue;
            }
            switch (e.type) {
            case CreateNotify:
                m_windows[e.xcreatewindow.window] = {e.xcreatewindow.x, e.xcreatewindow.y,
                                                     e.xcreatewindow.width, e.xcreatewindow.height,
                                                     false};
                break;
            case ConfigureNotify: {
                TopLevel& w = m_windows[e.xconfigure.window];
                w.x = e.xconfigure.x;
                w.y = e.xconfigure.y;
                w.width = e.xconfigure.width;
                w.height = e.xconfigure.height;
                break;
            }
            case MapNotify: {
                TopLevel& w = m_windows[e.xmap.window];
                w.mapped = true;
                w.pid = windowPid(e.xmap.window);
                break;
            }
            case UnmapNotify:
                m_windows[e.xunmap.window].mapped = false;
                break;
            case DestroyNotify:
                m_windows.erase(e.xdestroywindow.window);
                break;
            default:
                break;
            }
        }
    }

    qint64 windowPid(Window id) {
        const Atom atom = XInternAtom(m_display, "_NET_WM_PID", False);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long rest = 0;
        unsigned char* data = nullptr;
        qint64 pid = 0;
        if (XGetWindowProperty(m_display, id, atom, 0, 1, False, XA_CARDINAL, &type, &format,
                               &count, &rest, &data) == Success &&
            data && count == 1 && format == 32)
            pid = qint64(*reinterpret_cast<unsigned long*>(data));
        if (data)
            XFree(data);
        return pid;
    }

    QProcess m_server;
    const bool m_trace = qEnvironmentVariableIsSet("KALENDO_BENCH_TRACE");
    Display* m_display = nullptr;
    Window m_root = 0;
    int m_damageEvent = 0;
    std::map<Window, TopLevel> m_windows;
};

// One run of a program on the screen, with its own configuration, data and runtime folders.
class Program {
public:
    Program(PrivateScreen& screen, const QString& path, const QStringList& arguments,
            const QProcessEnvironment& env,
            const std::function<void(qint64 pid)>& atFirstDrawing = {})
        : m_screen(screen) {
        m_process.setProcessEnvironment(env);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        const qint64 start = nowNs();
        m_process.start(path, arguments);
        if (!m_process.waitForStarted(10000))
            return;
        pid = m_process.processId();
        startUp = screen.waitPainted(pid, start, 0, MainWidth, true, [&] {
            if (atFirstDrawing)
                atFirstDrawing(pid);
        });
        main = screen.windowOf(pid, MainWidth);
    }
    ~Program() {
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
        m_screen.waitWindow(pid, MainWidth, false);
    }

    // Return on the main window: the day list (or the floor's dialog) drawn and idle.
    Timing openDay() { return key(XK_Return, DayWidth); }
    // OK (or with cancel, ｷｬﾝｾﾙ) clicked in the open day list, to the main window repainted.
    Timing closeDay(bool cancel) {
        const Window day = m_screen.windowOf(pid, DayWidth);
        if (!day)
            return {};
        const QRect at = m_screen.geometry(day);
        const qint64 t0 = nowNs();
        const qint64 c0 = processCpuNs(pid);
        m_screen.click(at.topLeft() + QPoint(cancel ? 822 : 736, 16));
        const Timing t = m_screen.waitPainted(pid, t0, c0);
        return m_screen.waitWindow(pid, DayWidth, false) ? t : Timing{};
    }

    // A key on the main window, which is given the focus first, outside the time.
    Timing key(KeySym sym, int in = 0) {
        m_screen.focus(main);
        m_screen.settle(pid);
        const qint64 t0 = nowNs();
        const qint64 c0 = processCpuNs(pid);
        m_screen.key(sym);
        return m_screen.waitPainted(pid, t0, c0, in);
    }

    qint64 pid = 0;
    Window main = 0;
    Timing startUp;

private:
    PrivateScreen& m_screen;
    QProcess m_process;
};

double ratio(double work, double floor) {
    return floor > 0 ? work / floor : 0;
}

void report(const char* what, const Best& work, const Best& floor, double target) {
    const double wall = ratio(work.wallMs, floor.wallMs);
    const double cpu = ratio(work.cpuMs, floor.cpuMs);
    std::printf("%-34s %8.2f ms wall %8.2f ms CPU | floor %7.2f ms wall %7.2f ms CPU | "
                "%5.2f x wall %5.2f x CPU (target <= %.1f): %s\n",
                what, work.wallMs, work.cpuMs, floor.wallMs, floor.cpuMs, wall, cpu, target,
                wall <= target && cpu <= target ? "met" : "NOT met");
}

// A program run under callgrind, its instructions counted from its start to idle after the
// first drawing, and then over single actions, each to idle (the count is zeroed before).
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
        screen.settle(m_program.pid);
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
    Best startFloor;
    Best startKalendo;
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
        }
    }

    // The actions, in one run of each program side by side: the floor window placed where no
    // window of Kalendo's covers it.
    Best stepWork, stepFloorBest, openWork, openFloor, firstOpen, okWork, okFloor;
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
        screen.settle(k.pid);
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
        screen.settle(k.pid);
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
                "first opening of the run", firstOpen.wallMs, firstOpen.cpuMs,
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
        line("  then, idle, in the next 2 s", k.afterStartUp, floorIdle, 0);
        line("month step", stepI, 0, 0);
        line("opening a day (a later one)", openI, floorOpen, 3);
        line("first opening of the run", firstOpenI, openI, 2);
        line("OK to the month repainted", okI, 0, 0);
    }
    return 0;
}
