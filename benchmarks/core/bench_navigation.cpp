// One navigation's core work on a heavy data folder, against the floor of only reading and
// splitting the same files into lines. Run: bench_navigation [-iterations N]
// The last slot prints the ratios, each side timed as the best of many runs.

#include "data/Codec.h"
#include "data/TextFile.h"
#include "rules/ComType.h"
#include "rules/YearTables.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kYear = 2025;

QByteArray sj(const char* utf8) {
    return Codec::encodeOrThrow(QString::fromUtf8(utf8));
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// 20,000 schedule lines, 2,000 anniversaries, 200 holiday and 200 event rules.
void makeHeavyFolder(const QString& folder) {
    QRandomGenerator rng(42);
    QByteArray schedule;
    for (int i = 0; i < 20000; ++i) {
        const QDate d = QDate(kYear, 1, 1).addDays(rng.bounded(365));
        schedule +=
            QString::asprintf("%.4d%.2d%.2d,%d,%.2d:%.2d,%.2d:00,", kYear, d.month(), d.day(),
                              i % 9 + 1, rng.bounded(24), rng.bounded(60), rng.bounded(24))
                .toLatin1() +
            sj("打合せ") + QByteArray::number(i) + ',' + sj("本社会議室") + ',' +
            sj("資料を持参すること") + "\r\n";
    }
    QByteArray anniversaries;
    for (int i = 0; i < 2000; ++i) {
        const QDate d = QDate(1950, 1, 1).addDays(rng.bounded(27000));
        anniversaries += d.toString(QStringLiteral("yyyy/MM/dd")).toLatin1() + ',' + sj("記念日") +
                         QByteArray::number(i) + ",\r\n";
    }
    auto rules = [&](const char* title) {
        QByteArray out;
        for (int i = 0; i < 200; ++i) {
            const int month = rng.bounded(12) + 1;
            if (i % 4 == 0)
                out += QString::asprintf("%.2d/--,", month).toLatin1() + sj(title) +
                       QByteArray::number(i) + ',' + QByteArray::number(rng.bounded(5) + 1) + ',' +
                       QByteArray::number(rng.bounded(7)) + "\r\n";
            else
                out += QString::asprintf("%.2d/%.2d,", month, rng.bounded(28) + 1).toLatin1() +
                       sj(title) + QByteArray::number(i) + ",0,0\r\n";
        }
        return out;
    };
    writeFile(ScheduleFilePath(folder, kYear), schedule);
    writeFile(AnniversaryFilePath(folder), anniversaries);
    writeFile(HolidayFilePath(folder), rules("休日"));
    writeFile(EventFilePath(folder), rules("行事"));
}

// What a navigation cannot do without: read and split the four files.
qsizetype floorWork(const QString& folder) {
    return LoadTextLines(AnniversaryFilePath(folder)).size() +
           LoadTextLines(ScheduleFilePath(folder, kYear)).size() +
           LoadTextLines(EventFilePath(folder)).size() +
           LoadTextLines(HolidayFilePath(folder)).size();
}

// Rebuild, then the 4 x 42 annotation questions painting a month asks (March 2025: six weeks):
// painting only asks whether a kind's text is empty. fullText asks for the texts themselves.
int navigationWork(YearTables& tables, const QString& folder, bool fullText = false) {
    BuildYearTables(tables, kYear, folder);
    int marked = 0;
    const QDate first(kYear, 3, 1);
    const QDate gridStart = first.addDays(-(first.dayOfWeek() % 7));
    for (int cell = 0; cell < 42; ++cell) {
        const QDate d = gridStart.addDays(cell);
        for (int kind = 0; kind < 4; ++kind)
            marked +=
                fullText
                    ? !BuildDayAnnotation(tables, kind, kind, kYear, d.month(), d.day()).isEmpty()
                    : tables.hasAnnotation(kind, kYear, d.month(), d.day());
    }
    return marked;
}

// The 168 questions alone, on tables fresh from a build (nothing cached yet).
double bestColdMonthNanoseconds(int runs, const QString& folder, bool fullText) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        YearTables tables;
        BuildYearTables(tables, kYear, folder);
        const QDate first(kYear, 3, 1);
        const QDate gridStart = first.addDays(-(first.dayOfWeek() % 7));
        int marked = 0;
        QElapsedTimer t;
        t.start();
        for (int cell = 0; cell < 42; ++cell) {
            const QDate d = gridStart.addDays(cell);
            for (int kind = 0; kind < 4; ++kind)
                marked += fullText
                              ? !BuildDayAnnotation(tables, kind, kind, kYear, d.month(), d.day())
                                     .isEmpty()
                              : tables.hasAnnotation(kind, kYear, d.month(), d.day());
        }
        best = std::min(best, double(t.nsecsElapsed()));
        if (marked == 0)
            qFatal("the heavy folder marks no day");
    }
    return best;
}

template <typename F> double bestNanoseconds(int runs, F&& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, double(t.nsecsElapsed()));
    }
    return best;
}

} // namespace

class bench_Navigation : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_folder = m_dir.path() + QLatin1Char('/');
        makeHeavyFolder(m_folder);
        BuildYearTables(m_tables, kYear, m_folder);
        QCOMPARE(m_tables.YearSchedules().size(), 20000);
    }
    void floor() {
        QBENCHMARK {
            floorWork(m_folder);
        }
    }
    void navigation() {
        YearTables tables;
        QBENCHMARK {
            navigationWork(tables, m_folder);
        }
    }
    void annotationCall() {
        // The painting's repeated question about one busy day.
        int n = 0;
        QBENCHMARK {
            n += m_tables.hasAnnotation(akSchedule, kYear, 3, 7);
        }
    }
    void hintCall() {
        QBENCHMARK {
            BuildDayAnnotation(m_tables, 0, 3, kYear, 3, 7);
        }
    }
    void ratios() {
        YearTables tables;
        const double floorNs = bestNanoseconds(30, [&] { floorWork(m_folder); });
        const double navNs = bestNanoseconds(30, [&] { navigationWork(tables, m_folder); });
        const double navTextNs =
            bestNanoseconds(30, [&] { navigationWork(tables, m_folder, true); });
        const double coldNs = bestColdMonthNanoseconds(30, m_folder, false);
        const double coldTextNs = bestColdMonthNanoseconds(30, m_folder, true);
        constexpr int calls = 100000;
        const double callNs =
            bestNanoseconds(5,
                            [&] {
                                int n = 0;
                                for (int i = 0; i < calls; ++i)
                                    n += m_tables.hasAnnotation(i & 3, kYear, 3, 1 + i % 31);
                                QVERIFY(n > 0);
                            }) /
            calls;
        qInfo("floor (read + split): %.3f ms", floorNs / 1e6);
        qInfo("navigation (BuildYearTables + 4 x 42 annotations): %.3f ms", navNs / 1e6);
        qInfo("navigation / floor: %.2f (target <= 2)", navNs / floorNs);
        qInfo("navigation with the annotation texts assembled: %.3f ms (%.2f x floor)",
              navTextNs / 1e6, navTextNs / floorNs);
        qInfo("one painting question, first after a build: %.1f ns (target < 1000)", coldNs / 168);
        qInfo("one annotation text, first after a build: %.1f ns", coldTextNs / 168);
        qInfo("one annotation call, repeated (every repaint after the first): %.1f ns (target < "
              "1000)",
              callNs);
    }

private:
    QTemporaryDir m_dir;
    QString m_folder;
    YearTables m_tables;
};

QTEST_GUILESS_MAIN(bench_Navigation)
#include "bench_navigation.moc"
