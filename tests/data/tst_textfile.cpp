#include "ChildProcess.h"
#include "TestSupport.h"
#include "data/KalendoError.h"
#include "data/TextFile.h"

#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(FileStamp)

class tst_TextFile : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void missingFileReadsAsNoLines();
    void unreadableFileGivesIoMessage();
    void unchangedLinesRoundTripByteForByte();
    void writesCrLfWithoutHeaderOrBom();
    void failedWritesLeaveOriginal_data();
    void failedWritesLeaveOriginal();
    void keepsModeOfExistingFile();
    void certainlyUnchanged_data();
    void certainlyUnchanged();
    void holdsBytes_data();
    void holdsBytes();
};

void tst_TextFile::split_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextLines>("lines");
    QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << TextLines{"a", "b"};
    QTest::newRow("cr only") << QByteArray("a\rb") << TextLines{"a", "b"};
    QTest::newRow("lf only") << QByteArray("a\nb\n") << TextLines{"a", "b"};
    QTest::newRow("mixed line ends")
        << QByteArray("a\nb\r\nc\rd\n\re") << TextLines{"a", "b", "c", "d", "e"};
    QTest::newRow("blanks after lf dropped") << QByteArray("a\n  b\n") << TextLines{"a", "b"};
    QTest::newRow("leading blanks dropped") << QByteArray("  a\r\n") << TextLines{"a"};
    QTest::newRow("trailing blanks kept") << QByteArray("a  \r\n") << TextLines{"a  "};
    QTest::newRow("control bytes at start dropped") << QByteArray("\x01\t\x1f"
                                                                  "a\r\n",
                                                                  6)
                                                    << TextLines{"a"};
    QTest::newRow("empty lines skipped") << QByteArray("a\r\n\r\n  \r\nb") << TextLines{"a", "b"};
    QTest::newRow("ctrl-z ends the file") << QByteArray("a\r\nb\x1a"
                                                        "c\r\nd")
                                          << TextLines{"a", "b"};
    QTest::newRow("ctrl-z at line start") << QByteArray("a\r\n\x1a"
                                                        "b")
                                          << TextLines{"a"};
    QTest::newRow("lf after cr belongs to end") << QByteArray("a\r\n\nb") << TextLines{"a", "b"};
    QTest::newRow("NUL at start dropped") << QByteArray("\0a", 2) << TextLines{"a"};
    QTest::newRow("empty") << QByteArray() << TextLines{};
    QTest::newRow("cp932 kept") << QByteArray("\x95\x5c\r\n") << TextLines{"\x95\x5c"};
    // Ends found sixteen bytes at a time: at, before and after the block edges.
    QTest::newRow("long lines") << QByteArray("0123456789abcde\r\n0123456789abcdef\n"
                                              "0123456789abcdef0\r0123456789abcdef01\x1a"
                                              "0123456789abcdef012\r\n")
                                << TextLines{"0123456789abcde", "0123456789abcdef",
                                             "0123456789abcdef0", "0123456789abcdef01"};
    QTest::newRow("long last line without end") << QByteArray(" 0123456789abcdef0123456789abcdef")
                                                << TextLines{"0123456789abcdef0123456789abcdef"};
}

void tst_TextFile::split() {
    QFETCH(QByteArray, bytes);
    QFETCH(TextLines, lines);
    QCOMPARE(SplitTextLines(bytes), lines);
    TempDataFolder dir;
    dir.write(QStringLiteral("f.csv"), bytes);
    QCOMPARE(LoadTextLines(dir.file(QStringLiteral("f.csv"))), lines);
    // A buffer that held a longer file before reads this one alone.
    TextBuffer buffer;
    dir.write(QStringLiteral("g.csv"), QByteArray(100, 'x') + "\r\n" + QByteArray(100, 'y'));
    buffer.load(dir.file(QStringLiteral("g.csv")));
    buffer.load(dir.file(QStringLiteral("f.csv")));
    QCOMPARE(buffer.toLines(), lines);
}

void tst_TextFile::missingFileReadsAsNoLines() {
    TempDataFolder dir;
    QVERIFY(LoadTextLines(dir.file(QStringLiteral("none.csv"))).isEmpty());
    QVERIFY(LoadTextLines(dir.file(QStringLiteral("nofolder/none.csv"))).isEmpty());
}

void tst_TextFile::unreadableFileGivesIoMessage() {
    // A folder where a file should be cannot be read as one; this holds for root too.
    TempDataFolder dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("2025.csv")));
    try {
        LoadTextLines(dir.file(QStringLiteral("2025.csv")));
        QFAIL("no error");
    } catch (const KalendoError& e) {
        QCOMPARE(e.message(),
                 QStringLiteral("I/O エラー (21)\n") + dir.file(QStringLiteral("2025.csv")));
    }
}

void tst_TextFile::unchangedLinesRoundTripByteForByte() {
    TempDataFolder dir;
    const QByteArray bytes("01/01,\x8c\xb3\x93\xfa,0,0\r\n\xff\xfe broken,\x81\r\n\"q\"\"\",x\r\n");
    dir.write(QStringLiteral("holiday.csv"), bytes);
    const QString path = dir.file(QStringLiteral("holiday.csv"));
    SaveTextLines(path, LoadTextLines(path));
    QCOMPARE(dir.read(QStringLiteral("holiday.csv")), bytes);
}

void tst_TextFile::writesCrLfWithoutHeaderOrBom() {
    TempDataFolder dir;
    SaveTextLines(dir.file(QStringLiteral("a.csv")), {sj("会議"), "b"});
    QCOMPARE(dir.read(QStringLiteral("a.csv")), sj("会議") + "\r\nb\r\n");
    SaveTextLines(dir.file(QStringLiteral("a.csv")), {});
    QVERIFY(dir.exists(QStringLiteral("a.csv")));
    QCOMPARE(dir.read(QStringLiteral("a.csv")), QByteArray());
    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

namespace {

enum class Failure { MissingFolder, TargetIsFolder, FileSizeLimit, ReadOnlyFile, ReadOnlyFolder };

// Runs one save in a child process, so that limits and a dropped user affect only the child.
// Returns the message the save gave, or "ok".
QString saveInChild(const QString& path, const TextLines& lines, Failure failure) {
    return QString::fromUtf8(runInChild([&]() -> QByteArray {
        if (failure == Failure::FileSizeLimit) {
            rlimit limit{100, 100};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if ((failure == Failure::ReadOnlyFile || failure == Failure::ReadOnlyFolder) &&
            !dropPrivileges())
            _exit(3);
        try {
            SaveTextLines(path, lines);
        } catch (const KalendoError& e) {
            return e.message().toUtf8();
        }
        return "ok";
    }));
}

} // namespace

Q_DECLARE_METATYPE(Failure)

void tst_TextFile::failedWritesLeaveOriginal_data() {
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing data folder")
        << Failure::MissingFolder << QStringLiteral("不正なファイル名です");
    QTest::newRow("path is a folder")
        << Failure::TargetIsFolder << QStringLiteral("I/O エラー (21)");
    QTest::newRow("disk full (file size limit)")
        << Failure::FileSizeLimit << QStringLiteral("ディスクがいっぱいです");
    QTest::newRow("read-only file")
        << Failure::ReadOnlyFile << QStringLiteral("ファイルへのアクセスが拒否されました");
    QTest::newRow("read-only folder")
        << Failure::ReadOnlyFolder << QStringLiteral("ファイルへのアクセスが拒否されました");
}

void tst_TextFile::failedWritesLeaveOriginal() {
    QFETCH(Failure, failure);
    QFETCH(QString, message);
    TempDataFolder dir;
    const QByteArray original = "20250105,1,,,a,b,\r\n";
    QString path = dir.file(QStringLiteral("2025.csv"));
    dir.write(QStringLiteral("2025.csv"), original);
    chmod(QFile::encodeName(dir.path()).constData(), 0777);
    switch (failure) {
    case Failure::MissingFolder:
        path = dir.file(QStringLiteral("client/2025.csv"));
        break;
    case Failure::TargetIsFolder:
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("2026.csv")));
        path = dir.file(QStringLiteral("2026.csv"));
        break;
    case Failure::ReadOnlyFile:
        chmod(QFile::encodeName(path).constData(), 0444);
        break;
    case Failure::ReadOnlyFolder:
        chmod(QFile::encodeName(dir.path()).constData(), 0555);
        break;
    case Failure::FileSizeLimit:
        break;
    }
    const TextLines big(50, QByteArray(40, 'x'));
    QCOMPARE(saveInChild(path, big, failure), message + QLatin1Char('\n') + path);
    chmod(QFile::encodeName(dir.path()).constData(), 0700);
    QCOMPARE(dir.read(QStringLiteral("2025.csv")), original);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void tst_TextFile::keepsModeOfExistingFile() {
    TempDataFolder dir;
    const QString path = dir.file(QStringLiteral("event.csv"));
    dir.write(QStringLiteral("event.csv"), "x\r\n");
    chmod(QFile::encodeName(path).constData(), 0640);
    SaveTextLines(path, {"y"});
    struct stat st {};
    QCOMPARE(stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0640);
}

void tst_TextFile::certainlyUnchanged_data() {
    // What a reader stamped and what the file is now; whether it may keep what it read.
    QTest::addColumn<FileStamp>("read");
    QTest::addColumn<FileStamp>("now");
    QTest::addColumn<bool>("unchanged");
    constexpr qint64 ms = 1000000;
    FileStamp settled;
    settled.exists = true;
    settled.inode = 7;
    settled.size = 40;
    settled.modifiedNs = settled.changedNs = qint64(1700000000) * 1000 * ms + 123 * ms;
    settled.takenNs = settled.changedNs + 500 * ms;
    const auto with = [&](auto change) {
        FileStamp s = settled;
        change(s);
        return s;
    };
    QTest::newRow("same file, changed well before the reading") << settled << settled << true;
    QTest::newRow("another size") << settled << with([](FileStamp& s) { s.size = 41; }) << false;
    QTest::newRow("another file in its place")
        << settled << with([](FileStamp& s) { s.inode = 8; }) << false;
    QTest::newRow("changed again")
        << settled << with([](FileStamp& s) { s.changedNs += 1; }) << false;
    // Another write within the same tick of the kernel's clock would leave the times as they are.
    const FileStamp justWritten = with([](FileStamp& s) { s.takenNs = s.changedNs + 5 * ms; });
    QTest::newRow("written just before the reading") << justWritten << justWritten << false;
    // Times in whole seconds may be a file system's two-second steps.
    const FileStamp wholeSeconds = with([](FileStamp& s) {
        s.modifiedNs = s.changedNs = qint64(1700000000) * 1000 * ms;
        s.takenNs = s.changedNs + 1500 * ms;
    });
    QTest::newRow("whole seconds, one and a half before") << wholeSeconds << wholeSeconds << false;
    const FileStamp stamped = with([](FileStamp& s) { s.takenNs = 0; });
    QTest::newRow("no time of reading") << stamped << stamped << false;
    QTest::newRow("still missing") << FileStamp() << FileStamp() << true;
    QTest::newRow("made meanwhile") << FileStamp() << settled << false;
    QTest::newRow("removed meanwhile") << settled << FileStamp() << false;
    // A real file rewritten with as many bytes at once.
    TempDataFolder dir;
    const QString path = dir.file(QStringLiteral("event.csv"));
    dir.write(QStringLiteral("event.csv"), "01/01,A,0,0\r\n");
    FileStamp first;
    LoadTextLines(path, &first);
    dir.write(QStringLiteral("event.csv"), "01/01,B,0,0\r\n");
    QTest::newRow("rewritten at once") << first << StatFileStamp(path).value_or(first) << false;
}

void tst_TextFile::certainlyUnchanged() {
    QFETCH(FileStamp, read);
    QFETCH(FileStamp, now);
    QFETCH(bool, unchanged);
    QCOMPARE(CertainlyUnchanged(read, now), unchanged);
}

void tst_TextFile::holdsBytes_data() {
    // What the file holds and the bytes a reader kept: whether it may keep them without reading
    // and indexing the file again. The file is read in blocks of 256 KiB.
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("kept");
    QTest::addColumn<bool>("holds");
    const QByteArray big = QByteArray("20260101,1,,,a\r\n").repeated(40000); // over two blocks
    QByteArray changedLate = big;
    changedLate[big.size() - 3] = 'b';
    QByteArray changedAtBlock = big;
    changedAtBlock[1 << 18] = 'X';
    QTest::newRow("the same") << big << big << true;
    QTest::newRow("a byte of the last block changed") << changedLate << big << false;
    QTest::newRow("the first byte of the second block changed") << changedAtBlock << big << false;
    QTest::newRow("a line added") << big + "x\r\n" << big << false;
    QTest::newRow("a line removed") << big.left(big.size() - 16) << big << false;
    QTest::newRow("what follows a Ctrl-Z is not read")
        << QByteArray("a\r\n\x1A junk") << QByteArray("a\r\n") << true;
    QTest::newRow("empty") << QByteArray() << QByteArray() << true;
}

void tst_TextFile::holdsBytes() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, kept);
    QFETCH(bool, holds);
    TempDataFolder dir;
    dir.write(QStringLiteral("2026.csv"), file);
    FileStamp read;
    QCOMPARE(FileHoldsBytes(dir.file(QStringLiteral("2026.csv")), kept, read), holds);
    QCOMPARE(read.exists, holds);
    FileStamp missing;
    QVERIFY(!FileHoldsBytes(dir.file(QStringLiteral("2027.csv")), kept, missing));
}

QTEST_GUILESS_MAIN(tst_TextFile)
#include "tst_textfile.moc"
