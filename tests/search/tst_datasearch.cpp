#include "rules/Clock.h"
#include "search/DataSearch.h"

#include "TestSupport.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

// Each file of a row: its name and its lines (UTF-8, written as code page 932 with CR LF).
// "<dir>" makes a folder in the file's place, "<fifo>" a pipe, "<huge>" a sparse file over the
// data limit. Year files get filler lines before and after, so that the lines looked for stand
// where the search compares 64 bytes at a time, not only in the bytes left at the end.
using Files = QList<QPair<QString, QStringList>>;
Q_DECLARE_METATYPE(Files)

namespace {

void writeFiles(const TempDataFolder& folder, const Files& files) {
    for (const auto& [name, lines] : files) {
        const QString path = folder.file(name);
        if (lines == QStringList{QStringLiteral("<dir>")}) {
            QDir().mkpath(path);
        } else if (lines == QStringList{QStringLiteral("<fifo>")}) {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else if (lines == QStringList{QStringLiteral("<huge>")}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(MaxTextFileBytes + 1));
        } else {
            const bool year = name.front().isDigit();
            QByteArray bytes;
            const QByteArray filler = sj("20260101,1,09:00,10:00,打合せ,本社会議室,資料を持参\r\n");
            for (int i = 0; year && i < 7; ++i)
                bytes += filler;
            for (const QString& line : lines)
                bytes += sj(line.toUtf8().constData()) + "\r\n";
            for (int i = 0; year && i < 5; ++i)
                bytes += filler;
            folder.write(name, bytes);
        }
    }
}

// A shown text with its hits in brackets.
QString marked(const SearchField& field) {
    QString text = field.text;
    for (auto it = field.hits.crbegin(); it != field.hits.crend(); ++it)
        text.insert(it->start + it->length, QLatin1Char(']')).insert(it->start, QLatin1Char('['));
    return text;
}

} // namespace

class tst_DataSearch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Clock::setFixedNow(QDateTime(QDate(2026, 12, 7), QTime(9, 0))); }
    void finds_data();
    void finds();
};

void tst_DataSearch::finds_data() {
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("query");
    // Each match: kind, date, times, title|place|memo with hits in brackets; "* " marks the
    // one nearest to today.
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("unreadable");

    const QString y = QStringLiteral("2026.csv");
    QTest::newRow("hiragana finds katakana, half-width and mixed, not the kanji")
        << Files{{y,
                  {"20260310,1,09:00,09:30,ハイシャ,,", "20260311,1,,,ﾊｲｼｬ,,",
                   "20260312,1,,,ﾊイシｬ,,", "20260313,1,,,歯医者,,", "20260314,1,,,はいし,,"}}}
        << "はいしゃ"
        << QStringList{"予定 2026-03-10 09:00-09:30 [ハイシャ]||", "予定 2026-03-11 - [ﾊｲｼｬ]||",
                       "* 予定 2026-03-12 - [ﾊイシｬ]||"}
        << QStringList{};
    QTest::newRow("half-width voiced marks are one character")
        << Files{{y,
                  {"20261201,1,,,ﾊﾞｽ旅行,,", "20261202,1,,,ハス,,", "20261203,1,,,パス,,",
                   "20261204,1,,,ﾊﾟｽﾎﾟｰﾄ,,"}}}
        << "バス" << QStringList{"* 予定 2026-12-01 - [ﾊﾞｽ]旅行||"} << QStringList{};
    QTest::newRow("typed half-width voiced finds full-width")
        << Files{{y, {"20261201,1,,,パスポート,,", "20261202,1,,,ハス,,"}}} << "ﾊﾟｽ"
        << QStringList{"* 予定 2026-12-01 - [パス]ポート||"} << QStringList{};
    QTest::newRow("case and full-width letters and digits")
        << Files{{y,
                  {"20260501,1,,,ＡＢＣ会議,,", "20260502,1,,,abc会議,,", "20260503,1,,,aBc,,",
                   "20260504,1,,,AB会議,,"}}}
        << "Abc"
        << QStringList{"予定 2026-05-01 - [ＡＢＣ]会議||", "予定 2026-05-02 - [abc]会議||",
                       "* 予定 2026-05-03 - [aBc]||"}
        << QStringList{};
    QTest::newRow("full-width digits typed")
        << Files{{y,
                  {"20260601,1,,,第123回,,", "20260602,1,,,第１２３回,,", "20260603,1,,,第12回,,"}}}
        << "１２３"
        << QStringList{"予定 2026-06-01 - 第[123]回||", "* 予定 2026-06-02 - 第[１２３]回||"}
        << QStringList{};
    QTest::newRow("several words, each anywhere in the entry, ideographic space between")
        << Files{{y,
                  {"20261105,1,,,歯医者,駅前,定期検診", "20261106,1,,,歯医者,駅前,抜歯",
                   "20261107,1,,,定期検診,,"}}}
        << "定期　歯医者" << QStringList{"* 予定 2026-11-05 - [歯医者]|駅前|[定期]検診"}
        << QStringList{};
    QTest::newRow("a match in a long memo, shown around it, across years, nearest marked")
        << Files{{QStringLiteral("2024.csv"),
                  {"20240105,1,,,会議,,"
                   "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九"
                   "十"
                   "保険証を忘れずに一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十"}},
                 {y, {"20261220,1,,,通院,,保険証"}}}
        << "保険証"
        << QStringList{"予定 2024-01-05 - 会議||"
                       "…九十一二三四五六七八九十[保険証]"
                       "を忘れずに一二三四五六七八九十一二三四五六七八九十一二三四五六七八…",
                       "* 予定 2026-12-20 - 通院||[保険証]"}
        << QStringList{};
    QTest::newRow("an anniversary, on its day nearest today")
        << Files{{QStringLiteral("anniversary.csv"),
                  {"1990/01/03,結婚記念日,", "1985/07/01,創立記念日,"}}}
        << "結婚" << QStringList{"* 記念日 2027-01-03 - [結婚]記念日||1990/01/03"} << QStringList{};
    QTest::newRow("an anniversary without a year")
        << Files{{QStringLiteral("anniversary.csv"), {"----/05/10,父の誕生日,"}}} << "誕生"
        << QStringList{"* 記念日 2027-05-10 - 父の[誕生]日||年なし"} << QStringList{};
    // No 29 February in the years next to 2026: the search looks further.
    QTest::newRow("29 February, from a common year between common years")
        << Files{{QStringLiteral("anniversary.csv"), {"----/02/29,祖母の誕生日,"}}} << "祖母"
        << QStringList{"* 記念日 2028-02-29 - [祖母]の誕生日||年なし"} << QStringList{};
    QTest::newRow("holiday and event rules, a weekday rule resolved")
        << Files{{QStringLiteral("holiday.csv"), {"11/03,文化の日,0,0", "01/--,成人の日,2,1"}},
                 {QStringLiteral("event.csv"), {"12/--,文化祭,1,6"}}}
        << "文化"
        << QStringList{"休日 2026-11-03 - [文化]の日||",
                       "* イベント 2026-12-05 - [文化]祭||12月 第1土曜日"}
        << QStringList{};
    QTest::newRow("no line written in a way code page 932 cannot hold")
        << Files{{y, {"20260101,1,,,ABC,,"}}} << "ABC😀" << QStringList{} << QStringList{};
    QTest::newRow("unreadable and oversized year files named once, the others searched")
        << Files{{QStringLiteral("2024.csv"), {"<dir>"}},
                 {QStringLiteral("2023.csv"), {"<fifo>"}},
                 {QStringLiteral("2022.csv"), {"<huge>"}},
                 {y, {"20260301,1,,,歯医者,,"}}}
        << "歯医者" << QStringList{"* 予定 2026-03-01 - [歯医者]||"}
        << QStringList{"2022.csv", "2023.csv", "2024.csv"};
}

void tst_DataSearch::finds() {
    QFETCH(Files, files);
    QFETCH(QString, query);
    QFETCH(QStringList, found);
    QFETCH(QStringList, unreadable);
    TempDataFolder folder;
    writeFiles(folder, files);

    const SearchOutcome outcome =
        SearchDataFolder(folder.path(), SearchQuery(query), Clock::today());
    QStringList got;
    for (qsizetype i = 0; i < outcome.matches.size(); ++i) {
        const SearchMatch& m = outcome.matches.at(i);
        got << (i == outcome.nearest ? QStringLiteral("* ") : QString()) + SearchKindName(m.kind) +
                   QLatin1Char(' ') + m.date.toString(Qt::ISODate) + QLatin1Char(' ') + m.start +
                   QLatin1Char('-') + m.end + QLatin1Char(' ') + marked(m.title) +
                   QLatin1Char('|') + marked(m.place) + QLatin1Char('|') + marked(m.memo);
    }
    QCOMPARE(got, found);
    QStringList named;
    for (const QString& text : outcome.unreadable)
        named << text.section(QLatin1Char(':'), 0, 0);
    QCOMPARE(named, unreadable);
    QVERIFY(!outcome.stopped);
}

QTEST_GUILESS_MAIN(tst_DataSearch)
#include "tst_datasearch.moc"
