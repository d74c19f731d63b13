#include "ChildProcess.h"
#include "TestSupport.h"
#include "data/KalendoError.h"
#include "rules/ComType.h"
#include "rules/YearTables.h"

#include <QTest>

#include <sys/stat.h>

// Data files the program may not read: the user is told, and the program carries on.
class tst_HostileFolder : public QObject {
    Q_OBJECT
private slots:
    void unreadableFileEmptiesOnlyItsList_data();
    void unreadableFileEmptiesOnlyItsList();
};

namespace {

// One line per file in the earlier folder, two in the later one, so that the counts tell
// which lists a stopped rebuild replaced (no holiday of 2025 on a Sunday).
void fill(const TempDataFolder& dir, int lines) {
    QByteArray anniversaries, schedule, events, holidays;
    for (int i = 1; i <= lines; ++i) {
        anniversaries += QString::asprintf("2012/03/%.2d,", i).toLatin1() + sj("記念日") + ",\r\n";
        schedule += QString::asprintf("202503%.2d,1,,,", i).toLatin1() + sj("会議") + ",,\r\n";
        events += QString::asprintf("04/%.2d,", i).toLatin1() + sj("棚卸") + ",0,0\r\n";
        holidays += QString::asprintf("06/%.2d,", i + 1).toLatin1() + sj("休業日") + ",0,0\r\n";
    }
    dir.write(AnniversaryFileName, anniversaries);
    dir.write(QStringLiteral("2025.csv"), schedule);
    dir.write(EventFileName, events);
    dir.write(HolidayFileName, holidays);
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
}

QByteArray counts(const YearTables& t) {
    return QByteArray::number(t.Anniversaries().size()) + ' ' +
           QByteArray::number(t.YearSchedules().size()) + ' ' +
           QByteArray::number(t.YearEvents().size()) + ' ' +
           QByteArray::number(t.YearHolidays().size());
}

QByteArray attempt(const std::function<void()>& f) {
    try {
        f();
        return "ok";
    } catch (const KalendoError& e) {
        return e.message().toUtf8();
    }
}

} // namespace

void tst_HostileFolder::unreadableFileEmptiesOnlyItsList_data() {
    // Counts: anniversaries, schedule entries, events, holidays (with two equinox days); then
    // whether 1 March still shows its anniversary. Every other list is the new folder's.
    QTest::addColumn<QString>("locked");
    QTest::addColumn<QByteArray>("countsAfterStop");
    QTest::newRow("anniversaries") << AnniversaryFileName << QByteArray("0 2 2 4|0");
    QTest::newRow("schedule") << QStringLiteral("2025.csv") << QByteArray("2 0 2 4|1");
    QTest::newRow("event rules") << EventFileName << QByteArray("2 2 0 4|1");
    QTest::newRow("holiday rules") << HolidayFileName << QByteArray("2 2 2 0|1");
}

void tst_HostileFolder::unreadableFileEmptiesOnlyItsList() {
    QFETCH(QString, locked);
    QFETCH(QByteArray, countsAfterStop);
    TempDataFolder earlier, hostile, later;
    fill(earlier, 1);
    fill(hostile, 2);
    fill(later, 2);
    const QString lockedPath = hostile.file(locked);
    QVERIFY(chmod(QFile::encodeName(lockedPath).constData(), 0) == 0);

    const QByteArray report = runInChild([&] {
        if (!dropPrivileges())
            return QByteArray("could not drop privileges");
        QByteArray out = attempt([&] { LoadTextLines(lockedPath); });
        YearTables t;
        BuildYearTables(t, 2025, earlier.path());
        out += '|' + attempt([&] { BuildYearTables(t, 2025, hostile.path()); });
        out += '|' + counts(t);
        // The tables stay usable, and the next rebuild reads everything.
        out += '|' + QByteArray::number(t.hasAnnotation(akAnniversary, 2025, 3, 1));
        out += '|' + attempt([&] { BuildYearTables(t, 2025, later.path()); });
        out += '|' + counts(t);
        out += '|' + QByteArray::number(t.hasAnnotation(akHoliday, 2025, 6, 2));
        return out;
    });
    const QString denied = QStringLiteral("ファイルへのアクセスが拒否されました");
    const QString deniedHere = denied + QLatin1Char('\n') + lockedPath;
    QCOMPARE(QString::fromUtf8(report),
             deniedHere + QLatin1Char('|') + deniedHere + QLatin1Char('|') +
                 QString::fromLatin1(countsAfterStop) + QStringLiteral("|ok|2 2 2 4|1"));
    // Reading never changes a file, readable or not.
    chmod(QFile::encodeName(lockedPath).constData(), 0644);
    QCOMPARE(hostile.read(locked).count("\r\n"), 2);
}

QTEST_GUILESS_MAIN(tst_HostileFolder)
#include "tst_hostilefolder.moc"
