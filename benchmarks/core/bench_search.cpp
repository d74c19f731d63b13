// Searching the heavy folder (benchmarks/HeavyFolder.h) for a word that one schedule line in a
// thousand holds, against the physical minimum of the same work measured in the same run: reading
// every file of the folder and a plain byte search (memmem) over its bytes for the word as stored.
// Two queries: the word as stored (歯医者), and one typed in hiragana (はいしゃ) for a word stored
// in half-width katakana (ﾊｲｼｬ), which every spelling of each character must be looked for.
// Also the time to the first results a window shows (the files nearest to today searched).
// Each side is the best of many runs, floor and work taken in turn, so that a busy machine slows
// both alike. Run: bench_search; KALENDO_BENCH_RUNS sets the runs (default 30),
// KALENDO_BENCH_FOLDER where the folder is generated.

#include "../Floors.h"
#include "../HeavyFolder.h"
#include "search/DataSearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstring>

namespace {

int runsPerMeasure() {
    const int runs = qEnvironmentVariableIntValue("KALENDO_BENCH_RUNS");
    return runs > 0 ? runs : 30;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString base = qEnvironmentVariable("KALENDO_BENCH_FOLDER");
    QTemporaryDir dir((base.isEmpty() ? QDir::tempPath() : base) +
                      QStringLiteral("/bench_search-XXXXXX"));
    if (!dir.isValid())
        qFatal("cannot make the folder");
    const QString folder = dir.path() + QLatin1Char('/');
    constexpr int year = 2025;
    heavy::makeFolder(folder, QDate(year, 3, 7), 1, heavy::sj("歯医者（ﾊｲｼｬ）の予約"));
    QStringList paths;
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name))
        paths << folder + name;
    const QDate today(year, 6, 1);
    const int expected = heavy::Years * heavy::ScheduleLines / heavy::RareEvery;
    const int runs = runsPerMeasure();
    std::vector<char> buffer;
    buffer.reserve(8 << 20);

    qInfo("heavy folder: %d schedule lines in %d years, 20000 anniversaries, 1000 holiday and "
          "1000 event rules (%lld files); one schedule line in %d holds the word; best of %d runs",
          heavy::ScheduleLines, heavy::Years, qlonglong(paths.size()), heavy::RareEvery, runs);
    struct Case {
        const char* typed;
        const char* stored;
    };
    bool allMet = true;
    for (const Case& c : {Case{"歯医者", "歯医者"}, Case{"はいしゃ", "ﾊｲｼｬ"}}) {
        const SearchQuery query(QString::fromUtf8(c.typed));
        const QByteArray needle = heavy::sj(c.stored);
        double floorNs = 1e300;
        double workNs = 1e300;
        double firstNs = 1e300;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer t;
            t.start();
            if (floors::readAndSearch(paths, needle, buffer) != expected)
                qFatal("the floor found the word %lld times", qlonglong(expected));
            floorNs = std::min(floorNs, double(t.nsecsElapsed()));
            t.start();
            const SearchOutcome outcome =
                SearchDataFolder(folder, query, today, {}, [&](const SearchOutcome&) {
                    firstNs = std::min(firstNs, double(t.nsecsElapsed()));
                });
            workNs = std::min(workNs, double(t.nsecsElapsed()));
            if (outcome.matches.size() != expected || !outcome.unreadable.isEmpty())
                qFatal("the search found %lld, not %d", qlonglong(outcome.matches.size()),
                       expected);
        }
        const double ratio = workNs / floorNs;
        allMet = allMet && ratio <= 2;
        qInfo("search for %s (%d matches): %.3f ms; floor (read every file + memmem of %s): "
              "%.3f ms; %.2f x floor (target <= 2): %s",
              c.typed, expected, workNs / 1e6, c.stored, floorNs / 1e6, ratio,
              ratio <= 2 ? "met" : "NOT met");
        qInfo("  its first results (this year's file, the anniversaries and the rules), before the "
              "window is told: %.3f ms (a 60 Hz frame: 16.7 ms)",
              firstNs / 1e6);
    }
    return 0;
}
