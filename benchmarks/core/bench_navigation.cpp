// What a user of a heavy calendar waits for, each against the physical minimum of the same work
// measured in the same run:
//   month step         BuildYearTables + the 4 x 42 questions painting a month asks,
//                      against reading the four files' bytes and finding their line ends;
//   opening a day      LoadDaySchedule of the day list (a day of 200 entries), against reading
//                      that year's file; showing and painting the window is reported apart;
//   OK                 the day list's OK (the year's file written) and the month step after it,
//                      against writing the same bytes with fsync plus the month step's floor.
// The folder is generated: ten years of 50,000 schedule lines each, 20,000 anniversaries, 1,000
// holiday and 1,000 event rules. Each side is the best of many runs, floor and work taken in
// turn, so that a busy machine slows both alike. Memory: the peak resident size reached during
// each measure, above the resident size when it started (free heap handed back to the system
// first); for the day list the resident size as the system reports it once the window has
// closed, against before it opened, and what the heap still holds per opening, against an
// empty dialog shown and closed as often.
// Run: bench_navigation [ratios] [-iterations N]; KALENDO_BENCH_RUNS sets the runs per measure
// (default 30). KALENDO_BENCH_FOLDER puts the generated folder elsewhere (the default is under
// the system's temporary folder; fsync means nothing on a memory file system).

#include "../Floors.h"
#include "../HeavyFolder.h"
#include "data/Codec.h"
#include "data/TextFile.h"
#include "rules/ComType.h"
#include "rules/YearTables.h"
#include "schedule/MainEdit.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kYear = 2025;
constexpr int kFirstYear = kYear - heavy::Years + 1;
constexpr int kScheduleLines = heavy::ScheduleLines;
constexpr int kBusyMonth = 3;
constexpr int kBusyDay = 7;
constexpr int kBusyDayEntries = heavy::BusyDayEntries;
const QString kBusyCaption = QStringLiteral("2025/03/07");

QStringList stepFiles(const QString& folder) {
    return {AnniversaryFilePath(folder), ScheduleFilePath(folder, kYear), EventFilePath(folder),
            HolidayFilePath(folder)};
}

// Rebuild, then the 4 x 42 annotation questions painting a month asks (March 2025: six weeks):
// painting only asks whether a kind's text is empty. fullText asks for the texts themselves.
int monthStep(YearTables& tables, const QString& folder, bool fullText = false) {
    BuildYearTables(tables, kYear, folder, kBusyMonth);
    int marked = 0;
    const QDate first(kYear, kBusyMonth, 1);
    const QDate gridStart = first.addDays(-(first.dayOfWeek() % 7));
    for (int cell = 0; cell < 42; ++cell) {
        const QDate d = gridStart.addDays(cell);
        for (int kind = 0; kind < 4; ++kind)
            marked +=
                fullText
                    ? !BuildDayAnnotation(tables, kind, kind, kYear, d.month(), d.day()).isEmpty()
                    : tables.hasAnnotation(kind, kYear, d.month(), d.day());
    }
    if (marked == 0)
        qFatal("the heavy folder marks no day");
    return marked;
}

qint64 procStatusKb(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)))
                .trimmed()
                .split(' ')
                .value(0)
                .toLongLong();
    return -1;
}

// Starts a new peak of the resident size (Linux keeps one per process).
void resetPeakResident() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// Lets the posted events run, as the event loop would. The program's own handing back of
// memory is what is measured, so none is handed back here.
void settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

qint64 heapInUse() {
    return qint64(mallinfo2().uordblks);
}

int runsPerMeasure() {
    const int runs = qEnvironmentVariableIntValue("KALENDO_BENCH_RUNS");
    return runs > 0 ? runs : 30;
}

// One measure: the best time of its work and of its floor, taken in turn, and the peak resident
// size the work reached above where it started.
struct Measure {
    double workNs = 1e300;
    double floorNs = 1e300;
    qint64 peakRiseKb = 0;
    double ratio() const { return workNs / floorNs; }
};

template <typename Work, typename Floor, typename Before>
Measure measure(int runs, Work&& work, Floor&& floor, Before&& before) {
    Measure m;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        floor();
        m.floorNs = std::min(m.floorNs, double(t.nsecsElapsed()));
        before();
        t.start();
        work();
        m.workNs = std::min(m.workNs, double(t.nsecsElapsed()));
    }
    // Memory in a run of its own: handing the free heap back first would slow the timed runs.
    before();
    malloc_trim(0);
    resetPeakResident();
    const qint64 start = procStatusKb("VmRSS:");
    work();
    m.peakRiseKb = procStatusKb("VmHWM:") - start;
    return m;
}

const char* verdict(bool met) {
    return met ? "met" : "NOT met";
}

} // namespace

class bench_Navigation : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        const QString base = qEnvironmentVariable("KALENDO_BENCH_FOLDER");
        m_dir.emplace(base.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_navigation-XXXXXX")
                                     : base + QStringLiteral("/bench_navigation-XXXXXX"));
        QVERIFY(m_dir->isValid());
        m_folder = m_dir->path() + QLatin1Char('/');
        heavy::makeFolder(m_folder, QDate(kYear, kBusyMonth, kBusyDay));
        // A user steps months well after the files were written: past the clock tick within
        // which a later write could hide, when the tables may keep what they read. Measured
        // right after the writing, a step read every file again.
        for (const QString& path : stepFiles(m_folder)) {
            for (;;) {
                const std::optional<FileStamp> now = StatFileStamp(path);
                QVERIFY(now);
                if (CertainlyUnchanged(*now, *now))
                    break;
                QThread::msleep(10);
            }
        }
        SetDataFolder(m_folder);
        BuildYearTables(m_tables, kYear, m_folder);
        QCOMPARE(m_tables.YearSchedules().size(), kScheduleLines);
        m_day.setWindowTitle(kBusyCaption);
        m_day.LoadDaySchedule();
        QCOMPARE(m_day.gridEdit->grid().rowCount(), kBusyDayEntries + 1);
    }
    void cleanupTestCase() { SetDataFolder(QString()); }
    void floor() {
        std::vector<char> buffer;
        QBENCHMARK {
            for (const QString& path : stepFiles(m_folder))
                floors::readAndFindLineEnds(path, buffer);
        }
    }
    void step() {
        YearTables tables;
        QBENCHMARK {
            monthStep(tables, m_folder);
        }
    }
    void open() {
        QBENCHMARK {
            m_day.setWindowTitle(kBusyCaption);
            m_day.LoadDaySchedule();
        }
    }
    void held() {
        if (!qgetenv("GLIBC_TUNABLES").contains("tcache_count=0"))
            QSKIP("weighed by ratios, in a process without glibc's per-thread cache");
        const auto openShowClose = [this](const QString& caption) { openShowAndCancel(caption); };
        openShowClose(kBusyCaption);
        // The resident size as the system reports it, before the day list opens and once it has
        // closed, after one opening and after twenty.
        settle();
        const qint64 residentBefore = procStatusKb("VmRSS:");
        openShowClose(kBusyCaption);
        settle();
        const qint64 residentOnce = procStatusKb("VmRSS:") - residentBefore;
        for (int i = 1; i < 20; ++i) {
            openShowClose(kBusyCaption);
            settle();
        }
        const qint64 residentTwenty = procStatusKb("VmRSS:") - residentBefore;
        qInfo("  resident once the day list has closed: %+lld kB after one opening, %+lld kB after "
              "twenty (target: within 1024 kB of before it opened): %s",
              residentOnce, residentTwenty,
              verdict(std::abs(residentOnce) <= 1024 && std::abs(residentTwenty) <= 1024));
        // What stays held, per opening, over many openings each closed, against an empty dialog
        // shown and closed as often: Qt itself keeps a little of every showing of a window.
        // Posted events run between openings, as the event loop of a running program runs them.
        constexpr int openings = 300;
        const auto heldPerOpening = [&](auto&& opening) {
            settle();
            const qint64 before = heapInUse();
            for (int i = 0; i < openings; ++i) {
                opening();
                settle();
            }
            return double(heapInUse() - before) / openings;
        };
        QDialog empty;
        const auto emptyShown = [&] {
            empty.show();
            empty.done(2);
        };
        const auto dayShown = [&] { openShowClose(kBusyCaption); };
        // Each the second of two rounds: what Qt keeps of a showing depends a little on the
        // window shown before.
        heldPerOpening(emptyShown);
        const double emptyHeld = heldPerOpening(emptyShown);
        heldPerOpening(dayShown);
        const double dayHeld = heldPerOpening(dayShown);
        qInfo("  held per opening, over %d openings each closed: heap %+.0f bytes, an empty "
              "dialog shown and closed as often %+.0f bytes (Qt's own) (target: none beyond the "
              "empty dialog's, within 8 bytes): %s",
              openings, dayHeld, emptyHeld, verdict(dayHeld - emptyHeld <= 8));
    }
    void annotationCall() {
        // The painting's repeated question about one busy day.
        int n = 0;
        QBENCHMARK {
            n += m_tables.hasAnnotation(akSchedule, kYear, kBusyMonth, kBusyDay);
        }
    }
    void hintCall() {
        QBENCHMARK {
            BuildDayAnnotation(m_tables, 0, 3, kYear, kBusyMonth, kBusyDay);
        }
    }
    void ratios() {
        const int runs = runsPerMeasure();
        std::vector<char> buffer;
        buffer.reserve(8 << 20);
        YearTables tables;
        const QStringList files = stepFiles(m_folder);
        const QString yearFile = ScheduleFilePath(m_folder, kYear);
        const auto none = [] {};

        const Measure step = measure(
            runs, [&] { monthStep(tables, m_folder); },
            [&] {
                for (const QString& path : files)
                    floors::readAndFindLineEnds(path, buffer);
            },
            none);

        // Opening a day, then with the window shown, painted and closed; the first opening loads
        // fonts and styles and is left out.
        TMainEditForm& day = m_day;
        const auto openShowClose = [this](const QString& caption) { openShowAndCancel(caption); };
        openShowClose(kBusyCaption);

        const auto open = [&] {
            day.setWindowTitle(kBusyCaption);
            day.LoadDaySchedule();
        };
        const Measure load = measure(
            runs, open, [&] { floors::readBytes(yearFile, buffer); }, none);
        Measure shown = measure(
            runs, [&] { openShowClose(kBusyCaption); },
            [&] { floors::readBytes(yearFile, buffer); }, none);
        // OK: the busy day saved unchanged, then the month stepped to as the main window does.
        QFile file(yearFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray yearBytes = file.readAll();
        file.close();
        const QString floorFile = m_folder + QStringLiteral("floor.csv");
        Measure ok = measure(
            runs,
            [&] {
                day.btnOkClick();
                // As the main window does: the tables take the day as written.
                if (const std::optional<SavedDay> saved = day.TakeSavedDay())
                    tables.takeSavedDay(*saved);
                monthStep(tables, m_folder);
            },
            [&] {
                floors::writeWithFsync(floorFile, yearBytes);
                for (const QString& path : files)
                    floors::readAndFindLineEnds(path, buffer);
            },
            [&] {
                day.setWindowTitle(kBusyCaption);
                day.LoadDaySchedule();
            });
        QFile::remove(floorFile);

        const Measure cold = measure(
            runs, [&] { monthStep(tables, m_folder, true); }, none,
            [&] { BuildYearTables(tables, kYear, m_folder, kBusyMonth); });
        constexpr int calls = 100000;
        double callNs = 1e300;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer t;
            t.start();
            int n = 0;
            for (int c = 0; c < calls; ++c)
                n += m_tables.hasAnnotation(c & 3, kYear, kBusyMonth, 1 + c % 31);
            callNs = std::min(callNs, double(t.nsecsElapsed()) / calls);
            QVERIFY(n > 0);
        }

        // The held memory is weighed in a process of its own without glibc's per-thread cache,
        // which keeps freed blocks counted as in use and would blur a few bytes per opening.
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GLIBC_TUNABLES"), QStringLiteral("glibc.malloc.tcache_count=0"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("held")});
        QVERIFY(child.waitForFinished(120000));
        const QByteArray childOut = child.readAllStandardOutput();
        const auto childLine = [&](const char* start) {
            const qsizetype at = childOut.indexOf(start);
            return at < 0 ? QByteArray(start) + ": not measured"
                          : childOut.mid(at, childOut.indexOf('\n', at) - at);
        };
        const QByteArray residentLine = childLine("  resident once the day list has closed");
        const QByteArray heldLine = childLine("  held per opening");

        qInfo("heavy folder: %d schedule lines in %d years, 20000 anniversaries, 1000 holiday and "
              "1000 event rules; best of %d runs",
              kScheduleLines, kYear - kFirstYear + 1, runs);
        qInfo("month step floor (read + find line ends of the 4 files): %.3f ms",
              step.floorNs / 1e6);
        qInfo("month step (BuildYearTables + 4 x 42 questions): %.3f ms, %.2f x floor (target "
              "<= 3): %s; peak RSS +%lld kB",
              step.workNs / 1e6, step.ratio(), verdict(step.ratio() <= 3), step.peakRiseKb);
        qInfo("open floor (read the year's file): %.3f ms", load.floorNs / 1e6);
        qInfo("opening a day of %d entries (LoadDaySchedule): %.3f ms, %.2f x floor (target <= 2): "
              "%s; peak RSS +%lld kB",
              kBusyDayEntries, load.workNs / 1e6, load.ratio(), verdict(load.ratio() <= 2),
              load.peakRiseKb);
        qInfo("  with the window shown, painted and closed: %.3f ms, %.2f x floor; peak RSS "
              "+%lld kB",
              shown.workNs / 1e6, shown.ratio(), shown.peakRiseKb);
        qInfo("%s", residentLine.constData());
        qInfo("%s", heldLine.constData());
        qInfo("OK floor (write the same bytes + fsync, then the month step's floor): %.3f ms",
              ok.floorNs / 1e6);
        qInfo("OK to month stepped (btnOkClick + month step): %.3f ms, %.2f x floor (target <= 2): "
              "%s; peak RSS +%lld kB",
              ok.workNs / 1e6, ok.ratio(), verdict(ok.ratio() <= 2), ok.peakRiseKb);
        qInfo("month step with the annotation texts assembled: %.3f ms", cold.workNs / 1e6);
        qInfo("one annotation call, repeated (every repaint after the first): %.1f ns (target < "
              "1000)",
              callNs);
    }

private:
    // The day list filled from the file, shown and painted, then closed by ｷｬﾝｾﾙ.
    void openShowAndCancel(const QString& caption) {
        m_day.setWindowTitle(caption);
        m_day.LoadDaySchedule();
        m_day.show();
        m_day.repaint();
        m_day.btnCancelClick();
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_folder;
    YearTables m_tables;
    TMainEditForm m_day;
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench_Navigation bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "bench_navigation.moc"
