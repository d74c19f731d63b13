#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/YearTables.h"
#include "rulesets/ComWeeks.h"
#include "rulesets/ComWeeksEdit.h"
#include "widgets/Cp932LineEdit.h"
#include "widgets/ListGrid.h"
#include "widgets/RadioGroup.h"

#include "TestSupport.h"
#include "WhenModal.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

class tst_ComWeeks : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void rulesWrittenInDateOrder();
    void ruleSetChoosesFileAndCaption_data();
    void ruleSetChoosesFileAndCaption();
    void openingRestoresTheRule_data();
    void openingRestoresTheRule();
    void weekdayChangeThroughHiddenColumns();
    void emptiedListIsSaved();
    void commasRefused_data();
    void commasRefused();
    void editorKeys();

private:
    void open(int ruleSet = 1);
    // Runs fn inside the editor opened by 新規 (or on the selected row) and leaves by its OK.
    void edit(bool addNew, std::function<void(TComWeeksEditForm*)> fn);
    QList<QByteArray> column(int c) const;

    std::unique_ptr<TempDataFolder> m_folder;
    std::unique_ptr<TComWeeksForm> m_list;
};

static const QString Holidays = QStringLiteral("holiday.csv");

void tst_ComWeeks::init() {
    m_folder = std::make_unique<TempDataFolder>();
    SetDataFolder(m_folder->path());
    Clock::setFixedNow(QDateTime(QDate(2025, 3, 7), QTime(10, 0)));
}

void tst_ComWeeks::cleanup() {
    m_list.reset();
    m_folder.reset();
}

void tst_ComWeeks::open(int ruleSet) {
    if (!m_list)
        m_list = std::make_unique<TComWeeksForm>();
    m_list->RuleSet = ruleSet;
    m_list->show();
}

void tst_ComWeeks::edit(bool addNew, std::function<void(TComWeeksEditForm*)> fn) {
    TComWeeksEditForm* editor = m_list->editForm();
    whenModal(editor, [editor, fn] {
        fn(editor);
        if (editor->isVisible())
            editor->btnOkClick();
    });
    if (addNew)
        m_list->btnAddNewClick();
    else
        m_list->gridComDblClick();
}

QList<QByteArray> tst_ComWeeks::column(int c) const {
    const StringGrid& grid = m_list->gridCom->grid();
    QList<QByteArray> cells;
    for (int r = 1; r < grid.rowCount(); ++r)
        cells.append(grid.cell(c, r));
    return cells;
}

void tst_ComWeeks::rulesWrittenInDateOrder() {
    open();
    edit(true, [](TComWeeksEditForm* e) {
        e->dtpHoliday->setDate(QDate(2025, 5, 3));
        e->editTitle->setText(QStringLiteral("憲法記念日"));
    });
    edit(true, [](TComWeeksEditForm* e) {
        e->OptionKinds->button(2)->click();
        e->OptionWeeks->button(1)->click();
        e->editTitle->setText(QStringLiteral("成人の日"));
    });
    edit(true, [](TComWeeksEditForm* e) {
        // Any year: only month and day are kept.
        e->dtpHoliday->setDate(QDate(2031, 1, 1));
        e->editTitle->setText(QStringLiteral("元日"));
    });
    m_list->btnOkClick();
    QCOMPARE(m_list->result(), int(TComWeeksForm::Ok));
    QCOMPARE(m_folder->read(Holidays),
             sj("01/--,成人の日,2,1\r\n01/01,元日,0,0\r\n05/03,憲法記念日,0,0\r\n"));
    // What the month view rebuilds from: the second Monday of January 2025 is the 13th.
    YearTables tables;
    BuildYearTables(tables, 2025, m_folder->path());
    QVERIFY(tables.hasAnnotation(akHoliday, 2025, 1, 13));
    QVERIFY(tables.hasAnnotation(akHoliday, 2025, 5, 3));
    QVERIFY(!tables.hasAnnotation(akHoliday, 2025, 1, 6));
}

void tst_ComWeeks::ruleSetChoosesFileAndCaption_data() {
    QTest::addColumn<int>("ruleSet");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("caption");
    QTest::newRow("events") << 0 << QStringLiteral("event.csv") << QStringLiteral("イベント設定");
    QTest::newRow("holidays") << 1 << QStringLiteral("holiday.csv") << QStringLiteral("休日設定");
}

void tst_ComWeeks::ruleSetChoosesFileAndCaption() {
    QFETCH(int, ruleSet);
    QFETCH(QString, file);
    QFETCH(QString, caption);
    m_folder->write(QStringLiteral("event.csv"), sj("10/10,祭,0,0\r\n"));
    m_folder->write(QStringLiteral("holiday.csv"), sj("01/01,元日,0,0\r\n"));
    const QByteArray before = m_folder->read(file);
    open(ruleSet);
    QCOMPARE(m_list->windowTitle(), caption);
    edit(true, [](TComWeeksEditForm* e) {
        e->dtpHoliday->setDate(QDate(2025, 12, 24));
        e->editTitle->setText(QStringLiteral("前夜"));
    });
    m_list->btnOkClick();
    QCOMPARE(m_folder->read(file), before + sj("12/24,前夜,0,0\r\n"));
}

void tst_ComWeeks::openingRestoresTheRule_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("weekday");
    QTest::addColumn<int>("month");
    QTest::addColumn<QDate>("date");
    QTest::newRow("weekday rule") << sj("05/--,母の日,2,0") << 2 << 0 << 4 << QDate(2025, 3, 7);
    QTest::newRow("fifth Saturday") << sj("11/--,x,5,6") << 5 << 6 << 10 << QDate(2025, 3, 7);
    QTest::newRow("fixed date") << sj("03/20,春分,0,0") << 0 << 0 << 2 << QDate(2025, 3, 20);
    // 2025 is common: the rule opens in the nearest leap year instead of failing.
    QTest::newRow("29 February") << sj("02/29,閏日,0,0") << 0 << 0 << 1 << QDate(2024, 2, 29);
}

void tst_ComWeeks::openingRestoresTheRule() {
    QFETCH(QByteArray, line);
    QFETCH(int, kind);
    QFETCH(int, weekday);
    QFETCH(int, month);
    QFETCH(QDate, date);
    // A needless quote: an unchanged rule must come back exactly as it was stored.
    const QByteArray file = line + "\r\n\"12/31\",end,0,0\r\n";
    m_folder->write(Holidays, file);
    open();
    QCOMPARE(column(2).size(), 2);
    QString caption;
    bool weekdaysEnabled = false, monthShown = false, dateShown = false;
    int seenKind = -1, seenWeekday = -1, seenMonth = -1;
    QDate seenDate;
    edit(false, [&](TComWeeksEditForm* e) {
        caption = e->windowTitle();
        seenKind = e->OptionKinds->itemIndex();
        seenWeekday = e->OptionWeeks->itemIndex();
        seenMonth = e->cmbMonth->currentIndex();
        seenDate = e->dtpHoliday->date();
        weekdaysEnabled = e->OptionWeeks->isEnabled();
        monthShown = e->cmbMonth->isVisible();
        dateShown = e->dtpHoliday->isVisible();
    });
    QCOMPARE(caption, QStringLiteral("修正中です..."));
    QCOMPARE(seenKind, kind);
    QCOMPARE(seenWeekday, weekday);
    QCOMPARE(seenMonth, month);
    QCOMPARE(seenDate, date);
    QCOMPARE(weekdaysEnabled, kind != 0);
    QCOMPARE(monthShown, kind != 0);
    QCOMPARE(dateShown, kind == 0);
    m_list->btnOkClick();
    QCOMPARE(m_folder->read(Holidays), file);
}

void tst_ComWeeks::weekdayChangeThroughHiddenColumns() {
    m_folder->write(Holidays, sj("05/--,母の日,2,0\r\n"));
    open();
    // Shown as month text and title only; the week number and weekday stay in hidden columns.
    QVERIFY(m_list->gridCom->isColumnHidden(2));
    QVERIFY(m_list->gridCom->isColumnHidden(3));
    QVERIFY(!m_list->gridCom->isColumnHidden(1));
    edit(false, [](TComWeeksEditForm* e) { e->OptionWeeks->button(1)->click(); });
    QCOMPARE(m_list->gridCom->grid().row(1), (Row{"05/--", sj("母の日"), "2", "1"}));
    int weekdayAfterKindChange = -1;
    edit(false, [&](TComWeeksEditForm* e) {
        QCOMPARE(e->OptionWeeks->itemIndex(), 1);
        e->OptionWeeks->button(4)->click();
        e->OptionKinds->button(3)->click();
        weekdayAfterKindChange = e->OptionWeeks->itemIndex();
        e->OptionWeeks->button(6)->click();
        e->OptionKinds->button(3)->click(); // the same week number changes nothing
    });
    QCOMPARE(weekdayAfterKindChange, 0);
    QCOMPARE(m_list->gridCom->grid().row(1), (Row{"05/--", sj("母の日"), "3", "6"}));
    edit(false, [](TComWeeksEditForm* e) {
        e->OptionKinds->button(0)->click();
        QCOMPARE(e->dtpHoliday->date(), QDate(2025, 3, 7));
        e->dtpHoliday->setDate(QDate(2025, 5, 11));
    });
    m_list->btnOkClick();
    QCOMPARE(m_folder->read(Holidays), sj("05/11,母の日,0,0\r\n"));
}

void tst_ComWeeks::emptiedListIsSaved() {
    m_folder->write(Holidays, sj("01/01,元日,0,0\r\n02/11,建国記念の日,0,0\r\n"));
    open();
    m_list->btnDeleteClick();
    m_list->btnDeleteClick();
    QCOMPARE(column(0), QList<QByteArray>{QByteArray()});
    m_list->btnOkClick();
    QCOMPARE(m_list->result(), int(TComWeeksForm::Ok));
    QVERIFY(m_folder->exists(Holidays));
    QCOMPARE(m_folder->read(Holidays), QByteArray());
}

void tst_ComWeeks::commasRefused_data() {
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("typed") << false << QStringLiteral(",") << QString();
    QTest::newRow("pasted") << true << QStringLiteral("a,b,c") << QStringLiteral("abc");
    QTest::newRow("full-width kept") << true << QStringLiteral("a，b") << QStringLiteral("a，b");
    QTest::newRow("cut at 20 bytes") << true << QStringLiteral("一二三四五六七八九十壱")
                                     << QStringLiteral("一二三四五六七八九十");
}

void tst_ComWeeks::commasRefused() {
    QFETCH(bool, paste);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    TComWeeksForm list;
    Cp932LineEdit* title = list.editForm()->editTitle;
    if (paste)
        title->insertPasted(input);
    else
        QTest::keyClicks(title, input);
    QCOMPARE(title->text(), expected);
}

void tst_ComWeeks::editorKeys() {
    open();
    QStringList path;
    edit(true, [&](TComWeeksEditForm* e) {
        const auto step = [&](Qt::Key key) {
            QTest::keyClick(e->focusWidget(), key);
            path << e->focusWidget()->objectName() + QLatin1Char('/') +
                        e->focusWidget()->parentWidget()->objectName();
        };
        auto* first = qobject_cast<QRadioButton*>(e->focusWidget());
        path << (first ? first->text() : QString());
        // Fixed date: the disabled weekdays and the hidden month list are skipped.
        step(Qt::Key_Return);
        step(Qt::Key_Escape);
        e->OptionKinds->button(1)->click();
        e->OptionKinds->button(1)->setFocus();
        step(Qt::Key_Return);
        step(Qt::Key_Return);
        e->editTitle->setText(QStringLiteral("t"));
        step(Qt::Key_Return);
        step(Qt::Key_Return);
        QTest::keyClick(e->focusWidget(), Qt::Key_Return); // presses OK
    });
    QCOMPARE(path, (QStringList{
                       QStringLiteral("設定日"),
                       QStringLiteral("dtpHoliday/ComWeeksEditForm"),
                       QStringLiteral("/OptionKinds"),
                       QStringLiteral("/OptionWeeks"),
                       QStringLiteral("cmbMonth/ComWeeksEditForm"),
                       QStringLiteral("editTitle/ComWeeksEditForm"),
                       QStringLiteral("btnOk/ComWeeksEditForm"),
                   }));
    QVERIFY(!m_list->editForm()->isVisible());
    QCOMPARE(m_list->gridCom->grid().row(1), (Row{"01/--", "t", "1", "0"}));
}

QTEST_MAIN(tst_ComWeeks)
#include "tst_comweeks.moc"
