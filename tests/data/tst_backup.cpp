#include "TestSupport.h"
#include "data/Backup.h"
#include "data/TextFile.h"

#include <QDirIterator>
#include <QTest>

// Earlier versions kept in backup/ before a save replaces a file.
class tst_Backup : public QObject {
    Q_OBJECT
private slots:
    void daysKept_data();
    void daysKept();
    void throughSave_data();
    void throughSave();
};

namespace {

const QDate firstDay(2026, 1, 1);
const QString name = QStringLiteral("2026.csv");

// Every file under backup/ as "<day offset>:<bytes>".
QStringList backups(const TempDataFolder& dir) {
    QStringList found;
    QDirIterator it(dir.file(BackupFolderName), QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        const QDate day = QDate::fromString(file.dir().dirName(), QStringLiteral("yyyy-MM-dd"));
        QFile f(file.filePath());
        f.open(QIODevice::ReadOnly);
        found << QStringLiteral("%1:%2")
                     .arg(firstDay.daysTo(day))
                     .arg(QString::fromLatin1(f.readAll()));
    }
    found.sort();
    return found;
}

} // namespace

void tst_Backup::daysKept_data() {
    QTest::addColumn<QList<int>>("saveDays"); // the day of each save, counted from firstDay
    QTest::addColumn<QStringList>("kept");    // the n-th save writes "vn"; "v0" is the first file
    QTest::newRow("one per day: the state before the day's first save")
        << QList<int>{0, 0, 0, 2, 2} << QStringList{"0:v0", "2:v3"};
    QStringList fourteen;
    for (int day = 1; day <= 14; ++day)
        fourteen << QStringLiteral("%1:v%1").arg(day);
    fourteen.sort();
    QTest::newRow("the 15th day removes the oldest")
        << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14} << fourteen;
    QTest::newRow("a day without saves keeps none")
        << QList<int>{0, 30} << QStringList{"0:v0", "30:v1"};
    // A clock once a hundred days ahead left folders dated later than today: they neither push
    // out today's copy nor count against the days before it.
    QList<int> ahead;
    QStringList keptAhead{"0:v30", "1:v31"};
    for (int i = 0; i < 30; ++i) {
        ahead << 100 + i;
        if (i >= 16)
            keptAhead << QStringLiteral("%1:v%2").arg(100 + i).arg(i);
    }
    keptAhead.sort();
    QTest::newRow("folders dated later than today") << (ahead << 0 << 1) << keptAhead;
}

void tst_Backup::daysKept() {
    QFETCH(QList<int>, saveDays);
    QFETCH(QStringList, kept);
    TempDataFolder dir;
    dir.write(name, "v0");
    dir.write(QStringLiteral("event.csv"), "other");
    for (int i = 0; i < saveDays.size(); ++i) {
        QCOMPARE(KeepBackup(dir.file(name), firstDay.addDays(saveDays.at(i))), QString());
        dir.write(name, "v" + QByteArray::number(i + 1));
    }
    // Another file's copy on the oldest day is not this file's to count or remove.
    KeepBackup(dir.file(QStringLiteral("event.csv")), firstDay);
    QStringList expected = kept;
    expected << QStringLiteral("0:other");
    expected.sort();
    QCOMPARE(backups(dir), expected);
}

void tst_Backup::throughSave_data() {
    QTest::addColumn<QByteArray>("before");  // the file before the save; empty: none
    QTest::addColumn<QByteArray>("blocker"); // a file named backup in the data folder
    QTest::addColumn<bool>("privateFile");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<QString>("cause"); // what the report names
    QTest::newRow("first save of a file keeps nothing")
        << QByteArray() << QByteArray() << false << false << QString();
    QTest::newRow("bytes kept as they were, private stays private")
        << QByteArray("a\nb\r\n\x1a"
                      "c\xff",
                      9)
        << QByteArray() << true << false << QString();
    QTest::newRow("backup cannot be written: saved and reported")
        << QByteArray("old\r\n") << QByteArray("x") << false << true
        << QStringLiteral("バックアップのフォルダーを作れません。同じ名前のファイルがあります");
}

void tst_Backup::throughSave() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, blocker);
    QFETCH(bool, privateFile);
    QFETCH(bool, reported);
    QFETCH(QString, cause);
    TempDataFolder dir;
    if (!before.isEmpty()) {
        dir.write(name, before);
        const QFile::Permissions own = QFile::ReadOwner | QFile::WriteOwner;
        QFile::setPermissions(dir.file(name),
                              privateFile ? own : own | QFile::ReadGroup | QFile::ReadOther);
    }
    if (!blocker.isEmpty())
        dir.write(BackupFolderName, blocker);

    const QString message = SaveTextLines(dir.file(name), {"new"});
    QCOMPARE(dir.read(name), QByteArray("new\r\n"));
    QCOMPARE(!message.isEmpty(), reported);
    QVERIFY2(message.contains(cause), qPrintable(message));
    const QString copy = dir.file(BackupFolderName + QLatin1Char('/') +
                                  QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                                  QLatin1Char('/') + name);
    if (before.isEmpty() || reported) {
        QVERIFY(!QFileInfo::exists(copy));
        return;
    }
    QFile kept(copy);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), before);
    QCOMPARE(kept.permissions().testAnyFlags(QFile::ReadGroup | QFile::ReadOther), !privateFile);
}

QTEST_GUILESS_MAIN(tst_Backup)
#include "tst_backup.moc"
