// Start-up time: from starting the process to the main window's first paint, Kalendo with the
// shipped data against two floors started in turn in the same run: an empty Qt Widgets window
// shown and painted, and the same window showing one line of Japanese text. Any window with text
// pays for its font set-up, so the target is set against the second. Each probe also reports the
// peak resident size it reached.
// Run: bench_startup [runs] [other probe_kalendo]  (default 20 runs)
// A second Kalendo probe (an earlier build's, say) is started in turn with the others, so that
// before and after come from the same run.
// The platform is the environment's QT_QPA_PLATFORM, or offscreen when there is no display.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double Target = 1.3;

struct Probe {
    double ms = -1; // from start to "painted"; negative when the probe failed
    long peakKb = -1;
};

Probe runProbe(const QString& program, const QProcessEnvironment& env,
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
    out += process.readAllStandardOutput();
    const qsizetype at = out.indexOf("painted");
    if (at < 0)
        return {};
    return {ms, out.mid(at + 7).trimmed().split('\n').value(0).toLong()};
}

// A probe that fails is started again: an X server that has only just started, or is busy,
// may refuse the first connections. Gives up after a while.
Probe runProbeRetrying(const QString& program, const QProcessEnvironment& env,
                       const QStringList& arguments = {}) {
    QElapsedTimer waited;
    waited.start();
    for (int attempt = 1;; ++attempt) {
        const Probe p = runProbe(program, env, arguments);
        if (p.ms >= 0 || waited.elapsed() > 30000)
            return p;
        std::fprintf(stderr, "a probe did not paint (attempt %d), starting it again\n", attempt);
        QThread::msleep(std::min(100 * attempt, 1000));
    }
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
    if (!QFile::exists(dir + QStringLiteral("/../share/kalendo/shipped/holiday.csv")))
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
    if (runProbeRetrying(floor, env).ms < 0 || runProbeRetrying(kalendo, env).ms < 0) {
        std::fprintf(stderr, "a probe did not paint\n");
        return 1;
    }
    struct Series {
        const char* name;
        QStringList arguments;
        QString program;
        QList<double> times;
        long peakKb = 0;
    };
    QList<Series> series = {{"floor (empty window)", {}, floor, {}},
                            {"one line of Japanese text", {QStringLiteral("text")}, floor, {}},
                            {"kalendo (main window)", {}, kalendo, {}}};
    if (argc > 2) {
        const QString other = QString::fromLocal8Bit(argv[2]);
        if (runProbeRetrying(other, env).ms < 0) {
            std::fprintf(stderr, "the other probe did not paint\n");
            return 1;
        }
        series.append({"other kalendo", {}, other, {}});
    }
    for (int i = 0; i < runs; ++i) {
        for (Series& s : series) {
            const Probe p = runProbeRetrying(s.program, env, s.arguments);
            if (p.ms < 0) {
                std::fprintf(stderr, "a probe did not paint\n");
                return 1;
            }
            s.times << p.ms;
            s.peakKb = std::max(s.peakKb, p.peakKb);
        }
    }
    const QString platform = env.value(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    std::printf("platform %s, %d runs each, taken in turn\n", qPrintable(platform), runs);
    const double empty = median(series[0].times);
    for (const Series& s : series)
        std::printf("%-28s median %.1f ms, best %.1f ms (%.2f x empty window); peak RSS %ld kB\n",
                    s.name, median(s.times), *std::min_element(s.times.begin(), s.times.end()),
                    median(s.times) / empty, s.peakKb);
    const double ratio = median(series[2].times) / median(series[1].times);
    std::printf("kalendo / one line of text: %.2f (target <= %.1f): %s\n", ratio, Target,
                ratio <= Target ? "met" : "NOT met");
    if (series.size() > 3)
        std::printf("other kalendo / one line of text: %.2f\n",
                    median(series[3].times) / median(series[1].times));
    return 0;
}
