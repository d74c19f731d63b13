#include "anniversary/Anniversary.h"
#include "anniversary/AnniversaryEdit.h"
#include "data/KalendoError.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/YearTables.h"
#include "widgets/Cp932LineEdit.h"
#include "widgets/ListGrid.h"

#include "TestSupport.h"
#include "WhenModal.h"

#include <QAccessible>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

class tst_Anniversary : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void entriesWrittenNewestFirstAndReadBack();
    void unchangedLinesKeepTheirBytes();
    void cancelOfNewEntry_data();
    void cancelOfNewEntry();
    void emptiedListIsSaved_data();
    void emptiedListIsSaved();
    void cancelWritesNothing();
    void unreadableDateKeepsEditorClosed();
    void editedWithoutYear_data();
    void editedWithoutYear();
    void listOrderAndText_data();
    void listOrderAndText();
    void emptyTextIsRefused();
    void editorKeys();
    void savedEntryReachesYearTables();

private:
    void open();
    void add(const QDate& date, const QString& text);
    QList<QByteArray> column(int c) const;

    std::unique_ptr<TempDataFolder> m_folder;
    std::unique_ptr<TAnniversaryForm> m_list;
};

static const QString FileName = QStringLiteral("anniversary.csv");

void tst_Anniversary::init() {
    m_folder = std::make_unique<TempDataFolder>();
    SetDataFolder(m_folder->path());
    Clock::setFixedNow(QDateTime(QDate(2025, 3, 7), QTime(10, 0)));
}

void tst_Anniversary::cleanup() {
    m_list.reset();
    m_folder.reset();
}

void tst_Anniversary::open() {
    if (!m_list)
        m_list = std::make_unique<TAnniversaryForm>();
    m_list->show();
}

void tst_Anniversary::add(const QDate& date, const QString& text) {
    TAnniversaryEditForm* editor = m_list->editForm();
    whenModal(editor, [editor, date, text] {
        editor->dtpAnniversary->setDate(date);
        editor->editTitle->setText(text);
        editor->btnOkClick();
    });
    m_list->btnAddNewClick();
}

QList<QByteArray> tst_Anniversary::column(int c) const {
    const StringGrid& grid = m_list->gridAnv->grid();
    QList<QByteArray> cells;
    for (int r = 1; r < grid.rowCount(); ++r)
        cells.append(grid.cell(c, r));
    return cells;
}

void tst_Anniversary::entriesWrittenNewestFirstAndReadBack() {
    open();
    add(QDate(2012, 3, 30), QStringLiteral("結婚記念日"));
    add(QDate(2020, 1, 2), QStringLiteral("say \"hi\""));
    add(QDate(1999, 12, 1), QStringLiteral("a b"));
    m_list->btnOkClick();
    QCOMPARE(m_list->result(), int(TAnniversaryForm::Ok));
    QCOMPARE(m_folder->read(FileName), sj("2020/01/02,\"say \"\"hi\"\"\",\r\n"
                                          "2012/03/30,結婚記念日,\r\n"
                                          "1999/12/01,\"a b\",\r\n"));
    open();
    QCOMPARE(column(0), (QList<QByteArray>{"2020/01/02", "2012/03/30", "1999/12/01"}));
    QCOMPARE(column(1), (QList<QByteArray>{"say \"hi\"", sj("結婚記念日"), "a b"}));
}

void tst_Anniversary::unchangedLinesKeepTheirBytes() {
    // Forms the list would not write itself: a needless quote, an empty field, no final comma
    // (which it adds: without it the month never shows the line).
    const QByteArray old = sj("2001/05/05,\"子供\",\r\n1990/01/01,,\r\n2015/08/08,夏\r\n");
    m_folder->write(FileName, old);
    open();
    add(QDate(2010, 10, 10), QStringLiteral("新"));
    m_list->btnOkClick();
    QCOMPARE(m_folder->read(FileName), sj("2015/08/08,夏,\r\n2010/10/10,新,\r\n"
                                          "2001/05/05,\"子供\",\r\n1990/01/01,,\r\n"));
}

void tst_Anniversary::cancelOfNewEntry_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("closeByWindow");
    const QByteArray two = sj("2020/01/02,b,\r\n2012/03/30,a,\r\n");
    QTest::newRow("empty list, ｷｬﾝｾﾙ") << QByteArray() << false;
    QTest::newRow("empty list, window closed") << QByteArray() << true;
    QTest::newRow("entry selected, ｷｬﾝｾﾙ") << two << false;
    QTest::newRow("entry selected, window closed") << two << true;
}

void tst_Anniversary::cancelOfNewEntry() {
    QFETCH(QByteArray, file);
    QFETCH(bool, closeByWindow);
    if (!file.isEmpty())
        m_folder->write(FileName, file);
    open();
    m_list->gridAnv->setCurrentGridRow(m_list->gridAnv->grid().rowCount() - 1);
    const QList<QByteArray> dates = column(0);
    const QList<QByteArray> texts = column(1);
    TAnniversaryEditForm* editor = m_list->editForm();
    QString caption;
    int rowsWhileEditing = 0;
    whenModal(editor, [&] {
        caption = editor->windowTitle();
        rowsWhileEditing = m_list->gridAnv->grid().rowCount();
        editor->editTitle->setText(QStringLiteral("捨てる"));
        if (closeByWindow)
            editor->close();
        else
            editor->btnCancelClick();
    });
    m_list->btnAddNewClick();
    QCOMPARE(caption, QStringLiteral("新規作成中です..."));
    QCOMPARE(rowsWhileEditing, file.isEmpty() ? 2 : 4);
    QCOMPARE(column(0), dates);
    QCOMPARE(column(1), texts);
    QVERIFY(!editor->isVisible());
}

void tst_Anniversary::emptiedListIsSaved_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("fileAfter");
    QTest::newRow("entries deleted") << sj("2020/01/02,b,\r\n2012/03/30,a,\r\n") << true;
    QTest::newRow("no file, nothing to save") << QByteArray() << false;
}

void tst_Anniversary::emptiedListIsSaved() {
    QFETCH(QByteArray, file);
    QFETCH(bool, fileAfter);
    if (!file.isEmpty())
        m_folder->write(FileName, file);
    open();
    m_list->btnDeleteClick();
    m_list->btnDeleteClick();
    QCOMPARE(m_list->gridAnv->grid().rowCount(), 2);
    QCOMPARE(column(0), QList<QByteArray>{QByteArray()});
    m_list->btnOkClick();
    QCOMPARE(m_list->result(), int(TAnniversaryForm::Ok));
    QCOMPARE(m_folder->exists(FileName), fileAfter);
    QCOMPARE(m_folder->read(FileName), QByteArray());
    open();
    QCOMPARE(column(0), QList<QByteArray>{QByteArray()});
}

void tst_Anniversary::cancelWritesNothing() {
    const QByteArray old = sj("2020/01/02,b,\r\n");
    m_folder->write(FileName, old);
    open();
    m_list->btnDeleteClick();
    add(QDate(2000, 2, 2), QStringLiteral("x"));
    m_list->btnCancelClick();
    QCOMPARE(m_list->result(), int(TAnniversaryForm::Cancel));
    QCOMPARE(m_folder->read(FileName), old);
    open();
    QTest::keyClick(m_list.get(), Qt::Key_Escape);
    QVERIFY(!m_list->isVisible());
    QCOMPARE(m_list->result(), int(TAnniversaryForm::Cancel));
}

void tst_Anniversary::unreadableDateKeepsEditorClosed() {
    m_folder->write(FileName, sj("2012/13/45,変,\r\n"));
    open();
    QString message;
    try {
        m_list->gridAnvDblClick();
    } catch (const KalendoError& e) {
        message = e.message();
    }
    QCOMPARE(message, QStringLiteral("'2012/13/45' は日付ではありません"));
    QVERIFY(!m_list->editForm()->isVisible());
    QCOMPARE(column(1), QList<QByteArray>{sj("変")});
}

void tst_Anniversary::editedWithoutYear_data() {
    QTest::addColumn<QByteArray>("line"); // none: a new entry, today 2025/03/07
    QTest::addColumn<QString>("shown");   // the date as the editor opens
    QTest::addColumn<bool>("ticked");     // 年なし as the editor opens
    QTest::addColumn<int>("clicks");      // on 年なし
    QTest::addColumn<QString>("typed");   // into the date, from its first section
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("renamed") << sj("----/05/10,父,") << "05/10" << true << 0 << QString()
                             << sj("----/05/10,父の誕生日,\r\n");
    QTest::newRow("renamed, the date kept as written")
        << sj("----/5/10,父,") << "05/10" << true << 0 << QString()
        << sj("----/5/10,父の誕生日,\r\n");
    QTest::newRow("another day") << sj("----/05/10,父,") << "05/10" << true << 0 << "0511"
                                 << sj("----/05/11,父の誕生日,\r\n");
    QTest::newRow("a year given") << sj("----/05/10,父,") << "05/10" << true << 1 << "19600510"
                                  << sj("1960/05/10,父の誕生日,\r\n");
    QTest::newRow("this year given") << sj("----/05/10,父,") << "05/10" << true << 1 << QString()
                                     << sj("2025/05/10,父の誕生日,\r\n");
    QTest::newRow("the year dropped") << sj("1990/05/10,父,") << "1990/05/10" << false << 1
                                      << QString() << sj("----/05/10,父の誕生日,\r\n");
    QTest::newRow("the year dropped and given back")
        << sj("1990/05/10,父,") << "1990/05/10" << false << 2 << QString()
        << sj("1990/05/10,父の誕生日,\r\n");
    QTest::newRow("29 February in a leap year") << sj("----/02/29,祖母,") << "02/29" << true << 0
                                                << QString() << sj("----/02/29,父の誕生日,\r\n");
    // Held in this common year, the date control would refuse the 29th of February.
    QTest::newRow("29 February, new, in a common year")
        << QByteArray() << "2025/03/07" << false << 1 << "0229" << sj("----/02/29,父の誕生日,\r\n");
    QTest::newRow("29 February given a year in a common year: the nearest leap year")
        << sj("----/02/29,祖母,") << "02/29" << true << 1 << QString()
        << sj("2024/02/29,父の誕生日,\r\n");
}

void tst_Anniversary::editedWithoutYear() {
    QFETCH(QByteArray, line);
    QFETCH(QString, shown);
    QFETCH(bool, ticked);
    QFETCH(int, clicks);
    QFETCH(QString, typed);
    QFETCH(QByteArray, saved);
    if (!line.isEmpty())
        m_folder->write(FileName, line + "\r\n");
    open();
    TAnniversaryEditForm* editor = m_list->editForm();
    QString was;
    bool wasTicked = false;
    bool yearInCalendar = false;
    whenModal(editor, [&] {
        QDateEdit* date = editor->dtpAnniversary;
        was = date->text();
        wasTicked = editor->chkNoYear->isChecked();
        for (int i = 0; i < clicks; ++i)
            editor->chkNoYear->click();
        if (!typed.isEmpty()) {
            date->setFocus();
            date->setSelectedSection(date->sectionAt(0));
            QTest::keyClicks(date, typed);
        }
        // The drop-down calendar shows a year only where the date has one.
        const auto* year =
            date->calendarWidget()->findChild<QWidget*>(QStringLiteral("qt_calendar_yearbutton"));
        yearInCalendar = year && !year->isHidden();
        editor->editTitle->setText(QStringLiteral("父の誕生日"));
        editor->btnOkClick();
    });
    m_list->gridAnvDblClick();
    QCOMPARE(yearInCalendar, saved.at(0) != '-');
    QCOMPARE(was, shown);
    QCOMPARE(wasTicked, ticked);
    m_list->btnOkClick();
    QCOMPARE(m_folder->read(FileName), saved);
}

void tst_Anniversary::listOrderAndText_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("shown"); // the date column, as shown and as read out
    QTest::addColumn<QString>("typed");     // into the list: finds by what the dates show
    QTest::addColumn<int>("found");         // the row it selects
    QTest::addColumn<QByteArray>("saved");  // after OK
    QTest::newRow("dated newest first, then those without a year from January")
        << sj("----/12/24,友人,\r\n2001/05/05,子供,\r\n----/01/15,母,\r\n"
              "2012/03/30,結婚,\r\n----/5/10,父,\r\n")
        << QStringList{"2012/03/30|2012/03/30", "2001/05/05|2001/05/05", "01/15|01/15 年なし",
                       "5/10|5/10 年なし", "12/24|12/24 年なし"}
        << "12" << 5
        << sj("2012/03/30,結婚,\r\n2001/05/05,子供,\r\n----/01/15,母,\r\n"
              "----/5/10,父,\r\n----/12/24,友人,\r\n");
    QTest::newRow("the same date keeps its order")
        << sj("2020/01/02,a,\r\n2020/01/02,b,\r\n----/03/03,c,\r\n----/3/3,d,\r\n")
        << QStringList{"2020/01/02|2020/01/02", "2020/01/02|2020/01/02", "03/03|03/03 年なし",
                       "3/3|3/3 年なし"}
        << "3" << 4 << sj("2020/01/02,a,\r\n2020/01/02,b,\r\n----/03/03,c,\r\n----/3/3,d,\r\n");
    QTest::newRow("no date to read without a year: shown as stored, after the readable ones")
        << sj("----/13/45,x,\r\n----/02/29,y,\r\n")
        << QStringList{"02/29|02/29 年なし", "----/13/45|----/13/45"} << "-" << 2
        << sj("----/02/29,y,\r\n----/13/45,x,\r\n");
}

void tst_Anniversary::listOrderAndText() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, shown);
    QFETCH(QString, typed);
    QFETCH(int, found);
    QFETCH(QByteArray, saved);
    m_folder->write(FileName, file);
    open();
    ListGrid* grid = m_list->gridAnv;
    QAccessibleTableInterface* table =
        QAccessible::queryAccessibleInterface(grid)->tableInterface();
    QStringList dates;
    for (int r = 0; r < table->rowCount(); ++r)
        dates << grid->model()->index(r, 0).data().toString() + QLatin1Char('|') +
                     table->cellAt(r, 0)->text(QAccessible::Name);
    QCOMPARE(dates, shown);
    QTest::keyClicks(grid, typed);
    QCOMPARE(grid->grid().currentRow(), found);
    m_list->btnOkClick();
    QCOMPARE(m_folder->read(FileName), saved);
}

void tst_Anniversary::emptyTextIsRefused() {
    m_folder->write(FileName, sj("2012/03/30,結婚記念日,\r\n"));
    open();
    TAnniversaryEditForm* editor = m_list->editForm();
    QString warning;
    bool stayedOpen = false;
    QDate shown;
    whenModal(editor, [&] {
        shown = editor->dtpAnniversary->date();
        editor->editTitle->clear();
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                warning = box->windowTitle() + QLatin1Char('|') + box->text();
                box->accept();
            }
        });
        editor->btnOkClick();
        stayedOpen = editor->isVisible();
        editor->editTitle->setText(QStringLiteral(" "));
        editor->btnOkClick();
    });
    m_list->gridAnvDblClick();
    QCOMPARE(shown, QDate(2012, 3, 30));
    QCOMPARE(warning, QStringLiteral("警告メッセージ|タイトルを入力してください！！（空欄不可）"));
    QVERIFY(stayedOpen);
    QCOMPARE(column(1), QList<QByteArray>{" "});
}

void tst_Anniversary::editorKeys() {
    open();
    TAnniversaryEditForm* editor = m_list->editForm();
    QStringList focusPath;
    whenModal(editor, [&] {
        editor->editTitle->setText(QStringLiteral("記念"));
        focusPath << editor->focusWidget()->objectName();
        for (int i = 0; i < 2; ++i) {
            QTest::keyClick(editor->focusWidget(), Qt::Key_Return);
            focusPath << editor->focusWidget()->objectName();
        }
        QTest::keyClick(editor->focusWidget(), Qt::Key_Escape);
        focusPath << editor->focusWidget()->objectName();
        QTest::keyClick(editor->focusWidget(), Qt::Key_Return);
        QTest::keyClick(editor->focusWidget(), Qt::Key_Return); // presses OK
    });
    m_list->btnAddNewClick();
    QCOMPARE(focusPath, (QStringList{QStringLiteral("dtpAnniversary"), QStringLiteral("editTitle"),
                                     QStringLiteral("btnOk"), QStringLiteral("editTitle")}));
    QVERIFY(!editor->isVisible());
    QCOMPARE(column(0), QList<QByteArray>{"2025/03/07"});
    QCOMPARE(column(1), QList<QByteArray>{sj("記念")});
}

void tst_Anniversary::savedEntryReachesYearTables() {
    open();
    add(QDate(2012, 3, 30), QStringLiteral("結婚記念日"));
    m_list->btnOkClick();
    YearTables tables;
    BuildYearTables(tables, 2025, m_folder->path());
    QVERIFY(tables.hasAnnotation(akAnniversary, 2025, 3, 30));
    QVERIFY(!tables.hasAnnotation(akAnniversary, 2025, 3, 29));
}

QTEST_MAIN(tst_Anniversary)
#include "tst_anniversary.moc"
