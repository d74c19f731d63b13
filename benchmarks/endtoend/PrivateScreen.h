#pragma once

// A private X server driven and watched from outside the programs it shows: real key presses and
// clicks (XTEST), every drawing reported (DAMAGE), and the programs' CPU time, for the end-to-end
// benchmarks.

// Included after the toolkit's headers: Xlib defines macros (None, Bool) that break them.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>

namespace endtoend {

constexpr int MainWidth = 240;         // the main window's width, Kalendo's and the floor's
constexpr int DayWidth = 868;          // the day list's, and the floor's dialog
constexpr qint64 QuietNs = 60'000'000; // idle: no CPU and no drawing for this long
// Settled after start-up: besides quiet now, busy for less than a tenth of the last second, which
// spans the program's own short delays (a file watcher's 300 ms) and leaves room for the clock's
// ticks. Under callgrind the work runs many times slower than such delays, and quiet gaps of
// 60 ms come between its pieces: work held back by them must not land in the next action.
constexpr qint64 SettledNs = 1'000'000'000;
constexpr qint64 GiveUpNs = 120'000'000'000; // a start under callgrind on a busy machine

inline qint64 nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

inline qint64 ownCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The CPU time of all the threads of a process, in ns, as the scheduler counts it.
inline qint64 processCpuNs(qint64 pid) {
    qint64 sum = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks + QLatin1Char('/') + tid + QStringLiteral("/schedstat"));
        if (f.open(QIODevice::ReadOnly))
            sum += f.readLine().split(' ').value(0).toLongLong();
    }
    return sum;
}

// Whether any thread of the process is running or waiting for a processor. On a busy machine a
// program can wait its turn longer than the quiet time and must not count as idle meanwhile.
inline bool anyThreadRunnable(qint64 pid) {
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks + QLatin1Char('/') + tid + QStringLiteral("/stat"));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) S ...": the name may hold blanks and parentheses, the state follows the last.
        const QByteArray stat = f.readAll();
        const qsizetype state = stat.lastIndexOf(')') + 2;
        if (state > 1 && state < stat.size() && stat.at(state) == 'R')
            return true;
    }
    return false;
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
inline Timing timeHere(const std::function<void()>& work) {
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

    // A key pressed while a modifier (Control, Shift) is held.
    void chord(KeySym modifier, KeySym sym) {
        const KeyCode held = XKeysymToKeycode(m_display, modifier);
        XTestFakeKeyEvent(m_display, held, True, CurrentTime);
        key(sym);
        XTestFakeKeyEvent(m_display, held, False, CurrentTime);
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
    // into that window; the CPU time is the process's up to idle. With `within`, only a drawing
    // there (in screen coordinates) counts as the first.
    Timing waitPainted(qint64 pid, qint64 startNs, qint64 startCpu, int in = 0, bool first = false,
                       const std::function<void()>& atFirst = {}, const QRect& within = {}) {
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
                if (!seen && inWindowOf(area, pid, in) &&
                    (within.isNull() || within.contains(area.x, area.y))) {
                    seen = true;
                    painted = now;
                    if (atFirst)
                        atFirst();
                } else if (seen && !first) {
                    painted = now;
                }
            });
            const qint64 c = processCpuNs(pid);
            if (c != cpu || anyThreadRunnable(pid)) {
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

    // Waits until the process has done nothing for a while; with a window, also until it has
    // been busy for less than a tenth of the last window.
    void settle(qint64 pid, qint64 windowNs = 0) {
        const qint64 start = nowNs();
        qint64 cpu = processCpuNs(pid);
        qint64 lastChange = start;
        std::deque<std::pair<qint64, qint64>> samples{{start, cpu}}; // (time, CPU time)
        for (;;) {
            QThread::msleep(5);
            bool drew = false;
            drain([&](const XRectangle&) { drew = true; });
            const qint64 now = nowNs();
            const qint64 c = processCpuNs(pid);
            if (c != cpu || drew || anyThreadRunnable(pid)) {
                cpu = c;
                lastChange = now;
            }
            samples.emplace_back(now, c);
            while (samples.size() > 1 && samples[1].first <= now - windowNs)
                samples.pop_front();
            const bool calm = windowNs == 0 || (now - start >= windowNs &&
                                                c - samples.front().second < windowNs / 10);
            if (now - lastChange >= QuietNs && calm)
                return;
            if (now - start > GiveUpNs)
                return;
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

inline double ratio(double work, double floor) {
    return floor > 0 ? work / floor : 0;
}

inline void report(const char* what, const Best& work, const Best& floor, double target) {
    const double wall = ratio(work.wallMs, floor.wallMs);
    const double cpu = ratio(work.cpuMs, floor.cpuMs);
    std::printf("%-34s %8.2f ms wall %8.2f ms CPU | floor %7.2f ms wall %7.2f ms CPU | "
                "%5.2f x wall %5.2f x CPU (target <= %.1f): %s\n",
                what, work.wallMs, work.cpuMs, floor.wallMs, floor.cpuMs, wall, cpu, target,
                wall <= target && cpu <= target ? "met" : "NOT met");
}

// A program run under callgrind, its instructions counted from its start to idle after the
// first drawing, and then over single actions, each to idle (the count is zeroed before).

} // namespace endtoend
