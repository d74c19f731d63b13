#include "data/KalendoError.h"
#include "rules/BytesHasher.h"
#include "rules/Clock.h"
#include "rules/DaySchedule.h"
#include "rules/ListFile.h"

#include "TestSupport.h"

#include <QTest>

class tst_DaySchedule : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Clock::setFixedNow(QDateTime(QDate(2025, 1, 5), QTime(9, 0))); }
    void completeTime_data();
    void completeTime();
    void caption_data();
    void caption();
    void listAndSaveKeepEveryLine();
    void readAsBytesAgreesWithLines_data();
    void readAsBytesAgreesWithLines();
    void deleteRow_data();
    void deleteRow();
    void renumberedRowKeepsItsBytes_data();
    void renumberedRowKeepsItsBytes();
    void storeSortsByStartAndRenumbers();
};

void tst_DaySchedule::completeTime_data() {
    QTest::addColumn<QString>("leaving");
    QTest::addColumn<QString>("result");
    QTest::newRow("untouched stays empty") << "  :  "
                                           << "  :  ";
    QTest::newRow("blanks after digits") << "1 :3 "
                                         << "10:30";
    QTest::newRow("blank before a digit") << " 9:  "
                                          << "09:00";
    QTest::newRow("a lone 9 typed first") << "9 :  "
                                          << "00:00";
    QTest::newRow("hour 24") << "24:00"
                             << "00:00";
    QTest::newRow("both too large") << "25:75"
                                    << "00:00";
    QTest::newRow("minute 60 only") << "23:60"
                                    << "23:00";
    QTest::newRow("half a minute") << "07:5 "
                                   << "07:50";
}

void tst_DaySchedule::completeTime() {
    QFETCH(QString, leaving);
    QFETCH(QString, result);
    QCOMPARE(CompleteTime(leaving), result);
}

void tst_DaySchedule::caption_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QByteArray>("dayKey"); // empty: refused
    QTest::newRow("a day") << "2025/03/07" << QByteArray("20250307");
    QTest::newRow("end of year") << "2025/12/25" << QByteArray("20251225");
    QTest::newRow("no caption yet") << "" << QByteArray();
    QTest::newRow("unpadded") << "2025/3/7" << QByteArray();
    QTest::newRow("trailing text") << "2025/03/07x" << QByteArray();
}

void tst_DaySchedule::caption() {
    QFETCH(QString, caption);
    QFETCH(QByteArray, dayKey);
    if (dayKey.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(KalendoError, CaptionDayKey(caption));
        QVERIFY_THROWS_EXCEPTION(KalendoError, CaptionYear(caption));
        return;
    }
    QCOMPARE(CaptionDayKey(caption), dayKey);
    QCOMPARE(CaptionYear(caption), caption.left(4).toInt());
}

void tst_DaySchedule::listAndSaveKeepEveryLine() {
    const TextLines file{
        sj("20250101,1,,,元日の予定,,"),
        sj("20250105,2,10:00,,会議,本社,"),
        sj("\"20250105\",1,,,手書き,,"), // a hand edit quoted the date
        sj("20250106,1,09:00,10:00,\"a b\",x,extra,fields"),
        sj("20250105X,1,,,別の行,,"),
    };
    StringGrid list(ScheduleColumn::Count, 1, 1, 2);
    ListDayRows(file, "20250105", list);
    QCOMPARE(list.rowCount(), 3);
    QCOMPARE(list.cell(ScheduleColumn::Title, 1), sj("手書き"));
    QCOMPARE(list.cell(ScheduleColumn::Title, 2), sj("会議"));
    QCOMPARE(list.cell(ScheduleColumn::Start, 1), QByteArray(" "));

    // Other days byte for byte (extra fields and odd keys included), then the day's rows, each
    // unchanged one as its line was.
    const TextLines saved = DaySaveLines(file, list, "20250105");
    const TextLines expected{file.at(0), file.at(3), file.at(4), file.at(2), file.at(1)};
    QCOMPARE(saved, expected);
    // A changed row is written from its cells; a delete changes the rows it renumbers.
    list.setCell(ScheduleColumn::Memo, 2, "m");
    QCOMPARE(DaySaveLines(file, list, "20250105").last(), sj("20250105,2,10:00,\" \",会議,本社,m"));
    list.setCurrentRow(1);
    DeleteDayRow(list);
    QCOMPARE(DaySaveLines(file, list, "20250105").last(), sj("20250105,1,10:00,\" \",会議,本社,m"));

    // A day without lines: one placeholder numbered 1, which is never written.
    ListDayRows(file, "20250107", list);
    QCOMPARE(list.rowCount(), 2);
    QCOMPARE(list.cell(ScheduleColumn::Number, 1), QByteArray("1"));
    QCOMPARE(DaySaveLines(file, list, "20250107"), file);
}

void tst_DaySchedule::readAsBytesAgreesWithLines_data() {
    // The day list reads its year as bytes and looks only at lines that hold the day's key; it
    // must list and save exactly what a reading of every line gives.
    QTest::addColumn<QByteArray>("file");
    const QByteArray day = "20250307,1,10:00,,a,,\r\n";
    const QByteArray other = "20250308,1,,,b,,\r\n";
    QTest::newRow("key in another day's memo") << other + "20250309,1,,,c,,20250307\r\n" + day;
    QTest::newRow("quoted, blank-led, twice on a line")
        << "\"20250307\",2,,,q,,\r\n \t20250307,3,,,20250307,,\r\n" + other;
    QTest::newRow("lone CR, lone LF, no last line end")
        << QByteArray("20250307,1,,,x,,\r20250308,1,,,y,,\n20250307,2,,,z,,");
    QTest::newRow("Ctrl-Z ends the file") << day + "\x1a" + day;
    QTest::newRow("empty lines between other days' lines")
        << "20250308,1,,,b,,\n\n20250309,1,,,c,,\r\n\r\n20250310,,\r\n" + day;
    // The other days' lines go as runs only where the file holds them as a save writes them.
    QTest::newRow("blank-led or control-led line after the day's")
        << day + " \t20250308,1,,,b,,\r\n" + other + "\x01" + other + day;
    QTest::newRow("CR CR LF after the day's line, trailing blanks")
        << "20250307,1,,,a,,\r\r\n" + other + "  ";
    QTest::newRow("no line of the day, no last line end") << other + other.chopped(2);
    QTest::newRow("the day's lines first and last") << day + other + other + day;
    QTest::newRow("key with more digits, key at line end")
        << QByteArray("202503071,1,,,no,,\r\nx,20250307\r\n20250307\r\n");
    // Files are read a quarter of a megabyte at a time: a line of the day, its key, and a
    // CR LF across a block's end.
    constexpr qsizetype block = qsizetype(1) << 18;
    for (const qsizetype into : {0, 4, 9, 15}) {
        const QByteArray pad(block - into - 2, 'x');
        QTest::addRow("block ends %lld bytes into a line of the day", qlonglong(into))
            << pad + "\r\n" + day + other + day;
    }
    QTest::newRow("CR LF across a block's end") << QByteArray(block - 1, 'x') + "\r\n" + day;
    // The other days' bytes are checked 16 or 32 at a time: a lone LF, a lone CR or a blank-led
    // line on either side of those steps.
    for (const int at : {15, 16, 17, 31, 32, 33, 64}) {
        const QByteArray pad = "20250308,1,,,b" + QByteArray(at - 14, 'x');
        QTest::addRow("lone LF %d bytes in", at) << pad + "\n" + other + day;
        QTest::addRow("lone CR %d bytes in", at) << pad + "\r" + other + day;
        QTest::addRow("blank-led line %d bytes in", at) << pad + "\r\n " + other + day;
    }
}

void tst_DaySchedule::readAsBytesAgreesWithLines() {
    QFETCH(QByteArray, file);
    TempDataFolder folder;
    folder.write(QStringLiteral("2025.csv"), file);
    const TextLines lines = LoadTextLines(folder.file(QStringLiteral("2025.csv")));
    StringGrid fromLines(ScheduleColumn::Count, 1, 1, 2);
    ListDayRows(lines, "20250307", fromLines);
    StringGrid fromBytes(ScheduleColumn::Count, 1, 1, 2);
    TextBuffer year;
    DayLineStarts starts;
    DayLineRows rows;
    LoadDayRows(folder.file(QStringLiteral("2025.csv")), "20250307", year, fromBytes, &starts,
                &rows);
    QCOMPARE(fromBytes.rowCount(), fromLines.rowCount());
    for (int r = 0; r < fromLines.rowCount(); ++r)
        QCOMPARE(fromBytes.row(r), fromLines.row(r));
    // Saved as the window saves, runs of the file's lines and all; with the day's lines known
    // from the reading or found again.
    QByteArray expected;
    for (const QByteArray& line : DaySaveLines(lines, fromLines, "20250307"))
        expected += line + "\r\n";
    for (const DayLineStarts* known : {&starts, static_cast<DayLineStarts*>(nullptr)}) {
        SaveTextLinesFrom(folder.file(QStringLiteral("saved.csv")), [&](const AddLine& add) {
            DaySaveLines(year, fromBytes, "20250307", add, known, nullptr, &rows);
        });
        QCOMPARE(folder.read(QStringLiteral("saved.csv")), expected);
    }
    // Saved over the file as the window saves it; again from the version that save wrote, whose
    // lines then stand as saved and whose hash is known; and again once another program wrote
    // the file back as it was. The same bytes each time, and their hash.
    BytesHasher expectedHash;
    expectedHash.add(expected);
    const QString path = folder.file(QStringLiteral("2025.csv"));
    for (int round = 0; round < 3; ++round) {
        if (round == 2)
            folder.write(QStringLiteral("2025.csv"), file);
        LoadDayRows(path, "20250307", year, fromBytes, &starts, &rows);
        std::optional<quint64> hash;
        SavedDay saved;
        QCOMPARE(SaveDay(path, year, fromBytes, "20250307", &starts, &saved, &hash, &rows).outcome,
                 ChangedFileSave::Saved);
        QCOMPARE(folder.read(QStringLiteral("2025.csv")), expected);
        QCOMPARE(hash, std::optional<quint64>(expectedHash.finish()));
        // What the month's tables take as told: whether the save wrote back the bytes read
        // (those before a Ctrl-Z).
        const QByteArray read = file.contains('\x1a') ? file.left(file.indexOf('\x1a')) : file;
        QCOMPARE(saved.sameBytes, round == 1 || read == expected);
    }
}

void tst_DaySchedule::deleteRow_data() {
    QTest::addColumn<QList<QByteArray>>("titles");
    QTest::addColumn<int>("current");
    QTest::addColumn<QList<QByteArray>>("remaining");
    QTest::newRow("the only entry leaves an empty row")
        << QList<QByteArray>{"a"} << 1 << QList<QByteArray>{""};
    QTest::newRow("middle row") << QList<QByteArray>{"a", "b", "c"} << 2
                                << QList<QByteArray>{"a", "c"};
    QTest::newRow("last row") << QList<QByteArray>{"a", "b", "c"} << 3
                              << QList<QByteArray>{"a", "b"};
}

void tst_DaySchedule::deleteRow() {
    QFETCH(QList<QByteArray>, titles);
    QFETCH(int, current);
    QFETCH(QList<QByteArray>, remaining);
    StringGrid list(ScheduleColumn::Count, 1 + int(titles.size()), 1, 2);
    for (int i = 0; i < titles.size(); ++i) {
        list.setCell(ScheduleColumn::Number, i + 1, QByteArray::number(7 + i));
        list.setCell(ScheduleColumn::Title, i + 1, titles.at(i));
    }
    list.setCurrentRow(current);
    DeleteDayRow(list);
    QCOMPARE(list.rowCount(), 1 + int(remaining.size()));
    for (int i = 0; i < remaining.size(); ++i) {
        QCOMPARE(list.cell(ScheduleColumn::Title, i + 1), remaining.at(i));
        QCOMPARE(list.cell(ScheduleColumn::Number, i + 1), QByteArray::number(i + 1));
    }
}

void tst_DaySchedule::renumberedRowKeepsItsBytes_data() {
    // The day's lines; then the first row deleted, or a new entry that sorts first added.
    QTest::addColumn<TextLines>("file");
    QTest::addColumn<bool>("deleteFirst");
    QTest::addColumn<TextLines>("saved");
    const QByteArray a = "20250307,1,,,a,,";
    QTest::newRow("extra fields") << TextLines{a, "20250307,2,,,T,P,M,extra1,extra2"} << true
                                  << TextLines{"20250307,1,,,T,P,M,extra1,extra2"};
    QTest::newRow("bytes after a NUL")
        << TextLines{a, QByteArray("20250307,2,,,T\0x,P,M", 21)} << true
        << TextLines{QByteArray("20250307,1,,,T\0x,P,M", 21)};
    QTest::newRow("quoted number, blanks around")
        << TextLines{a, "20250307, \"2\" ,,,b,,"} << true << TextLines{"20250307, 1 ,,,b,,"};
    QTest::newRow("empty fields, an entry added above")
        << TextLines{"20250307,1,10:00,,plain,,"} << false
        << TextLines{"20250307,1,08:00,,new,,", "20250307,2,10:00,,plain,,"};
    // Sorted by number as text, the empty one first; the new entry sorts last by its start.
    QTest::newRow("empty number field")
        << TextLines{a, "20250307,,,,b"} << false
        << TextLines{"20250307,1,,,b", "20250307,2,,,a,,", "20250307,3,08:00,,new,,"};
}

void tst_DaySchedule::renumberedRowKeepsItsBytes() {
    QFETCH(TextLines, file);
    QFETCH(bool, deleteFirst);
    QFETCH(TextLines, saved);
    StringGrid list(ScheduleColumn::Count, 1, 1, 2);
    ListDayRows(file, "20250307", list);
    list.setCurrentRow(1);
    if (deleteFirst) {
        DeleteDayRow(list);
    } else {
        PrepareNewListRow(list, ScheduleColumn::Title);
        StoreDayEntry(list, "20250307", DayEntry{"08:00", "", "new", "", ""});
    }
    QCOMPARE(DaySaveLines(file, list, "20250307"), saved);
}

void tst_DaySchedule::storeSortsByStartAndRenumbers() {
    StringGrid list(ScheduleColumn::Count, 4, 1, 2);
    const QList<QByteArray> starts{"09:00", " ", ""};
    for (int r = 1; r < 4; ++r) {
        list.setCell(ScheduleColumn::Start, r, starts.at(r - 1));
        list.setCell(ScheduleColumn::Title, r, "t" + QByteArray::number(r));
    }
    list.setCurrentRow(3); // the placeholder takes the new entry
    StoreDayEntry(list, "20250105", DayEntry{"08:30", "", "new", "", ""});
    QList<QByteArray> order;
    for (int r = 1; r < 4; ++r) {
        order.append(list.cell(ScheduleColumn::Title, r));
        QCOMPARE(list.cell(ScheduleColumn::Number, r), QByteArray::number(r));
    }
    QCOMPARE(order, (QList<QByteArray>{"t2", "new", "t1"}));
    QCOMPARE(list.row(2), (Row{"20250105", "2", "08:30", "", "new", "", ""}));
}

QTEST_GUILESS_MAIN(tst_DaySchedule)
#include "tst_dayschedule.moc"
