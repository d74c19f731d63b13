#include "TestSupport.h"
#include "data/CsvLine.h"
#include "data/KalendoError.h"
#include "exchange/IcalHandle.h"
#include "exchange/IcsExport.h"
#include "exchange/IcsImport.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/EntryIdentity.h"

#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

// Calendars written by hand in the forms other calendar programs use: UTC times, zones with
// and without their VTIMEZONE, all-day and multi-day events, weekly rules with exceptions,
// folded lines and escaped text.
class tst_IcsExchange : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void roundTrip_data();
    void roundTrip();
    void exportedEvents_data();
    void exportedEvents();
    void importPlan_data();
    void importedAlarm_data();
    void importedAlarm();
    void importPlan();
    void applyKeepsStoredLines();
    void notACalendar_data();
    void notACalendar();
};

namespace {

const QByteArray Zone = "Asia/Tokyo";

QByteArray calendar(const QByteArray& body) {
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//hand//EN\r\n" + body +
                      "END:VCALENDAR\r\n";
    return text.replace("\n", "\r\n").replace("\r\r\n", "\r\n");
}

QByteArray vevent(const QByteArray& lines, const QByteArray& uid = {}) {
    return "BEGIN:VEVENT\nUID:" + (uid.isEmpty() ? QByteArray::number(qHash(lines)) : uid) +
           "\nDTSTAMP:20250101T000000Z\n" + lines + "END:VEVENT\n";
}

QString describe(const IcsImportItem& item) {
    static const char* const states[] = {"add", "exists", "refused", "update"};
    // An update says what it changes.
    const QString changes = item.state == IcsImportItem::Update
                                ? QLatin1Char('|') + item.notes.join(QLatin1Char(' '))
                                : QString();
    return item.day.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('|') +
           QString::fromLatin1(item.entry.start) + QLatin1Char('|') +
           QString::fromLatin1(item.entry.end) + QLatin1Char('|') +
           Codec::toUnicode(item.entry.title) + QLatin1Char('|') +
           Codec::toUnicode(item.entry.place) + QLatin1Char('|') +
           Codec::toUnicode(item.entry.memo) + QLatin1Char('|') +
           QString::fromLatin1(states[item.state]) + changes;
}

IcsImportOptions options(int first, int last, bool drop = false) {
    return {first, last, Zone, drop};
}

// Every property of every VEVENT of a text, unfolded, keyed by the event's SUMMARY.
QHash<QString, QStringList> eventsBySummary(const QByteArray& ics) {
    IcalComponent root(icalparser_parse_string(ics.constData()));
    QHash<QString, QStringList> out;
    for (icalcomponent* e = icalcomponent_get_first_component(root.get(), ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(root.get(), ICAL_VEVENT_COMPONENT)) {
        QStringList props;
        for (icalproperty* p = icalcomponent_get_first_property(e, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(e, ICAL_ANY_PROPERTY))
            props << QString::fromUtf8(icalproperty_as_ical_string(p)).trimmed();
        out[QString::fromUtf8(icalcomponent_get_summary(e))] += props;
    }
    return out;
}

} // namespace

void tst_IcsExchange::init() {
    Clock::setFixedNow(QDateTime(QDate(2025, 3, 7), QTime(9, 0)));
}

void tst_IcsExchange::cleanup() {
    Clock::setFixedNow(QDateTime());
}

void tst_IcsExchange::roundTrip_data() {
    QTest::addColumn<QByteArray>("line");     // a line of 2025.csv
    QTest::addColumn<QByteArray>("imported"); // the line an import into an empty folder writes
    QTest::newRow("timed") << sj("20250307,1,09:00,10:30,会議,本社,資料")
                           << sj("20250307,1,09:00,10:30,会議,本社,資料");
    QTest::newRow("no end") << sj("20250307,1,13:00,,電話,,") << sj("20250307,1,13:00,,電話,,");
    QTest::newRow("all day, saved by the list")
        << sj("20250105,1,\" \",\" \",新年会,\" \",\" \"") << sj("20250105,1,,,新年会,,");
    QTest::newRow("overnight") << sj("20250307,1,22:00,01:00,夜勤,,")
                               << sj("20250307,1,22:00,01:00,夜勤,,");
    QTest::newRow("blank and quote in the title")
        << sj("20251231,1,23:00,23:30,\"大 \"\"晦\"\" 日\",,")
        << sj("20251231,1,23:00,23:30,\"大 \"\"晦\"\" 日\",,");
    QTest::newRow("semicolon and backslash")
        << sj("20250401,1,,,a;b\\c,x;y,1\\2") << sj("20250401,1,,,a;b\\c,x;y,1\\2");
}

void tst_IcsExchange::roundTrip() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, imported);
    TempDataFolder from;
    from.write(QStringLiteral("2025.csv"), line + "\r\n");
    from.write(QStringLiteral("anniversary.csv"), sj("2012/03/30,結婚記念日,\r\n"));
    from.write(QStringLiteral("holiday.csv"), sj("01/01,元日,0,0\r\n"));
    const QByteArray ics = BuildIcsCalendar(from.path(), 2025, 2025, Zone);

    IcalComponent parsed(icalparser_parse_string(ics.constData()));
    QVERIFY(parsed);
    QCOMPARE(icalcomponent_count_errors(parsed.get()), 0);
    QCOMPARE(BuildIcsCalendar(from.path(), 2025, 2025, Zone), ics); // same UIDs, same text

    TempDataFolder to;
    const IcsImportPlan plan = PlanIcsImport(ics, to.path(), options(2025, 2025));
    QCOMPARE(plan.ignoredEvents, 4); // holiday, equinoxes and anniversary: Kalendo's own
    ApplyIcsImport(plan, to.path());
    QCOMPARE(to.read(QStringLiteral("2025.csv")), imported + "\r\n");
    QVERIFY(!to.exists(QStringLiteral("anniversary.csv")));
    // Back into the folder it came from: nothing new.
    QCOMPARE(PlanIcsImport(ics, from.path(), options(2025, 2025)).count(IcsImportItem::Add), 0);
}

void tst_IcsExchange::exportedEvents_data() {
    QTest::addColumn<QString>("summary");
    // Each must appear among the event's; "!NAME": no property of that name may.
    QTest::addColumn<QStringList>("properties");
    QTest::newRow("timed in the zone")
        << QStringLiteral("会議")
        << QStringList{"DTSTART;TZID=Asia/Tokyo:20250307T090000",
                       "DTEND;TZID=Asia/Tokyo:20250307T103000", "LOCATION:本社\\, 3階"};
    // RFC 5545 3.6.1: without DTEND a timed event ends as it starts; DTEND would make it last.
    QTest::newRow("no end, no DTEND")
        << QStringLiteral("電話")
        << QStringList{"DTSTART;TZID=Asia/Tokyo:20250308T130000", "!DTEND", "!DURATION"};
    QTest::newRow("end before start ends next day")
        << QStringLiteral("夜勤") << QStringList{"DTEND;TZID=Asia/Tokyo:20250309T060000"};
    QTest::newRow("all day") << QStringLiteral("休暇")
                             << QStringList{"DTSTART;VALUE=DATE:20251231",
                                            "DTEND;VALUE=DATE:20260101"};
    QTest::newRow("holiday") << QStringLiteral("元日")
                             << QStringList{"DTSTART;VALUE=DATE:20250101", "CATEGORIES:祝日"};
    QTest::newRow("substitute holiday")
        << QStringLiteral("振替休日")
        << QStringList{"DTSTART;VALUE=DATE:20250506", "CATEGORIES:祝日"};
    QTest::newRow("event rule resolved")
        << QStringLiteral("棚卸")
        << QStringList{"DTSTART;VALUE=DATE:20250131", "CATEGORIES:イベント"};
    QTest::newRow("anniversary yearly from its date")
        << QStringLiteral("結婚記念日")
        << QStringList{"DTSTART;VALUE=DATE:20120330", "RRULE:FREQ=YEARLY",
                       "DESCRIPTION:2012/03/30から（2025年で13年）"};
    QTest::newRow("anniversary without a year as phones keep it")
        << QStringLiteral("父の誕生日")
        << QStringList{"DTSTART;VALUE=DATE;X-APPLE-OMIT-YEAR=1604:16040510", "RRULE:FREQ=YEARLY",
                       "!DESCRIPTION"};
}

void tst_IcsExchange::exportedEvents() {
    QFETCH(QString, summary);
    QFETCH(QStringList, properties);
    TempDataFolder dir;
    dir.write(
        QStringLiteral("2025.csv"),
        sj("20250307,1,09:00,10:30,会議,\"本社, 3階\",\r\n20250308,1,13:00,,電話,,\r\n"
           "20250308,2,22:00,06:00,夜勤,,\r\n20251231,1,,,休暇,,\r\n20260101,1,,,別の年,,\r\n"));
    dir.write(QStringLiteral("holiday.csv"), sj("01/01,元日,0,0\r\n05/05,こどもの日,0,0\r\n"));
    dir.write(QStringLiteral("event.csv"), sj("01/--,棚卸,5,5\r\n"));
    dir.write(QStringLiteral("anniversary.csv"),
              sj("2012/03/30,結婚記念日,\r\n----/05/10,父の誕生日,\r\n"));
    IcsExportCounts counts;
    const QByteArray ics = BuildIcsCalendar(dir.path(), 2025, 2025, Zone, &counts);
    QVERIFY(ics.contains("BEGIN:VTIMEZONE\r\nTZID:Asia/Tokyo"));
    QCOMPARE(counts.schedules, 4);
    QCOMPARE(counts.skippedLines, 1); // a key of 2026 in 2025.csv shows on no day
    const QStringList got = eventsBySummary(ics).value(summary);
    for (const QString& p : properties) {
        if (p.startsWith(u'!'))
            QVERIFY2(got.filter(QRegularExpression(u'^' + p.mid(1) + u"[;:]")).isEmpty(),
                     qPrintable(p + QStringLiteral(" in ") + got.join(u' ')));
        else
            QVERIFY2(got.contains(p), qPrintable(p + QStringLiteral(" in ") + got.join(u' ')));
    }
}

void tst_IcsExchange::importPlan_data() {
    QTest::addColumn<QByteArray>("ics");
    QTest::addColumn<bool>("drop");
    QTest::addColumn<QStringList>("items"); // day|start|end|title|place|memo|state
    QTest::newRow("UTC time to local")
        << calendar(vevent("DTSTART:20250307T230000Z\nDTEND:20250307T233000Z\nSUMMARY:朝会\n"))
        << false << QStringList{"20250308|08:00|08:30|朝会|||add"};
    QTest::newRow("zone with its VTIMEZONE")
        << calendar("BEGIN:VTIMEZONE\nTZID:Eastern\nBEGIN:STANDARD\nDTSTART:19701101T020000\n"
                    "TZOFFSETFROM:-0400\nTZOFFSETTO:-0500\nEND:STANDARD\nEND:VTIMEZONE\n" +
                    vevent("DTSTART;TZID=Eastern:20250110T190000\nDURATION:PT1H\nSUMMARY:Call\n"))
        << false << QStringList{"20250111|09:00|10:00|Call|||add"};
    QTest::newRow("zone known by name only")
        << calendar(vevent("DTSTART;TZID=Europe/Berlin:20250701T120000\nSUMMARY:Lunch\n")) << false
        << QStringList{"20250701|19:00||Lunch|||add"};
    QTest::newRow("floating time stays")
        << calendar(vevent("DTSTART:20250307T090000\nDTEND:20250307T100000\nSUMMARY:x\n")) << false
        << QStringList{"20250307|09:00|10:00|x|||add"};
    QTest::newRow("all-day over three days")
        << calendar(
               vevent("DTSTART;VALUE=DATE:20250429\nDTEND;VALUE=DATE:20250502\nSUMMARY:旅行\n"))
        << false
        << QStringList{"20250429|||旅行|||add", "20250430|||旅行|||add", "20250501|||旅行|||add"};
    QTest::newRow("timed over three days")
        << calendar(vevent("DTSTART:20250301T200000\nDTEND:20250303T100000\nSUMMARY:合宿\n"))
        << false
        << QStringList{"20250301|20:00||合宿|||add", "20250302|||合宿|||add",
                       "20250303|00:00|10:00|合宿|||add"};
    QTest::newRow("ends at midnight: one day")
        << calendar(vevent("DTSTART:20250301T220000\nDTEND:20250302T000000\nSUMMARY:夜\n")) << false
        << QStringList{"20250301|22:00||夜|||add"};
    QTest::newRow("weekly with EXDATE, a moved one and the range")
        << calendar(vevent("DTSTART;TZID=Asia/Tokyo:20241223T100000\nDTEND;TZID=Asia/Tokyo:"
                           "20241223T110000\nRRULE:FREQ=WEEKLY;BYDAY=MO;UNTIL=20250201T000000Z\n"
                           "EXDATE;TZID=Asia/Tokyo:20250113T100000\nSUMMARY:定例\n",
                           "w1") +
                    vevent("RECURRENCE-ID;TZID=Asia/Tokyo:20250120T100000\nDTSTART;TZID=Asia/"
                           "Tokyo:20250121T150000\nDTEND;TZID=Asia/Tokyo:20250121T160000\n"
                           "SUMMARY:定例\n",
                           "w1"))
        << false
        << QStringList{"20250106|10:00|11:00|定例|||add", "20250121|15:00|16:00|定例|||add",
                       "20250127|10:00|11:00|定例|||add"};
    // RFC 5545 3.8.5.2: the RDATEs join the rule's occurrences (once each), the EXDATEs leave.
    QTest::newRow("RDATE beside a rule, in its zone, once each")
        << calendar(vevent("DTSTART;TZID=Asia/Tokyo:20250106T100000\nDURATION:PT1H\n"
                           "RRULE:FREQ=WEEKLY;COUNT=2\nRDATE;TZID=Asia/Tokyo:20250106T100000,"
                           "20250108T140000\nRDATE:20250120T000000Z\nEXDATE;TZID=Asia/Tokyo:"
                           "20250113T100000\nSUMMARY:面談\n"))
        << false
        << QStringList{"20250106|10:00|11:00|面談|||add", "20250108|14:00|15:00|面談|||add",
                       "20250120|09:00|10:00|面談|||add"};
    QTest::newRow("RDATE without a rule: dates and a period")
        << calendar(vevent("DTSTART;VALUE=DATE:20250303\nRDATE;VALUE=DATE:20250310,20240101\n"
                           "RDATE;VALUE=PERIOD:20250320T130000/PT2H\nSUMMARY:検診\n"))
        << false
        << QStringList{"20250303|||検診|||add", "20250310|||検診|||add",
                       "20250320|13:00|15:00|検診|||add"};
    QTest::newRow("folded line, escaped comma and semicolon")
        << calendar(vevent("SUMMARY:Lunch\\, then\n  talk\\; ok\nLOCATION:A\\nB\n"
                           "DTSTART;VALUE=DATE:20250307\n"))
        << false << QStringList{"20250307|||Lunch， then talk; ok|A B||add"};
    QTest::newRow("wave dash mapped, title cut at a whole character")
        << calendar(vevent("DTSTART;VALUE=DATE:20250307\nSUMMARY:"
                           "10時〜12時あいうえおかきくけこさしすせそたち\n"))
        << false << QStringList{"20250307|||10時～12時あいうえおかきくけこさしすせそ|||add"};
    QTest::newRow("unencodable refused")
        << calendar(vevent("DTSTART;VALUE=DATE:20250307\nSUMMARY:誕生会🎂\n")) << false
        << QStringList{"20250307|||誕生会|||refused"};
    QTest::newRow("unencodable dropped")
        << calendar(vevent("DTSTART;VALUE=DATE:20250307\nSUMMARY:誕生会🎂\n")) << true
        << QStringList{"20250307|||誕生会|||add"};
    QTest::newRow("already stored, and twice in the file")
        << calendar(vevent("DTSTART:20250307T090000\nDTEND:20250307T100000\nSUMMARY:会議\n") +
                    vevent("DTSTART;VALUE=DATE:20250308\nSUMMARY:休み\n") +
                    vevent("DTSTART;VALUE=DATE:20250308\nSUMMARY:休み\nDESCRIPTION:b\n"))
        << false
        << QStringList{"20250307|09:00|10:00|会議|||exists", "20250308|||休み|||add",
                       "20250308|||休み||b|exists"};
    const QByteArray m1 = "DTSTART:20250307T090000\nDTEND:20250307T100000\nSUMMARY:会議\n";
    const QByteArray m1Later = "DTSTART:20250307T110000\nDTEND:20250307T120000\nSUMMARY:会議\n";
    QTest::newRow("same UID, same event") << calendar(vevent(m1 + "SEQUENCE:1\n", "m1")) << false
                                          << QStringList{"20250307|09:00|10:00|会議|||exists"};
    QTest::newRow("same UID, moved, higher SEQUENCE")
        << calendar(vevent(m1Later + "SEQUENCE:2\n", "m1")) << false
        << QStringList{"20250307|11:00|12:00|会議|||update|09:00–10:00→11:00–12:00"};
    QTest::newRow("same UID and SEQUENCE, LAST-MODIFIED later")
        << calendar(vevent(m1Later + "SEQUENCE:1\nLAST-MODIFIED:20250305T000000Z\n", "m1")) << false
        << QStringList{"20250307|11:00|12:00|会議|||update|09:00–10:00→11:00–12:00"};
    QTest::newRow("same UID, older copy left alone")
        << calendar(vevent(m1Later + "SEQUENCE:1\nLAST-MODIFIED:20250201T000000Z\n", "m1")) << false
        << QStringList{"20250307|11:00|12:00|会議|||exists"};
    QTest::newRow("same UID, moved to the next day and renamed")
        << calendar(vevent("DTSTART:20250308T090000\nSUMMARY:会議2\nSEQUENCE:3\n", "m1")) << false
        << QStringList{"20250308|09:00||会議2|||update|20250307→20250308 09:00–10:00→09:00 "
                       "予定「会議」→「会議2」"};
    // Google and Thunderbird write RECURRENCE-ID in the series' zone: Monday 19:00 in New York is
    // Tuesday 09:00 in Tokyo; the second is moved a day, the third cancelled.
    QTest::newRow("moved and cancelled, RECURRENCE-ID with TZID")
        << calendar(vevent("DTSTART;TZID=America/New_York:20250106T190000\nDURATION:PT1H\n"
                           "RRULE:FREQ=WEEKLY;COUNT=4\nSUMMARY:Sync\n",
                           "g1") +
                    vevent("RECURRENCE-ID;TZID=America/New_York:20250113T190000\n"
                           "DTSTART;TZID=America/New_York:20250114T190000\nDURATION:PT1H\n"
                           "SUMMARY:Sync\n",
                           "g1") +
                    vevent("RECURRENCE-ID;TZID=America/New_York:20250120T190000\n"
                           "DTSTART;TZID=America/New_York:20250120T190000\nSTATUS:CANCELLED\n"
                           "SUMMARY:Sync\n",
                           "g1"))
        << false
        << QStringList{"20250107|09:00|10:00|Sync|||add", "20250115|09:00|10:00|Sync|||add",
                       "20250128|09:00|10:00|Sync|||add"};
    // A VTIMEZONE from 2018 on says nothing of July 2016, when New York kept summer time (-4).
    QTest::newRow("VTIMEZONE not covering the date")
        << calendar("BEGIN:VTIMEZONE\nTZID:America/New_York\nBEGIN:DAYLIGHT\n"
                    "DTSTART:20180311T020000\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\n"
                    "TZOFFSETFROM:-0500\nTZOFFSETTO:-0400\nEND:DAYLIGHT\nBEGIN:STANDARD\n"
                    "DTSTART:20181104T020000\nRRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\n"
                    "TZOFFSETFROM:-0400\nTZOFFSETTO:-0500\nEND:STANDARD\nEND:VTIMEZONE\n" +
                    vevent("DTSTART;TZID=America/New_York:20160701T120000\nSUMMARY:Old\n"))
        << false << QStringList{"20160702|01:00||Old|||add"};
    QTest::newRow("overnight: one entry ending the next day")
        << calendar(vevent("DTSTART:20250301T220000\nDTEND:20250302T010000\nSUMMARY:夜勤\n"))
        << false << QStringList{"20250301|22:00|01:00|夜勤|||add"};
    // No moment fits: libical would search it second by second for good.
    QTest::newRow("every second of a 30 February")
        << calendar(vevent("DTSTART:20250101T000000Z\nRRULE:FREQ=SECONDLY;BYMONTH=2;"
                           "BYMONTHDAY=30\nSUMMARY:x\n"))
        << false << QStringList{};
    QTest::newRow("years the calendar does not show")
        << calendar(vevent("DTSTART;VALUE=DATE:00010101\nSUMMARY:old\n") +
                    vevent("DTSTART;VALUE=DATE:99990101\nSUMMARY:far\n") +
                    vevent("DTSTART;VALUE=DATE:19000101\nDTEND;VALUE=DATE:21000101\n"
                           "SUMMARY:long\n"))
        << false << QStringList{};
    // Older Japanese phones and tools write Shift_JIS, at times saying so in CHARSET.
    QTest::newRow("Shift_JIS file")
        << *Codec::fromUnicode(QString::fromUtf8(
               calendar(vevent("DTSTART;VALUE=DATE:20250307\nSUMMARY;CHARSET=Shift_JIS:会議室予約\n"
                               "LOCATION:本社～3階\n"))))
        << false << QStringList{"20250307|||会議室予約|本社～3階||add"};
    QTest::newRow("cancelled and Kalendo's own holidays ignored")
        << calendar(vevent("DTSTART;VALUE=DATE:20250307\nSUMMARY:x\nSTATUS:CANCELLED\n") +
                    vevent("DTSTART;VALUE=DATE:20250101\nSUMMARY:元日\n", "holiday-0123@kalendo"))
        << false << QStringList{};
}

void tst_IcsExchange::importPlan() {
    QFETCH(QByteArray, ics);
    QFETCH(bool, drop);
    QFETCH(QStringList, items);
    TempDataFolder dir;
    const QByteArray stored = sj("20250307,1,\"09:00\",10:00,会議,\" \",\" \"");
    dir.write(QStringLiteral("2025.csv"), stored + "\r\n");
    // The stored entry came from another calendar: event m1, SEQUENCE 1, changed 1 March.
    const QDateTime changed(QDate(2025, 3, 1), QTime(0, 0), QTimeZone::utc());
    QVERIFY(
        RecordYearIdentities(dir.path(), 2025, {{stored, {"m1", {}, 1, changed, {}}}}).isEmpty());
    const IcsImportPlan plan =
        PlanIcsImport(DecodeIcsBytes(ics).utf8, dir.path(), options(2025, 2025, drop));
    QStringList got;
    for (const IcsImportItem& item : plan.items)
        got << describe(item);
    QCOMPARE(got, items);
}

// An event's alarm that goes off a time before its start (RFC 5545 3.8.6.3) stays with the
// entry's identity: its reminder comes that long before. Other alarms are not kept.
void tst_IcsExchange::importedAlarm_data() {
    QTest::addColumn<QByteArray>("trigger");
    QTest::addColumn<QByteArray>("kept");
    QTest::addColumn<QByteArray>("start");
    const QByteArray timed = "DTSTART:20250307T090000";
    const QByteArray allDay = "DTSTART;VALUE=DATE:20250307";
    QTest::newRow("before the start")
        << QByteArray("TRIGGER:-PT30M") << QByteArray("-PT30M") << timed;
    QTest::newRow("a day before") << QByteArray("TRIGGER;RELATED=START:-P1D") << QByteArray("-P1D")
                                  << timed;
    QTest::newRow("before the end")
        << QByteArray("TRIGGER;RELATED=END:-PT5M") << QByteArray() << timed;
    QTest::newRow("after the start") << QByteArray("TRIGGER:PT5M") << QByteArray() << timed;
    QTest::newRow("at a set time")
        << QByteArray("TRIGGER;VALUE=DATE-TIME:20250307T000000Z") << QByteArray() << timed;
    // An all-day event's day starts at midnight: its alarm may go off during the day.
    QTest::newRow("all day: at 9:00 on the day")
        << QByteArray("TRIGGER:PT9H") << QByteArray("PT9H") << allDay;
    QTest::newRow("all day: after its day") << QByteArray("TRIGGER:P1D") << QByteArray() << allDay;
}

void tst_IcsExchange::importedAlarm() {
    QFETCH(QByteArray, trigger);
    QFETCH(QByteArray, kept);
    QFETCH(QByteArray, start);
    TempDataFolder dir;
    const QByteArray ics = calendar(vevent(start +
                                               "\nSUMMARY:面談\nBEGIN:VALARM\n"
                                               "ACTION:DISPLAY\nDESCRIPTION:面談\n" +
                                               trigger + "\nEND:VALARM\n",
                                           "a1"));
    ApplyIcsImport(PlanIcsImport(ics, dir.path(), options(2025, 2025)), dir.path());
    const YearIdentities ids = YearIdentities::read(dir.path(), 2025);
    QCOMPARE(ids.size(), 1);
    QCOMPARE(ids.identity(0).properties.value("ALARM"), kept);
}

void tst_IcsExchange::applyKeepsStoredLines() {
    TempDataFolder dir;
    const QByteArray stored = sj("20250307,1,,,\"会 議\",\" \",\" \"\r\n20250307,2,,,朝,,\r\n"
                                 "20250101,1,,,元旦,,\r\n");
    dir.write(QStringLiteral("2025.csv"), stored);
    const QByteArray ics = calendar(vevent("DTSTART:20250307T090000\nSUMMARY:面談\n") +
                                    vevent("DTSTART;VALUE=DATE:20260102\nSUMMARY:初売り\n"));
    ApplyIcsImport(PlanIcsImport(ics, dir.path(), options(2025, 2025)), dir.path());
    QCOMPARE(dir.read(QStringLiteral("2025.csv")), stored + sj("20250307,3,09:00,,面談,,\r\n"));
    QCOMPARE(dir.read(QStringLiteral("2026.csv")), sj("20260102,1,,,初売り,,\r\n"));

    // 面談 moved in the other calendar: the entry changes in its place, keeping its number.
    const QByteArray uid = YearIdentities::read(dir.path(), 2025).identity(3).uid;
    const QByteArray moved =
        calendar(vevent("DTSTART:20250307T150000\nSUMMARY:面談\nSEQUENCE:1\n", uid));
    const IcsImportPlan update = PlanIcsImport(moved, dir.path(), options(2025, 2025));
    QCOMPARE(update.count(IcsImportItem::Update), 1);
    ApplyIcsImport(update, dir.path());
    QCOMPARE(dir.read(QStringLiteral("2025.csv")), stored + sj("20250307,3,15:00,,面談,,\r\n"));
    const YearIdentities ids = YearIdentities::read(dir.path(), 2025);
    QCOMPARE(ids.identity(3).uid, uid);
    QCOMPARE(ids.identity(3).sequence, 1);
    QCOMPARE(PlanIcsImport(moved, dir.path(), options(2025, 2025)).count(IcsImportItem::Exists), 1);
}

void tst_IcsExchange::notACalendar_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("CSV") << QByteArray("20250307,1,,,CSV,,\r\n")
                         << QStringLiteral("iCalendar形式のファイルとして読めません");
    // Refused before libical builds a tree: freeing a million nested alarms overflows the stack.
    QTest::newRow("alarms nested deep")
        << calendar(vevent("DTSTART:20250101T000000Z\n" + QByteArray("BEGIN:VALARM\n").repeated(9) +
                           QByteArray("END:VALARM\n").repeated(9)))
        << QStringLiteral("入れ子が深すぎるため読み込めません");
    QTest::newRow("too many events")
        << calendar(QByteArray("BEGIN:VEVENT\nEND:VEVENT\n").repeated(100000))
        << QStringLiteral("予定が多すぎるため読み込めません（上限 100000件）");
}

void tst_IcsExchange::notACalendar() {
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    TempDataFolder dir;
    try {
        PlanIcsImport(text, dir.path(), options(2025, 2025));
        QFAIL("read as a calendar");
    } catch (const KalendoError& error) {
        QCOMPARE(error.message(), message);
    }
}

QTEST_GUILESS_MAIN(tst_IcsExchange)
#include "tst_icsexchange.moc"
