#include "data/CsvLine.h"
#include "data/KalendoError.h"
#include "data/TextFile.h"
#include "rules/Clock.h"
#include "rules/DaySchedule.h"
#include "rules/EntryIdentity.h"

#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QTest>

const QByteArrayList all{"Dentist", "Meeting", "Trip"};

class tst_EntryIdentity : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Clock::setFixedNow(QDateTime(QDate(2025, 1, 5), QTime(9, 0))); }
    void followsTheEntry_data();
    void followsTheEntry();
};

namespace {

const QByteArray Before = "20250310,1,09:00,10:00,Dentist,,\r\n"
                          "20250310,2,13:00,14:00,Meeting,\"Room 3\",\r\n"
                          "20250311,1,,,Trip,,\r\n";

// Each entry's identity by its title.
QHash<QByteArray, EntryIdentity> byTitle(const YearIdentities& ids) {
    QHash<QByteArray, EntryIdentity> out;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        Row row(ScheduleColumn::Count);
        CommaLineToRow(ids.line(i) + ',', row);
        out.insert(row.at(ScheduleColumn::Title).trimmed(), ids.identity(i));
    }
    return out;
}

} // namespace

void tst_EntryIdentity::followsTheEntry_data() {
    QTest::addColumn<QByteArray>("after"); // the year's file once changed
    // "kept", "missing", "folder" or "huge" (one no read takes), "two-day Trip" (an imported
    // event on the 11th and 12th), or a record's replacement
    QTest::addColumn<QByteArray>("identities");
    // Entries that keep their UID, in file order: "title", or "title=title before" when edited.
    QTest::addColumn<QByteArrayList>("kept");
    QTest::addColumn<QByteArrayList>("changed"); // of those, entries whose SEQUENCE grows
    // A memo given to Dentist before and after: a line of records written and read in pieces.
    QTest::addColumn<QByteArray>("memo");
    QTest::newRow("insert before, renumbered")
        << QByteArray("20250310,1,08:00,08:30,Breakfast,,\r\n20250310,2,09:00,10:00,Dentist,,\r\n"
                      "20250310,3,13:00,14:00,Meeting,\"Room 3\",\r\n20250311,1,,,Trip,,\r\n")
        << QByteArray("kept") << all << QByteArrayList{} << QByteArray();
    QTest::newRow("delete above")
        << QByteArray("20250310,1,13:00,14:00,Meeting,\"Room 3\",\r\n20250311,1,,,Trip,,\r\n")
        << QByteArray("kept") << QByteArrayList{"Meeting", "Trip"} << QByteArrayList{}
        << QByteArray();
    QTest::newRow("time moved, re-sorted")
        << QByteArray("20250310,1,13:00,14:00,Meeting,\"Room 3\",\r\n"
                      "20250310,2,15:00,16:00,Dentist,,\r\n20250311,1,,,Trip,,\r\n")
        << QByteArray("kept") << QByteArrayList{"Meeting", "Dentist", "Trip"}
        << QByteArrayList{"Dentist"} << QByteArray();
    QTest::newRow("title edited")
        << QByteArray("20250310,1,09:00,10:00,\"Dentist Sato\",,\r\n"
                      "20250310,2,13:00,14:00,Meeting,\"Room 3\",\r\n20250311,1,,,Trip,,\r\n")
        << QByteArray("kept") << QByteArrayList{"Dentist Sato=Dentist", "Meeting", "Trip"}
        << QByteArrayList{"Dentist"} << QByteArray();
    QTest::newRow("hand edit: quoted, spaced, reordered")
        << QByteArray("20250311,1,,,Trip,,\r\n\"20250310\",  1 ,09:00,10:00,Dentist\r\n"
                      "20250310,2,13:00,14:00,Meeting,\"Room 3\",\r\n")
        << QByteArray("kept") << QByteArrayList{"Trip", "Dentist", "Meeting"} << QByteArrayList{}
        << QByteArray();
    QTest::newRow("date changed by hand, renumbered")
        << QByteArray("20250310,1,13:00,14:00,Meeting,\"Room 3\",\r\n20250311,1,,,Trip,,\r\n"
                      "20250311,2,09:00,10:00,Dentist,,\r\n")
        << QByteArray("kept") << QByteArrayList{"Meeting", "Trip", "Dentist"}
        << QByteArrayList{"Dentist"} << QByteArray();
    // Two lines the moved entry could be: neither is guessed.
    QTest::newRow("date changed by hand and copied")
        << QByteArray("20250310,1,13:00,14:00,Meeting,\"Room 3\",\r\n20250311,1,,,Trip,,\r\n"
                      "20250312,1,09:00,10:00,Dentist,,\r\n20250313,1,09:00,10:00,Dentist,,\r\n")
        << QByteArray("kept") << QByteArrayList{"Meeting", "Trip"} << QByteArrayList{}
        << QByteArray();
    QTest::newRow("deleted, and another time added on another day")
        << QByteArray("20250310,1,09:00,10:00,Dentist,,\r\n"
                      "20250310,2,13:00,14:00,Meeting,\"Room 3\",\r\n20250320,1,10:00,,Trip,,\r\n")
        << QByteArray("kept") << QByteArrayList{"Dentist", "Meeting"} << QByteArrayList{}
        << QByteArray();
    // One day of an event over two days found on another day is no move: the event would
    // stretch over the days between.
    QTest::newRow("a day of a two-day event elsewhere")
        << Before + "20250320,1,,,Trip,,\r\n"
        << QByteArray("two-day Trip") << all << QByteArrayList{} << QByteArray();
    QTest::newRow("line copied by hand: the copy is another entry")
        << Before + "20250310,2,13:00,14:00,Meeting,\"Room 3\",\r\n"
        << QByteArray("kept") << all << QByteArrayList{} << QByteArray();
    // A byte no text function may stop at: the new entry's record must fit its line again.
    QTest::newRow("new line with a NUL byte")
        << Before + QByteArray("20250312,1,,,Nul\0byte,,\r\n", 26) << QByteArray("kept") << all
        << QByteArrayList{} << QByteArray();
    // Without identities an entry gets the UID earlier versions exported for its day and number.
    QTest::newRow("identity file missing")
        << Before << QByteArray("missing") << all << QByteArrayList{} << QByteArray();
    // A second line of a day and number, then one whose number is written as the second's UID
    // names it: that UID is the second's, and the third gets one of its own.
    QTest::newRow("identity file missing, a day and number twice")
        << Before + "20250310,1,,,Copy,,\r\n20250310,1#1,,,Hand,,\r\n"
        << QByteArray("missing") << all << QByteArrayList{} << QByteArray();
    QTest::newRow("identity record damaged by hand")
        << Before << QByteArray("x,,not a number,,Meeting") << QByteArrayList{"Dentist", "Trip"}
        << QByteArrayList{} << QByteArray();
    // An identity file that cannot be read is never read as missing and written anew with
    // fewer identities: the save says so and leaves it as it was.
    QTest::newRow("identity file a folder")
        << Before << QByteArray("folder") << QByteArrayList{} << QByteArrayList{} << QByteArray();
    QTest::newRow("identity file too large")
        << Before << QByteArray("huge") << QByteArrayList{} << QByteArrayList{} << QByteArray();
    // Escapes fall on every place of the pieces a long record is hashed and written in.
    const QByteArray longMemo = '"' + QByteArray("ab %,").repeated(60000) + '"';
    QTest::newRow("long memo kept")
        << Before << QByteArray("kept") << all << QByteArrayList{} << longMemo;
    QTest::newRow("long memo, time moved")
        << QByteArray("20250310,1,13:00,14:00,Meeting,\"Room 3\",\r\n"
                      "20250310,2,15:00,16:00,Dentist,,\r\n20250311,1,,,Trip,,\r\n")
        << QByteArray("kept") << QByteArrayList{"Meeting", "Dentist", "Trip"}
        << QByteArrayList{"Dentist"} << longMemo;
}

void tst_EntryIdentity::followsTheEntry() {
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, identities);
    QFETCH(QByteArrayList, kept);
    QFETCH(QByteArrayList, changed);
    QFETCH(QByteArray, memo);
    const QByteArray dentist = "Dentist,," + memo;
    const QByteArray beforeFile = QByteArray(Before).replace("Dentist,,", dentist);
    after.replace("Dentist,,", dentist);
    TempDataFolder folder;
    QByteArray first = beforeFile;
    QList<KnownIdentity> known;
    if (identities == "two-day Trip") {
        first += "20250312,1,,,Trip,,\r\n";
        EntryIdentity trip;
        trip.uid = "trip@example.com";
        known = {{"20250311,1,,,Trip,,", trip}, {"20250312,1,,,Trip,,", trip}};
    }
    folder.write(QStringLiteral("2025.csv"), first);
    QVERIFY(RecordYearIdentities(folder.path(), 2025, known).isEmpty());
    // Found to fit as written: what is noted of it must not hide an edit after.
    QVERIFY(RecordYearIdentities(folder.path(), 2025).isEmpty());
    const QHash<QByteArray, EntryIdentity> before =
        byTitle(YearIdentities::read(folder.path(), 2025));
    QCOMPARE(before.size(), 3);

    folder.write(QStringLiteral("2025.csv"), after);
    const QString idFile = QStringLiteral("2025.uid.csv");
    if (identities == "missing") {
        QVERIFY(QFile::remove(folder.file(idFile)));
    } else if (identities == "folder" || identities == "huge") {
        const QString path = folder.file(idFile);
        qint64 size = 0;
        if (identities == "folder") {
            QVERIFY(QFile::remove(path) && QDir().mkdir(path));
        } else { // sparse: no disk space taken
            size = MaxIdentityFileBytes + 1;
            QVERIFY(QFile::resize(path, size));
        }
        const QStringList messages = RecordYearIdentities(folder.path(), 2025);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains(QStringLiteral("識別情報を保存できません")),
                 qPrintable(messages.first()));
        QCOMPARE(QFileInfo(path).isDir(), identities == "folder");
        if (size > 0)
            QCOMPARE(QFileInfo(path).size(), size);
        QVERIFY_THROWS_EXCEPTION(KalendoError, YearIdentities::read(folder.path(), 2025));
        QCOMPARE(folder.read(QStringLiteral("2025.csv")), after);
        return;
    } else if (identities != "kept" && known.isEmpty()) {
        QList<QByteArray> lines = folder.read(idFile).split('\n');
        for (QByteArray& line : lines)
            if (line.contains("Meeting"))
                line = identities + '\r';
        folder.write(idFile, lines.join('\n'));
    }
    QVERIFY(RecordYearIdentities(folder.path(), 2025).isEmpty());
    QCOMPARE(folder.read(QStringLiteral("2025.csv")), after); // the schedule itself untouched

    const YearIdentities now = YearIdentities::read(folder.path(), 2025);
    QVERIFY(!now.changed()); // what was recorded reads back as it was
    QSet<QByteArray> earlierUids;
    for (const EntryIdentity& id : before)
        earlierUids.insert(id.uid);
    QSet<QByteArray> uids;
    QByteArrayList keeping;
    QByteArrayList wheres;
    for (qsizetype i = 0; i < now.size(); ++i) {
        Row row(ScheduleColumn::Count);
        CommaLineToRow(now.line(i) + ',', row);
        const QByteArray title = row.at(ScheduleColumn::Title).trimmed();
        const EntryIdentity& id = now.identity(i);
        QVERIFY2(!uids.contains(id.uid), title.constData());
        uids.insert(id.uid);
        // Made anew, each UID is the one earlier versions exported for the day and number.
        const QByteArray where = row.at(0).trimmed() + '/' + row.at(1).trimmed();
        const int nth = int(std::count(wheres.begin(), wheres.end(), where));
        wheres << where;
        const QByteArray earlier =
            "schedule-" +
            QCryptographicHash::hash(nth > 0 ? where + '#' + QByteArray::number(nth) : where,
                                     QCryptographicHash::Sha1)
                .toHex()
                .left(24) +
            "@kalendo";
        if (identities == "missing")
            QCOMPARE(id.uid == earlier, title != "Hand");
        for (const QByteArray& was : all) {
            if (before.value(was).uid != id.uid)
                continue;
            keeping << (title == was ? was : title + '=' + was);
            QCOMPARE(id.sequence, before.value(was).sequence + (changed.contains(was) ? 1 : 0));
        }
    }
    QCOMPARE(keeping, kept);
}

QTEST_GUILESS_MAIN(tst_EntryIdentity)
#include "tst_entryidentity.moc"
