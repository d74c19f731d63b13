#include "TestSupport.h"
#include "data/CsvLine.h"

#include <QTest>

class tst_CsvLine : public QObject {
    Q_OBJECT
private slots:
    void rowToLine_data();
    void rowToLine();
    void lineToRow_data();
    void lineToRow();
    void roundTrip_data();
    void roundTrip();
    void firstField_data();
    void firstField();
};

static Row row(std::initializer_list<QByteArray> cells) {
    return Row(cells);
}

void tst_CsvLine::rowToLine_data() {
    QTest::addColumn<Row>("cells");
    QTest::addColumn<QByteArray>("line");
    // The schedule line of 5 January 2025 as a new entry writes it, and after a reload.
    QTest::newRow("new entry") << row({"20250105", "1", "", "", sj("会議"), sj("本社"), ""})
                               << sj("20250105,1,,,会議,本社,");
    QTest::newRow("reloaded entry") << row({"20250105", "1", " ", " ", sj("会議"), sj("本社"), " "})
                                    << sj("20250105,1,\" \",\" \",会議,本社,\" \"");
    QTest::newRow("blank in title") << row({"03/20", "a b"}) << QByteArray("03/20,\"a b\"");
    QTest::newRow("quote doubled")
        << row({"x", "say \"hi\""}) << QByteArray("x,\"say \"\"hi\"\"\"");
    QTest::newRow("comma quoted") << row({"a,b", "c"}) << QByteArray("\"a,b\",c");
    QTest::newRow("control byte") << row({"a\tb"}) << QByteArray("\"a\tb\"");
    // 0x95 0x5C (表) holds a backslash trail byte: nothing to quote.
    QTest::newRow("trail byte") << row({QByteArray("\x95\x5c"), "x"}) << QByteArray("\x95\x5c,x");
    QTest::newRow("single empty cell") << row({""}) << QByteArray("\"\"");
    QTest::newRow("two empty cells") << row({"", ""}) << QByteArray(",");
}

void tst_CsvLine::rowToLine() {
    QFETCH(Row, cells);
    QFETCH(QByteArray, line);
    QCOMPARE(RowToCommaLine(cells), line);
}

void tst_CsvLine::lineToRow_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("columns");
    QTest::addColumn<Row>("cells");
    QTest::newRow("empty fields become blanks")
        << sj("20250105,1,,,会議,本社,,") << 7
        << row({"20250105", "1", " ", " ", sj("会議"), sj("本社"), " "});
    QTest::newRow("trailing comma adds no field") << QByteArray("a,b,") << 3 << row({"a", "b", ""});
    QTest::newRow("quoted blank") << QByteArray("a,\" \",c") << 3 << row({"a", " ", "c"});
    QTest::newRow("doubled quote")
        << QByteArray("\"say \"\"hi\"\"\",x") << 2 << row({"say \"hi\"", "x"});
    // A hand-written line: the blanks belong to the fields, as the month's hint shows them.
    QTest::newRow("blank inside unquoted field stays")
        << sj("Zoom 会議,A社 3階 ,c") << 3 << row({sj("Zoom 会議"), sj("A社 3階"), "c"});
    QTest::newRow("extra fields dropped") << QByteArray("1,2,3,4") << 2 << row({"1", "2"});
    QTest::newRow("leading blanks skipped") << QByteArray("  a, b") << 2 << row({"a", "b"});
    QTest::newRow("anniversary with appended comma")
        << sj("2012/03/30,結婚記念日,,") << 2 << row({"2012/03/30", sj("結婚記念日")});
    QTest::newRow("unterminated quote") << QByteArray("\"abc") << 2 << row({"abc", ""});
    QTest::newRow("text after closing quote starts a field")
        << QByteArray("\"ab\"cd,e") << 3 << row({"ab", "cd", "e"});
    QTest::newRow("NUL ends the text") << QByteArray("a,b\0c,d", 7) << 3 << row({"a", "b", ""});
    QTest::newRow("undecodable bytes kept")
        << QByteArray("\xff\x80,\x82") << 2 << row({"\xff\x80", "\x82"});
    QTest::newRow("lead byte last") << QByteArray("a,b\x82") << 2 << row({"a", "b\x82"});
    // Fields large enough to share the bytes they are read from.
    const QByteArray large(SharedCellBytes * 2, 't');
    QTest::newRow("large field") << "1," + large + ", x " << 3 << row({"1", large, "x"});
    QTest::newRow("large quoted field") << "1,\"" + large + "\"" << 2 << row({"1", large});
    QTest::newRow("large field with a doubled quote")
        << "\"" + large + "\"\"\",x" << 2 << row({large + '"', "x"});
    QTest::newRow("large unterminated quote") << "1,\"" + large << 2 << row({"1", large});
}

void tst_CsvLine::lineToRow() {
    QFETCH(QByteArray, line);
    QFETCH(int, columns);
    QFETCH(Row, cells);
    Row r(columns, "stale");
    CommaLineToRow(line, r);
    QCOMPARE(r, cells);
    // The lists' reading, without the comma appended to a copy of the line; a cell that shares
    // the line's bytes changes alone.
    Row withComma(columns);
    CommaLineToRow(line + ',', withComma);
    QByteArray owner = line;
    Row listed(columns, "stale");
    ListLineToRow(owner, listed, &owner);
    QCOMPARE(listed, withComma);
    for (QByteArray& cell : listed)
        cell.fill('#');
    QCOMPARE(owner, line);
}

void tst_CsvLine::roundTrip_data() {
    QTest::addColumn<Row>("cells");
    QTest::newRow("plain") << row({"01/01", sj("元日"), "0", "0"});
    QTest::newRow("quotes and commas") << row({"\"", ",", "a\" ,b", "x"});
    QTest::newRow("blank only") << row({" ", "  ", "x"});
    QTest::newRow("cp932 with 0x5C trail") << row({sj("表示ソフト"), sj("能力")});
    QTest::newRow("broken bytes") << row({"\xff\xfe", "\x81"});
}

void tst_CsvLine::roundTrip() {
    QFETCH(Row, cells);
    Row back(cells.size());
    CommaLineToRow(RowToCommaLine(cells) + ',', back);
    QCOMPARE(back, cells);
}

void tst_CsvLine::firstField_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("plain") << QByteArray("20250105,1") << QByteArray("20250105");
    QTest::newRow("quoted by hand") << QByteArray("\"20250105\",1") << QByteArray("20250105");
    QTest::newRow("empty") << QByteArray(",1") << QByteArray();
}

void tst_CsvLine::firstField() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, field);
    QCOMPARE(FirstCommaField(line), field);
}

QTEST_GUILESS_MAIN(tst_CsvLine)
#include "tst_csvline.moc"
