#include "rules/StringGrid.h"

#include <QTest>

class tst_StringGrid : public QObject {
    Q_OBJECT
private slots:
    void sortAscending_data();
    void sortAscending();
    void sortDescendingKeepsHeaderAndCurrentRow();
    void rowEditing();
};

static QList<QByteArray> column(const StringGrid& g, int c) {
    QList<QByteArray> out;
    for (int r = g.fixedRows(); r < g.rowCount(); ++r)
        out.append(g.cell(c, r));
    return out;
}

void tst_StringGrid::sortAscending_data() {
    QTest::addColumn<QList<QByteArray>>("input");
    QTest::addColumn<QList<QByteArray>>("sorted");
    QTest::newRow("numbers compare as text") << QList<QByteArray>{"2", "10", "1", "12", "11"}
                                             << QList<QByteArray>{"1", "10", "11", "12", "2"};
    QTest::newRow("all-day entries first") << QList<QByteArray>{"09:00", "", " ", "08:30"}
                                           << QList<QByteArray>{"", " ", "08:30", "09:00"};
    QTest::newRow("weekday rules before fixed dates of the month")
        << QList<QByteArray>{"05/05", "01/01", "05/--", "01/--", "12/31"}
        << QList<QByteArray>{"01/--", "01/01", "05/--", "05/05", "12/31"};
    QTest::newRow("dates in calendar order")
        << QList<QByteArray>{"2024/01/02", "1999/12/31", "2024/01/01"}
        << QList<QByteArray>{"1999/12/31", "2024/01/01", "2024/01/02"};
    QTest::newRow("case-insensitive")
        << QList<QByteArray>{"b", "A", "a", "B"} << QList<QByteArray>{"A", "a", "b", "B"};
}

void tst_StringGrid::sortAscending() {
    QFETCH(QList<QByteArray>, input);
    QFETCH(QList<QByteArray>, sorted);
    StringGrid g(2, 1 + int(input.size()), 1);
    for (int i = 0; i < input.size(); ++i) {
        g.setCell(0, i + 1, input.at(i));
        g.setCell(1, i + 1, QByteArray::number(i)); // the whole row moves
    }
    SortGridRows(g, 0, false);
    QCOMPARE(column(g, 0), sorted);
    for (int r = 1; r < g.rowCount(); ++r)
        QCOMPARE(input.at(g.cell(1, r).toInt()), g.cell(0, r));
}

void tst_StringGrid::sortDescendingKeepsHeaderAndCurrentRow() {
    StringGrid g(2, 4, 1);
    g.setRow(0, {"記念日", "内容"});
    g.setRow(1, {"2012/03/30", "a"});
    g.setRow(2, {"2020/01/01", "b"});
    g.setRow(3, {"1999/05/05", "c"});
    g.setCurrentRow(2);
    SortGridRows(g, 0, true);
    QCOMPARE(column(g, 0), (QList<QByteArray>{"2020/01/01", "2012/03/30", "1999/05/05"}));
    QCOMPARE(g.cell(0, 0), QByteArray("記念日"));
    QCOMPARE(g.currentRow(), 2);
    QCOMPARE(g.rowCount(), 4);
}

void tst_StringGrid::rowEditing() {
    StringGrid g(2, 4, 1);
    for (int r = 1; r < 4; ++r)
        g.setRow(r, {QByteArray::number(r), "x"});
    g.insertRow(2);
    QCOMPARE(column(g, 0), (QList<QByteArray>{"1", "", "2", "3"}));
    g.removeRow(1);
    QCOMPARE(column(g, 0), (QList<QByteArray>{"", "2", "3"}));
    g.moveRow(3, 1);
    QCOMPARE(column(g, 0), (QList<QByteArray>{"3", "", "2"}));
    g.setCurrentRow(3);
    g.removeRow(3);
    QCOMPARE(g.currentRow(), 2); // stays within the data rows
    g.removeRow(0);              // the header is never removed
    QCOMPARE(g.rowCount(), 3);
    g.setRowCount(0);
    QCOMPARE(g.rowCount(), 1);
}

QTEST_GUILESS_MAIN(tst_StringGrid)
#include "tst_stringgrid.moc"
