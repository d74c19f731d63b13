#include "ChildProcess.h"
#include "TestSupport.h"
#include "data/Backup.h"
#include "data/KalendoError.h"
#include "data/TextFile.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <ctime>
#include <sys/resource.h>

// A save is killed or stopped part-way; the data file must hold exactly the old or exactly
// the new lines, never a mixture, and nothing left behind may disturb the next save or its
// backup.
class tst_InterruptedSave : public QObject {
    Q_OBJECT
private slots:
    void killedSaveLeavesOldOrNew();
    void fullDiskPartWay_data();
    void fullDiskPartWay();
};

namespace {

// A year of schedule lines, several MB, different for each seed so that old and new differ
// in every line and in length.
TextLines bigSchedule(int seed, int count) {
    TextLines lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int day = i % 365;
        lines.append(QString::asprintf("2025%.2d%.2d,%d,%.2d:%.2d,,", 1 + day / 31 % 12,
                                       1 + day % 28, 1 + i % 9, (i + seed) % 24, seed % 60)
                         .toLatin1() +
                     sj("会議室予約") + QByteArray::number(seed * 100000 + i) + ",\" \",memo " +
                     QByteArray(seed % 40, 'm'));
    }
    return lines;
}

QByteArray fileBytes(const TextLines& lines) {
    QByteArray out;
    for (const QByteArray& line : lines)
        out += line + "\r\n";
    return out;
}

// The hidden temporary files a save makes beside its target.
QStringList leftovers(const TempDataFolder& dir, const QString& name) {
    const QRegularExpression pattern(QLatin1Char('^') +
                                     QRegularExpression::escape(QLatin1Char('.') + name) +
                                     QStringLiteral("\\.kalendo-save-[A-Za-z0-9]{6}$"));
    QStringList found;
    for (const QString& entry : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
        if (pattern.match(entry).hasMatch())
            found.append(entry);
    return found;
}

// Every save below is the day's first, so each one copies the version it replaces to backup/.
QString dropTodaysBackup(const TempDataFolder& dir) {
    const QString day = dir.file(BackupFolderName + QLatin1Char('/') +
                                 QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    QDir(day).removeRecursively();
    return day;
}

void sleepNs(qint64 ns) {
    timespec t{time_t(ns / 1000000000), long(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &t, &t) == EINTR) {
    }
}

} // namespace

void tst_InterruptedSave::killedSaveLeavesOldOrNew() {
    TempDataFolder dir;
    const QString name = QStringLiteral("2025.csv");
    const QString path = dir.file(name);
    const TextLines versions[2] = {bigSchedule(1, 40000), bigSchedule(2, 46000)};
    const QByteArray bytes[2] = {fileBytes(versions[0]), fileBytes(versions[1])};
    QVERIFY(bytes[1].size() > 2 * 1024 * 1024);

    // How long one whole save and its backup take here, so that the kills fall before, during
    // and after them.
    SaveTextLines(path, versions[0]);
    QElapsedTimer timer;
    timer.start();
    dropTodaysBackup(dir);
    SaveTextLines(path, versions[1]);
    dropTodaysBackup(dir);
    SaveTextLines(path, versions[0]);
    const qint64 saveNs = std::max<qint64>(timer.nsecsElapsed() / 2, 1000000);

    const int kills = 60;
    int current = 0;
    int oldKept = 0, newWritten = 0, midSave = 0, midBackup = 0;
    // The hidden folders a day's first backup is made in before it takes the day's name.
    const auto making = [&dir] {
        return QDir(dir.file(BackupFolderName))
            .entryList(QDir::Dirs | QDir::Hidden)
            .filter(QRegularExpression(QStringLiteral("^\\.kalendo-day-")));
    };
    const auto copiedBytes = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    // More rounds while none has yet hit the save or its backup (a loaded machine).
    int round = 0;
    for (; round < kills || (round < 5 * kills && (midSave == 0 || midBackup == 0)); ++round) {
        const int next = 1 - current;
        const qsizetype tempsBefore = leftovers(dir, name).size();
        const int before = current;
        const QString today = dropTodaysBackup(dir);
        const qsizetype makingBefore = making().size();
        int ready[2];
        QVERIFY(pipe(ready) == 0);
        const pid_t pid = fork();
        if (pid == 0) {
            ::close(ready[0]);
            [[maybe_unused]] const auto n = write(ready[1], "r", 1);
            try {
                SaveTextLines(path, versions[next]);
            } catch (const KalendoError&) {
                _exit(1);
            }
            _exit(0);
        }
        ::close(ready[1]);
        char byte = 0;
        QCOMPARE(read(ready[0], &byte, 1), ssize_t(1));
        ::close(ready[0]);
        // Spread over 0 .. 1.3 times a save, so the last kills come after the rename.
        sleepNs(saveNs * 13 / 10 * (round % kills) / (kills - 1));
        kill(pid, SIGKILL);
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0));

        const QByteArray now = dir.read(name);
        if (now == bytes[current]) {
            ++oldKept;
        } else {
            QVERIFY2(now == bytes[next],
                     qPrintable(
                         QStringLiteral("round %1: %2 bytes, neither").arg(round).arg(now.size())));
            ++newWritten;
            current = next;
        }
        if (leftovers(dir, name).size() > tempsBefore)
            ++midSave;
        // The day's folder appears only with the whole version the save replaced in it, and
        // a replaced file always has that copy.
        const QString copy = today + QLatin1Char('/') + name;
        QVERIFY2(!QFileInfo::exists(today) || copiedBytes(copy) == bytes[before],
                 qPrintable(QStringLiteral("round %1: %2 holds %3 bytes")
                                .arg(round)
                                .arg(copy)
                                .arg(copiedBytes(copy).size())));
        QVERIFY2(current == before || QFileInfo::exists(copy), qPrintable(copy));
        if (making().size() > makingBefore)
            ++midBackup;
    }
    qInfo("%d kills over a %lld ms save: %d kept the old file, %d found the new one, %d hit "
          "the save while it wrote its temporary file, %d while it made the backup",
          round, saveNs / 1000000, oldKept, newWritten, midSave, midBackup);
    // Otherwise the kills proved nothing about a save cut short.
    QVERIFY(midSave > 0);
    QVERIFY(midBackup > 0);

    // Whatever a killed save left behind is never read as the data and never stops the next
    // save.
    const QStringList left = leftovers(dir, name);
    QCOMPARE(LoadTextLines(path), versions[current]);
    const QString today = dropTodaysBackup(dir);
    const TextLines last = bigSchedule(3, 1000);
    SaveTextLines(path, last);
    QCOMPARE(LoadTextLines(path), last);
    QCOMPARE(dir.read(name), fileBytes(last));
    QCOMPARE(leftovers(dir, name), left);
    QCOMPARE(copiedBytes(today + QLatin1Char('/') + name), bytes[current]);
    // The next start removes what the backups cut short left, and only that: the folders of
    // copies in the making, and a day folder a prune emptied.
    QVERIFY(QDir(dir.file(BackupFolderName)).mkdir(QStringLiteral("2020-01-01")));
    RemoveLeftoverSaves(dir.path());
    QCOMPARE(making(), QStringList());
    QVERIFY(!dir.exists(BackupFolderName + QStringLiteral("/2020-01-01")));
    QCOMPARE(copiedBytes(today + QLatin1Char('/') + name), bytes[current]);
}

void tst_InterruptedSave::fullDiskPartWay_data() {
    // The file size limit in bytes, as a part of the new file's size, plus an offset.
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("fits");
    QTest::newRow("first byte") << 0 << 1 << false;
    QTest::newRow("one write buffer") << 0 << 65536 << false;
    QTest::newRow("one buffer and a byte") << 0 << 65537 << false;
    QTest::newRow("half") << 50 << 0 << false;
    QTest::newRow("all but the last byte") << 100 << -1 << false;
    QTest::newRow("exactly the size") << 100 << 0 << true;
}

void tst_InterruptedSave::fullDiskPartWay() {
    QFETCH(int, percent);
    QFETCH(int, offset);
    QFETCH(bool, fits);
    TempDataFolder dir;
    const QString name = QStringLiteral("2025.csv");
    const QString path = dir.file(name);
    const TextLines before = bigSchedule(4, 2000);
    const TextLines after = bigSchedule(5, 30000);
    SaveTextLines(path, before);
    const qint64 size = fileBytes(after).size();
    const rlim_t limit = rlim_t(size * percent / 100 + offset);

    // The window keeps its rows after a failure and OK is tried again: in the same process,
    // once space is back, the same save succeeds.
    const QByteArray report = runInChild([&] {
        rlimit rl{};
        getrlimit(RLIMIT_FSIZE, &rl);
        const rlim_t hard = rl.rlim_max;
        rl.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &rl);
        QByteArray out;
        try {
            SaveTextLines(path, after);
            out = "saved";
        } catch (const KalendoError& e) {
            out = e.message().toUtf8();
        }
        out += '|' + QByteArray::number(leftovers(dir, name).size());
        out += '|' + QByteArray(LoadTextLines(path) == before ? "old" : "changed");
        rl.rlim_cur = hard;
        setrlimit(RLIMIT_FSIZE, &rl);
        try {
            SaveTextLines(path, after);
            out += "|saved again";
        } catch (const KalendoError& e) {
            out += '|' + e.message().toUtf8();
        }
        return out;
    });
    const QString expected = fits ? QStringLiteral("saved|0|changed|saved again")
                                  : QStringLiteral("ディスクがいっぱいです\n") + path +
                                        QStringLiteral("|0|old|saved again");
    QCOMPARE(QString::fromUtf8(report), expected);
    QCOMPARE(dir.read(name), fileBytes(after));
    QVERIFY(leftovers(dir, name).isEmpty());
}

QTEST_GUILESS_MAIN(tst_InterruptedSave)
#include "tst_interruptedsave.moc"
