#include "TestSupport.h"
#include "data/KalendoError.h"
#include "rules/ComType.h"
#include "rules/YearTables.h"

#include <QTest>

// Equinox days: the formula's own results; 2024 and 2025 agree with the dates the National
// Astronomical Observatory of Japan announced (20 March and 22/23 September).
class tst_YearTables : public QObject {
    Q_OBJECT
private slots:
    void equinoxes_data();
    void equinoxes();
    void holidays_data();
    void holidays();
    void events_data();
    void events();
    void conversionFailures_data();
    void conversionFailures();
    void failureStopsOnlyItsOwnList_data();
    void failureStopsOnlyItsOwnList();
    void nationalRestDays_data();
    void nationalRestDays();
    void listsKeepFileOrderAndDuplicates();
    void anyYearBuilds();
    void shownMonthAnswersAsTheWholeYear_data();
    void shownMonthAnswersAsTheWholeYear();
    void rebuildShowsTheFilesAsTheyAreNow_data();
    void rebuildShowsTheFilesAsTheyAreNow();
};

static QByteArray crlf(const QList<const char*>& lines) {
    QByteArray out;
    for (const char* l : lines)
        out += sj(l) + "\r\n";
    return out;
}

static TextLines sjLines(const QList<const char*>& lines) {
    TextLines out;
    for (const char* l : lines)
        out.append(sj(l));
    return out;
}

void tst_YearTables::equinoxes_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<TextLines>("holidays");
    QTest::newRow("1980") << 1980 << sjLines({"03/20,春分の日,0,0", "09/23,秋分の日,0,0"});
    QTest::newRow("1979 autumn on Sunday")
        << 1979 << sjLines({"03/20,春分の日,0,0", "09/23,秋分の日,0,0", "09/24,振替休日,0,0"});
    QTest::newRow("2024 autumn on Sunday")
        << 2024 << sjLines({"03/20,春分の日,0,0", "09/22,秋分の日,0,0", "09/23,振替休日,0,0"});
    QTest::newRow("2025") << 2025 << sjLines({"03/20,春分の日,0,0", "09/23,秋分の日,0,0"});
    QTest::newRow("2100") << 2100 << sjLines({"03/19,春分の日,0,0", "09/22,秋分の日,0,0"});
    QTest::newRow("2101 has none") << 2101 << TextLines{};
}

void tst_YearTables::equinoxes() {
    QFETCH(int, year);
    QFETCH(TextLines, holidays);
    TempDataFolder dir;
    YearTables t;
    BuildYearTables(t, year, dir.path());
    QCOMPARE(t.YearHolidays(), holidays);
    QVERIFY(t.YearEvents().isEmpty());
    QVERIFY(t.Anniversaries().isEmpty());
    QVERIFY(t.YearSchedules().isEmpty());
}

void tst_YearTables::holidays_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<TextLines>("expected"); // without the two equinox lines at the end
    QTest::newRow("second Monday 2024")
        << 2024 << crlf({"01/--,成人の日,2,1"}) << sjLines({"01/08,成人の日,2,1"});
    QTest::newRow("second Monday 2025")
        << 2025 << crlf({"01/--,成人の日,2,1"}) << sjLines({"01/13,成人の日,2,1"});
    QTest::newRow("fifth Thursday exists")
        << 2024 << crlf({"02/--,X,5,4"}) << sjLines({"02/29,X,5,4"});
    QTest::newRow("fifth Thursday missing")
        << 2025 << crlf({"02/--,X,5,4"}) << sjLines({"02/--,X,5,4"});
    QTest::newRow("week digit 6 never resolves")
        << 2025 << crlf({"03/--,X,6,1"}) << sjLines({"03/--,X,6,1"});
    QTest::newRow("weekday digit 7 never resolves")
        << 2025 << crlf({"03/--,X,1,7"}) << sjLines({"03/--,X,1,7"});
    QTest::newRow("golden week 2024: 5 May Sunday")
        << 2024 << crlf({"05/03,憲法記念日,0,0", "05/04,みどりの日,0,0", "05/05,こどもの日,0,0"})
        << sjLines({"05/03,憲法記念日,0,0", "05/04,みどりの日,0,0", "05/05,こどもの日,0,0",
                    "05/06,振替休日,0,0"});
    QTest::newRow("golden week 2026: 3 May Sunday, 5 May Tuesday")
        << 2026 << crlf({"05/03,憲法記念日,0,0", "05/05,こどもの日,0,0"})
        << sjLines({"05/03,憲法記念日,0,0", "05/05,こどもの日,0,0", "05/06,振替休日,0,0"});
    QTest::newRow("golden week 2027: 5 May Wednesday")
        << 2027 << crlf({"05/05,こどもの日,0,0"}) << sjLines({"05/05,こどもの日,0,0"});
    QTest::newRow("rest carried to substitute")
        << 2024 << crlf({"11/03,文化の日,0,0,x"})
        << sjLines({"11/03,文化の日,0,0,x", "11/04,振替休日,0,0,x"});
    QTest::newRow("weekday holiday has no substitute")
        << 2025 << crlf({"02/--,X,1,0"}) << sjLines({"02/02,X,1,0"});
    // 30 November 2025 is a Sunday: the substitute is 1 December, not 11/31.
    QTest::newRow("month-end Sunday moves to next month")
        << 2025 << crlf({"11/30,X,0,0"}) << sjLines({"11/30,X,0,0", "12/01,振替休日,0,0"});
    // 31 December 2023 is a Sunday: its substitute belongs to 2024, not to 1 January 2023.
    QTest::newRow("new year's eve Sunday")
        << 2023 << crlf({"12/31,X,0,0"}) << sjLines({"12/31,X,0,0"});
    QTest::newRow("last year's eve was a Sunday")
        << 2024 << crlf({"12/31,X,0,0"}) << sjLines({"12/31,X,0,0", "01/01,振替休日,0,0"});
    QTest::newRow("29 February in a common year is no day")
        << 2025 << crlf({"02/29,閏,0,0"}) << sjLines({"02/29,閏,0,0"});
    QTest::newRow("29 February on a Sunday")
        << 2032 << crlf({"02/29,閏,0,0"}) << sjLines({"02/29,閏,0,0", "03/01,振替休日,0,0"});
    QTest::newRow("duplicates stay") << 2025 << crlf({"01/01,元日,0,0", "01/01,元日,0,0"})
                                     << sjLines({"01/01,元日,0,0", "01/01,元日,0,0"});
    QTest::newRow("quoted title kept")
        << 2025 << crlf({"04/01,\"a b\",0,0"}) << sjLines({"04/01,\"a b\",0,0"});
}

void tst_YearTables::holidays() {
    QFETCH(int, year);
    QFETCH(QByteArray, file);
    QFETCH(TextLines, expected);
    TempDataFolder dir;
    dir.write(HolidayFileName, file);
    YearTables t;
    BuildYearTables(t, year, dir.path());
    const TextLines got = t.YearHolidays();
    QVERIFY(got.size() >= 2);
    QCOMPARE(got.mid(0, expected.size()), expected);
    QVERIFY(got.at(expected.size()).contains(sj("春分の日")));
}

void tst_YearTables::events_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<TextLines>("expected");
    QTest::newRow("fixed copied unchanged, even a date that does not exist")
        << crlf({"02/29,E,0,0", "99/99,F,0,0"}) << sjLines({"02/29,E,0,0", "99/99,F,0,0"});
    QTest::newRow("weekday resolved, no substitutes")
        << crlf({"06/--,E,3,0", "08/11,F,0,0"}) << sjLines({"06/15,E,3,0", "08/11,F,0,0"});
}

void tst_YearTables::events() {
    QFETCH(QByteArray, file);
    QFETCH(TextLines, expected);
    TempDataFolder dir;
    dir.write(EventFileName, file);
    YearTables t;
    BuildYearTables(t, 2025, dir.path());
    QCOMPARE(t.YearEvents(), expected);
}

void tst_YearTables::conversionFailures_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("three commas") << EventFileName << QByteArray(",,,")
                                  << QStringLiteral("'' は整数ではありません");
    QTest::newRow("no comma") << EventFileName << QByteArray("abc")
                              << QStringLiteral("'' は整数ではありません");
    QTest::newRow("week not a digit") << HolidayFileName << QByteArray("01/--,X,a,1")
                                      << QStringLiteral("'a' は整数ではありません");
    QTest::newRow("weekday missing")
        << EventFileName << QByteArray("01/--,X,1") << QStringLiteral("'' は整数ではありません");
    QTest::newRow("month not a number") << HolidayFileName << QByteArray("ab/--,X,1,1")
                                        << QStringLiteral("'ab' は整数ではありません");
    QTest::newRow("fixed holiday day not a number") << HolidayFileName << QByteArray("01/xx,X,0,0")
                                                    << QStringLiteral("'xx' は整数ではありません");
    QTest::newRow("weekday rule month 13") << EventFileName << QByteArray("13/--,X,1,1")
                                           << QStringLiteral("日付に変換できない値が渡されました");
    QTest::newRow("double-byte week number shown whole")
        << HolidayFileName << sj("01/--,成人の日,２,1")
        << QStringLiteral("'２' は整数ではありません");
    QTest::newRow("comma in rule title") << HolidayFileName << QByteArray("01/01,\"a,b\",0,0")
                                         << QStringLiteral("'b' は整数ではありません");
}

void tst_YearTables::conversionFailures() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, line);
    QFETCH(QString, message);
    TempDataFolder dir;
    dir.write(fileName, line + "\r\n");
    YearTables t;
    try {
        BuildYearTables(t, 2025, dir.path());
        QFAIL("no error");
    } catch (const KalendoError& e) {
        QCOMPARE(e.message(),
                 message + QLatin1Char('\n') + dir.file(fileName) + QStringLiteral(" の 1 行目"));
    }
}

void tst_YearTables::failureStopsOnlyItsOwnList_data() {
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<QByteArray>("holidays");
    QTest::addColumn<QString>("message");
    QTest::addColumn<TextLines>("builtEvents");
    QTest::addColumn<TextLines>("builtHolidays");
    const TextLines equinoxes = sjLines({"03/20,春分の日,0,0", "09/23,秋分の日,0,0"});
    QTest::newRow("event line") << crlf({"01/05,A,0,0", "01/--,bad,x,1", "01/07,C,0,0"})
                                << crlf({"01/--,成人の日,2,1"})
                                << QStringLiteral("'x' は整数ではありません\n%1event.csv の 2 行目")
                                << sjLines({"01/05,A,0,0"})
                                << sjLines({"01/13,成人の日,2,1"}) + equinoxes;
    QTest::newRow("holiday line") << crlf({"01/05,A,0,0"})
                                  << crlf({"01/--,成人の日,2,1", "ab/--,X,1,1", "02/11,Y,0,0"})
                                  << QStringLiteral(
                                         "'ab' は整数ではありません\n%1holiday.csv の 2 行目")
                                  << sjLines({"01/05,A,0,0"}) << sjLines({"01/13,成人の日,2,1"});
    QTest::newRow("both: the first is told")
        << crlf({"01/--,bad,x,1"}) << crlf({"ab/--,X,1,1"})
        << QStringLiteral("'x' は整数ではありません\n%1event.csv の 1 行目") << TextLines{}
        << TextLines{};
    // Lines are counted as an editor counts them: empty ones and lone CRs and LFs too.
    QTest::newRow("line after empty lines")
        << QByteArray("01/05,A,0,0\n\r\n\r01/--,bad,x,1\r\n") << crlf({"01/--,成人の日,2,1"})
        << QStringLiteral("'x' は整数ではありません\n%1event.csv の 4 行目")
        << sjLines({"01/05,A,0,0"}) << sjLines({"01/13,成人の日,2,1"}) + equinoxes;
}

void tst_YearTables::failureStopsOnlyItsOwnList() {
    QFETCH(QByteArray, events);
    QFETCH(QByteArray, holidays);
    QFETCH(QString, message);
    QFETCH(TextLines, builtEvents);
    QFETCH(TextLines, builtHolidays);
    TempDataFolder dir;
    dir.write(AnniversaryFileName, crlf({"2012/03/30,結婚記念日,"}));
    dir.write(QStringLiteral("2024.csv"), crlf({"20240108,1,,,old,,"}));
    dir.write(QStringLiteral("2025.csv"), crlf({"20250113,1,,,new,,"}));
    dir.write(EventFileName, crlf({"01/05,A,0,0", "01/--,E,2,1"}));
    dir.write(HolidayFileName, crlf({"01/--,成人の日,2,1"}));
    YearTables t;
    BuildYearTables(t, 2024, dir.path());
    dir.write(EventFileName, events);
    dir.write(HolidayFileName, holidays);
    try {
        BuildYearTables(t, 2025, dir.path());
        QFAIL("no error");
    } catch (const KalendoError& e) {
        QCOMPARE(e.message(), message.arg(dir.path()));
    }
    QCOMPARE(t.YearEvents(), builtEvents);
    QCOMPARE(t.YearHolidays(), builtHolidays);
    QCOMPARE(t.YearSchedules(), sjLines({"20250113,1,,,new,,"}));
    QCOMPARE(t.annotation(akAnniversary, akAnniversary, 2025, 3, 30), sj("★結婚記念日[13]"));
    QCOMPARE(t.annotation(akHoliday, akEvent, 2025, 1, 8), QByteArray()); // 2024's second Monday
}

void tst_YearTables::nationalRestDays_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("days");
    const QByteArray respectForTheAged = crlf({"09/--,敬老の日,3,1"});
    QTest::newRow("2026 between 敬老の日 and 秋分の日")
        << 2026 << respectForTheAged << QStringList{"09/22"};
    QTest::newRow("2032") << 2032 << respectForTheAged << QStringList{"09/21"};
    QTest::newRow("2025 none") << 2025 << respectForTheAged << QStringList{};
    QTest::newRow("a user's own pair")
        << 2025 << crlf({"06/12,B,0,0", "06/10,A,0,0"}) << QStringList{"06/11"};
    QTest::newRow("a holiday itself stays as it is")
        << 2025 << crlf({"06/10,A,0,0", "06/11,B,0,0", "06/12,C,0,0"}) << QStringList{};
    // 3 November 2024 is a Sunday: 4 November is a substitute day, which makes no rest day.
    QTest::newRow("a substitute day is no neighbour")
        << 2024 << crlf({"11/03,A,0,0", "11/06,B,0,0"}) << QStringList{};
    QTest::newRow("last year's 31 December")
        << 2025 << crlf({"12/31,A,0,0", "01/02,B,0,0"}) << QStringList{"01/01"};
    QTest::newRow("next year's 1 January")
        << 2025 << crlf({"12/30,A,0,0", "01/01,B,0,0"}) << QStringList{"12/31"};
}

void tst_YearTables::nationalRestDays() {
    QFETCH(int, year);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, days);
    TempDataFolder dir;
    dir.write(HolidayFileName, file);
    YearTables t;
    BuildYearTables(t, year, dir.path());
    QStringList got;
    for (const QByteArray& line : t.YearHolidays())
        if (line.contains(sj("国民の休日"))) {
            QCOMPARE(line.mid(5), sj(",国民の休日,0,0"));
            got << QString::fromLatin1(line.left(5));
        }
    QCOMPARE(got, days);
}

void tst_YearTables::listsKeepFileOrderAndDuplicates() {
    TempDataFolder dir;
    const QByteArray schedule = crlf({"20250301,1,,,b,,", "20250101,1,,,a,,", "20250301,1,,,b,,"});
    dir.write(QStringLiteral("2025.csv"), schedule);
    dir.write(AnniversaryFileName, crlf({"2020/01/01,x,", "1999/01/01,y,"}));
    YearTables t;
    BuildYearTables(t, 2025, dir.path());
    QCOMPARE(t.YearSchedules(), SplitTextLines(schedule));
    QCOMPARE(t.Anniversaries(), sjLines({"2020/01/01,x,", "1999/01/01,y,"}));
    QCOMPARE(t.year(), 2025);
}

void tst_YearTables::anyYearBuilds() {
    // The month buttons can walk past 1980 and 2099; no year of the calendar stops the build.
    TempDataFolder dir;
    dir.write(HolidayFileName,
              crlf({"01/--,成人の日,2,1", "02/29,閏,0,0", "05/05,こどもの日,0,0"}));
    YearTables t;
    for (int year : {1, 4, 100, 1582, 1979, 2100, 2101, 9999}) {
        BuildYearTables(t, year, dir.path());
        QVERIFY2(t.YearHolidays().size() >= 3, qPrintable(QString::number(year)));
    }
}

void tst_YearTables::shownMonthAnswersAsTheWholeYear_data() {
    QTest::addColumn<int>("shownMonth");
    QTest::newRow("January: December of the year before") << 1;
    QTest::newRow("June") << 6;
    QTest::newRow("December: January of the year after") << 12;
}

void tst_YearTables::shownMonthAnswersAsTheWholeYear() {
    // Tables built for a shown month index its grid's months first and the rest when asked;
    // every answer must be the whole year's, the grid's months asked first.
    QFETCH(int, shownMonth);
    TempDataFolder dir;
    dir.write(QStringLiteral("2025.csv"),
              crlf({"20250105,1,,,a,,", "20241231,1,,,b,,", "20250531,1,,,c,,", "20250601,1,,,d,,",
                    "20250701,2,,,e,,", "20251231,1,,,f,,", "20260101,1,,,g,,", "20250601,2,,,h,,",
                    "20250615,1,,,i", "2025061,1,,,j,,"}));
    dir.write(AnniversaryFileName, crlf({"2000/12/31,x,", "1990/01/01,y,", "abcd/06/15,z,",
                                         "2001/06/15,w,", "2010/07/01,v"}));
    YearTables whole;
    BuildYearTables(whole, 2025, dir.path());
    // Its lists, asked for before any answer, hold every line too.
    YearTables listed;
    BuildYearTables(listed, 2025, dir.path(), shownMonth);
    QCOMPARE(listed.YearSchedules(), whole.YearSchedules());
    QCOMPARE(listed.Anniversaries(), whole.Anniversaries());
    YearTables shown;
    BuildYearTables(shown, 2025, dir.path(), shownMonth);
    // The grid's months as the window asks them, then every day from the year before's last
    // month to the year after's first.
    QList<QDate> days;
    for (QDate d = QDate(2025, shownMonth, 1).addMonths(-1);
         d < QDate(2025, shownMonth, 1).addMonths(2); d = d.addDays(1))
        days.append(d);
    for (QDate d(2024, 12, 1); d <= QDate(2026, 1, 31); d = d.addDays(1))
        days.append(d);
    for (const QDate& d : days) {
        for (int kind = 0; kind <= 3; ++kind)
            QCOMPARE(shown.annotation(kind, kind, d.year(), d.month(), d.day()),
                     whole.annotation(kind, kind, d.year(), d.month(), d.day()));
    }
}

void tst_YearTables::rebuildShowsTheFilesAsTheyAreNow_data() {
    // Tables built for March 2025, then (with saved) the day list's OK on that day taken from
    // the save (a new entry), then a file rewritten at once with as many bytes (or left as it
    // is), then built again for another month: they must answer as tables built anew.
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    // What ends the year's lines before the save.
    QTest::addColumn<QByteArray>("lineEnd");
    // Whether the files are older than a tick of the file system's clock when the tables read
    // them, so that the tables and the list certainly read the same version.
    QTest::addColumn<bool>("settled");
    const QByteArray none;
    const QByteArray crlfEnd = "\r\n";
    QTest::newRow("holiday rule") << none << HolidayFileName << crlf({"03/21,休B,0,0"}) << 2025 << 4
                                  << crlfEnd << false;
    QTest::newRow("event rule") << none << EventFileName << crlf({"03/--,催B,2,1"}) << 2025 << 4
                                << crlfEnd << false;
    QTest::newRow("anniversary") << none << AnniversaryFileName << crlf({"2000/03/10,記B,"}) << 2025
                                 << 4 << crlfEnd << false;
    QTest::newRow("schedule") << none << QStringLiteral("2025.csv") << crlf({"20250310,1,,,予B,,"})
                              << 2025 << 2 << crlfEnd << false;
    QTest::newRow("none, another year")
        << none << QString() << QByteArray() << 2026 << 3 << crlfEnd << false;
    QTest::newRow("none, December") << none << QString() << QByteArray() << 2025 << 12 << crlfEnd << false;
    QTest::newRow("day saved") << QByteArray("20250310") << QString() << QByteArray() << 2025 << 3
                               << crlfEnd << false;
    QTest::newRow("day saved, another month shown")
        << QByteArray("20250310") << QString() << QByteArray() << 2025 << 6 << crlfEnd << false;
    // As many bytes as the save wrote, another program's, right after it.
    QTest::newRow("day saved, then rewritten")
        << QByteArray("20250310") << QStringLiteral("2025.csv")
        << crlf({"20250305,1,,,予X,,", "20240310,1,,,前,,", "20250601,1,,,六,,",
                 "20250310,1,,,予A,,", "20250310,2,,,予M,,"})
        << 2025 << 3 << crlfEnd << false;
    // The same on files settled before the tables read them: the tables then know their copy
    // is the file the save wrote, and the other program's write, within the same tick and of
    // the same size, shows in the time the save gave the file.
    QTest::newRow("settled, day saved, then rewritten")
        << QByteArray("20250310") << QStringLiteral("2025.csv")
        << crlf({"20250305,1,,,予X,,", "20240310,1,,,前,,", "20250601,1,,,六,,",
                 "20250310,1,,,予A,,", "20250310,2,,,予M,,"})
        << 2025 << 3 << crlfEnd << true;
    QTest::newRow("settled, day saved") << QByteArray("20250310") << QString() << QByteArray()
                                        << 2025 << 3 << crlfEnd << true;
    // Lines the tables' copy cannot move as one run.
    QTest::newRow("day saved, lines ended by LF alone")
        << QByteArray("20250310") << QString() << QByteArray() << 2025 << 3 << QByteArray("\n") << false;
    QTest::newRow("day saved, lines led by a tab")
        << QByteArray("20250310") << QString() << QByteArray() << 2025 << 3 << QByteArray("\r\n\t") << false;
}

void tst_YearTables::rebuildShowsTheFilesAsTheyAreNow() {
    QFETCH(QByteArray, saved);
    QFETCH(QString, file);
    QFETCH(QByteArray, after);
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(QByteArray, lineEnd);
    QFETCH(bool, settled);
    TempDataFolder dir;
    dir.write(HolidayFileName, crlf({"03/20,休A,0,0"}));
    dir.write(EventFileName, crlf({"03/--,催A,2,1"}));
    dir.write(AnniversaryFileName, crlf({"2000/03/10,記A,"}));
    dir.write(QStringLiteral("2025.csv"), crlf({"20250305,1,,,予X,,", "20250310,1,,,予A,,",
                                                "20240310,1,,,前,,", "20250601,1,,,六,,"})
                                              .replace("\r\n", lineEnd));
    dir.write(QStringLiteral("2026.csv"), crlf({"20260310,1,,,予C,,"}));
    if (settled) {
        const QString path = dir.file(QStringLiteral("2025.csv"));
        const qint64 changedNs = StatFileStamp(path)->changedNs;
        QTRY_VERIFY_WITH_TIMEOUT(StatFileStamp(path)->takenNs - changedNs > qint64(200) * 1000000,
                                 10000);
    }
    YearTables kept;
    BuildYearTables(kept, 2025, dir.path(), 3);
    for (int day = 1; day <= 31; ++day)
        kept.annotation(0, 3, 2025, 3, day);
    if (!saved.isEmpty()) {
        const QString path = dir.file(QStringLiteral("2025.csv"));
        TextBuffer read;
        StringGrid list(ScheduleColumn::Count, 1, 1, 2);
        DayLineStarts starts;
        LoadDayRows(path, saved, read, list, &starts);
        list.setRowCount(list.rowCount() + 1);
        list.setRow(list.rowCount() - 1, Row{saved, "2", {}, {}, sj("予N"), {}, {}});
        SavedDay day;
        QCOMPARE(SaveDay(path, read, list, saved, &starts, &day).outcome, ChangedFileSave::Saved);
        QVERIFY(kept.takeSavedDay(day));
        QCOMPARE(kept.YearSchedules(), LoadTextLines(path)); // its copy rewritten as the file
    }
    if (!file.isEmpty())
        dir.write(file, after);
    BuildYearTables(kept, year, dir.path(), month);
    YearTables fresh;
    BuildYearTables(fresh, year, dir.path(), month);
    for (const int y : {year, year - 1}) {
        for (int day = 1; day <= 31; ++day) {
            QCOMPARE(kept.annotation(0, 3, y, 3, day), fresh.annotation(0, 3, y, 3, day));
            QCOMPARE(kept.hasAnnotation(akSchedule, y, 3, day),
                     fresh.hasAnnotation(akSchedule, y, 3, day));
        }
    }
    QCOMPARE(kept.YearSchedules(), fresh.YearSchedules());
}

QTEST_GUILESS_MAIN(tst_YearTables)
#include "tst_yeartables.moc"
