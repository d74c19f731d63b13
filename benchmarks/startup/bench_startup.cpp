// Start-up time: from starting the process to the main window's first paint, Kalendo with the
// shipped data against the floor of an empty Qt Widgets window shown and painted, started in
// turn in the same run. A third probe, the empty window with one line of Japanese text, shows
// how much of the difference is the font set-up that any window with text pays.
// Run: bench_startup [runs]  (default 20)
// The platform is the environment's QT_QPA_PLATFORM, or offscreen when there is no display.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double Target = 1.3;

// Milliseconds from start to "painted", or a negative value when the probe failed.
double timeProbe(const QString& program, const QProcessEnvironment& env,
                 const QStringList& arguments = {}) {
    QProcess process;
    process.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    QByteArray out;
    while (!out.contains("painted") && process.waitForReadyRead(20000))
        out += process.readAllStandardOutput();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished();
    return out.contains("painted") ? ms : -1;
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const QString dir = QCoreApplication::applicationDirPath();
    const QString kalendo = dir + QStringLiteral("/probe_kalendo");
    const QString floor = dir + QStringLiteral("/probe_floor");
    if (!QFile::exists(dir + QStringLiteral("/../share/kalendo/holiday.csv")))
        std::fprintf(stderr, "warning: no shipped data in the build\n");

    QTemporaryDir runtime;
    QTemporaryDir config;
    QTemporaryDir data; // the first, unmeasured start fills it from the shipped data
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")) &&
        !env.contains(QStringLiteral("DISPLAY")) &&
        !env.contains(QStringLiteral("WAYLAND_DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());

    // One unmeasured start of each warms the file cache.
    timeProbe(floor, env);
    timeProbe(kalendo, env);
    QList<double> floorTimes;
    QList<double> textTimes;
    QList<double> kalendoTimes;
    for (int i = 0; i < runs; ++i) {
        const double f = timeProbe(floor, env);
        const double t = timeProbe(floor, env, {QStringLiteral("text")});
        const double k = timeProbe(kalendo, env);
        if (f < 0 || t < 0 || k < 0) {
            std::fprintf(stderr, "a probe did not paint\n");
            return 1;
        }
        floorTimes << f;
        textTimes << t;
        kalendoTimes << k;
    }
    const QString platform = env.value(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const double ratio = median(kalendoTimes) / median(floorTimes);
    std::printf("platform %s, %d runs each\n", qPrintable(platform), runs);
    std::printf("floor (empty window): median %.1f ms, best %.1f ms\n", median(floorTimes),
                *std::min_element(floorTimes.begin(), floorTimes.end()));
    std::printf("empty window + one line of text: median %.1f ms, best %.1f ms (%.2f x floor)\n",
                median(textTimes), *std::min_element(textTimes.begin(), textTimes.end()),
                median(textTimes) / median(floorTimes));
    std::printf("kalendo (main window): median %.1f ms, best %.1f ms\n", median(kalendoTimes),
                *std::min_element(kalendoTimes.begin(), kalendoTimes.end()));
    std::printf("ratio %.2f (target <= %.1f): %s\n", ratio, Target,
                ratio <= Target ? "met" : "NOT met");
    return 0;
}
