// A key in the search window, measured from outside the program: the real kalendo on a private X
// server (Xvfb) on the heavy folder, one schedule line in a thousand holding a rare word, the
// search window opened with Ctrl+F, and the word's first letter typed into its empty field
// (XTEST). Timed from the key to the first drawing in the result list (DAMAGE), and in another
// run to the first drawing of the count, told once every year is searched, with the program's
// CPU time (all its threads) up to each. Set against floors measured in the same run, in turn with
// the work, that hold none of Kalendo's code: reading the files the first results come from (this
// year's, the anniversaries and the rules) with a plain byte search for the letter, and reading
// every file of the folder with the same search (neither draws anything); and against a frame of a
// 60 Hz display (16.7 ms), the target for the first results.
// Run: bench_searchkey [runs]   (default 15 runs)
// KALENDO_BENCH_FOLDER puts the generated data elsewhere; KALENDO_BENCH_TRACE prints each drawing.

#include "../Floors.h"
#include "../HeavyFolder.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

// Last: Xlib's macros would break the toolkit's headers.
#include "PrivateScreen.h"

using namespace endtoend;

namespace {

constexpr int SearchWidth = 720; // the search window's width
constexpr double FrameMs = 1000.0 / 60;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 15;
    for (const QString& a : app.arguments().mid(1))
        if (a.toInt() > 0)
            runs = a.toInt();
    const QString kalendo = QCoreApplication::applicationDirPath() + QStringLiteral("/kalendo");

    PrivateScreen screen;
    if (!screen.start()) {
        std::fprintf(stderr, "no X server (Xvfb with DAMAGE and XTEST) could be started\n");
        return 1;
    }
    const QString base = qEnvironmentVariable("KALENDO_BENCH_FOLDER", QDir::tempPath());
    QTemporaryDir runtime(base + QStringLiteral("/bench_searchkey-run-XXXXXX"));
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QTemporaryDir home(base + QStringLiteral("/bench_searchkey-XXXXXX"));
    const QString folder = home.path() + QStringLiteral("/data/kalendo/") + DataFolderName;
    QDir().mkpath(folder);
    const QDate today = QDate::currentDate();
    // Only the rare memo holds a Latin letter: the letter finds one line in a thousand.
    heavy::makeFolder(folder, today, 1, heavy::sj("dentist 歯医者の予約"));
    const QByteArray needle("d");
    const QStringList firstFiles = {ScheduleFilePath(folder, today.year()),
                                    AnniversaryFilePath(folder), HolidayFilePath(folder),
                                    EventFilePath(folder)};
    QStringList allFiles;
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name))
        allFiles << folder + QLatin1Char('/') + name;

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), screen.name);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));

    Program k(screen, kalendo, {}, env);
    if (!k.startUp.ok()) {
        std::fprintf(stderr, "kalendo did not show its window\n");
        return 1;
    }
    screen.focus(k.main);
    screen.settle(k.pid);
    screen.chord(XK_Control_L, XK_f);
    if (!screen.waitWindow(k.pid, SearchWidth, true)) {
        std::fprintf(stderr, "the search window did not open\n");
        return 1;
    }
    const Window search = screen.windowOf(k.pid, SearchWidth);
    const QRect at = screen.geometry(search);
    // The list lies below the field; the count below the list, told once every year is searched.
    const QRect list = at.adjusted(0, 38, 0, -50);
    const QRect count = QRect(at.left(), at.bottom() - 50, at.width(), 26);
    // The key typed into the empty field, to the first drawing within an area; then the field
    // emptied again.
    const auto typed = [&](const QRect& within) {
        screen.focus(search);
        screen.settle(k.pid);
        const qint64 t0 = nowNs();
        const qint64 c0 = processCpuNs(k.pid);
        Timing first;
        screen.key(XK_d);
        screen.waitPainted(
            k.pid, t0, c0, SearchWidth, false,
            [&] {
                first = {double(nowNs() - t0) / 1e6, double(processCpuNs(k.pid) - c0) / 1e6};
            },
            within);
        screen.key(XK_BackSpace);
        screen.settle(k.pid);
        return first;
    };

    std::vector<char> buffer;
    buffer.reserve(8 << 20);
    Best firstFloor, allFloor, firstWork, allWork;
    const qsizetype expected = heavy::ScheduleLines / heavy::RareEvery;
    // The first key opens the list's fonts and caches: not counted.
    typed(list);
    for (int i = 0; i < runs; ++i) {
        firstFloor.add(timeHere([&] {
            if (floors::readAndSearch(firstFiles, needle, buffer) != expected)
                qFatal("the floor found the letter other than %lld times", qlonglong(expected));
        }));
        firstWork.add(typed(list));
        allFloor.add(timeHere([&] { floors::readAndSearch(allFiles, needle, buffer); }));
        allWork.add(typed(count));
    }

    std::printf("heavy folder: %d years of %d schedule lines (one in %d holds the word), 20000 "
                "anniversaries, 1000 + 1000 rules; X server %s; best of %d, floor and work in "
                "turn\n",
                heavy::Years, heavy::ScheduleLines, heavy::RareEvery, qPrintable(screen.name),
                runs);
    const auto line = [](const char* what, const Best& work, const Best& floor) {
        std::printf("%-32s %7.2f ms wall %7.2f ms CPU | floor %6.2f ms wall %6.2f ms CPU | "
                    "%5.2f x wall %5.2f x CPU | %s a 60 Hz frame (%.1f ms)\n",
                    what, work.wallMs, work.cpuMs, floor.wallMs, floor.cpuMs,
                    ratio(work.wallMs, floor.wallMs), ratio(work.cpuMs, floor.cpuMs),
                    work.wallMs <= FrameMs ? "within" : "NOT within", FrameMs);
    };
    // The target: the first results within a frame.
    line("key to the first results drawn", firstWork, firstFloor);
    line("key to every year's count drawn", allWork, allFloor);
    return 0;
}
