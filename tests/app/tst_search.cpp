#include "TestSupport.h"
#include "WhenModal.h"
#include "anniversary/Anniversary.h"
#include "app/Forms.h"
#include "app/KalendoApplication.h"
#include "app/Main.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rulesets/ComWeeks.h"
#include "schedule/MainEdit.h"
#include "searchwindow/SearchForm.h"
#include "widgets/ListGrid.h"

#include <QAccessible>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

// From the main window's 検索 to the entry shown: typed into the search window, the match
// chosen with Enter, and the window that shows it open on it.
class tst_Search : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opensTheMatch_data();
    void opensTheMatch();

private:
    std::unique_ptr<TempDataFolder> m_data;
    QStringList m_errors;
};

void tst_Search::init() {
    m_data = std::make_unique<TempDataFolder>();
    SetDataFolder(m_data->path());
    m_errors.clear();
    KalendoApplication::SetErrorReporter([this](const QString& message) { m_errors << message; });
    Clock::setFixedNow(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
    // The day the match is on, among others; a year file in a folder's place, named once.
    m_data->write(
        QStringLiteral("2025.csv"),
        sj("20250310,1,09:00,09:30,朝会,,\r\n20250310,2,10:00,11:00,歯医者（ﾊｲｼｬ）,駅前,\r\n"
           "20250310,3,12:00,13:00,昼食,,\r\n20250311,1,,,会議,,\r\n"));
    QDir().mkpath(m_data->file(QStringLiteral("2019.csv")));
    m_data->write(AnniversaryFileName,
                  sj("2001/04/01,入社,\r\n1990/05/20,結婚記念日,\r\n2010/08/08,開店,\r\n"));
    m_data->write(HolidayFileName,
                  sj("01/01,元日,0,0\r\n11/03,文化の日,0,0\r\n05/05,こどもの日,0,0\r\n"));
    m_data->write(EventFileName, sj("07/07,七夕,0,0\r\n10/--,運動会,2,6\r\n"));
    CreateForms();
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
}

void tst_Search::cleanup() {
    DestroyForms();
    KalendoApplication::SetErrorReporter({});
    Clock::setFixedNow(QDateTime());
    SetDataFolder(QString());
    m_data.reset();
}

void tst_Search::opensTheMatch_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("window"); // the caption of the window that opens
    QTest::addColumn<QString>("title");  // the title of its current row
    QTest::addColumn<QString>("month");  // the month the main window shows, "YYYY/M"
    QTest::newRow("schedule entry, typed in hiragana, stored in half-width katakana")
        << "はいしゃ"
        << "2025/03/10"
        << "歯医者（ﾊｲｼｬ）"
        << "2025/3";
    QTest::newRow("anniversary") << "結婚"
                                 << "記念日設定"
                                 << "結婚記念日"
                                 << "2026/12";
    QTest::newRow("holiday rule") << "文化"
                                  << "休日設定"
                                  << "文化の日"
                                  << "2026/12";
    QTest::newRow("event rule") << "運動"
                                << "イベント設定"
                                << "運動会"
                                << "2026/12";
}

void tst_Search::opensTheMatch() {
    QFETCH(QString, typed);
    QFETCH(QString, window);
    QFETCH(QString, title);
    QFETCH(QString, month);

    QTest::keyClick(MainForm->gridCal, Qt::Key_F, Qt::ControlModifier);
    TSearchForm* form = MainForm->SearchForm();
    QVERIFY(form);
    QVERIFY(QTest::qWaitForWindowActive(form));
    QTRY_COMPARE(QApplication::focusWidget(), form->editSearch);
    QCOMPARE(form->editSearch->accessibleName(), QStringLiteral("検索する言葉"));
    QCOMPARE(form->listResults->accessibleName(), QStringLiteral("検索結果"));

    QSignalSpy shown(form, &TSearchForm::ResultsShown);
    // As an input method commits what was typed.
    QInputMethodEvent commit;
    commit.setCommitString(typed);
    QApplication::sendEvent(form->editSearch, &commit);
    QVERIFY(shown.wait());
    QCOMPARE(form->listResults->topLevelItemCount(), 1);
    // The count is what a screen reader hears of the label.
    QAccessibleInterface* count = QAccessible::queryAccessibleInterface(form->lblCount);
    QVERIFY(count);
    QCOMPARE(count->text(QAccessible::Name), QStringLiteral("1件見つかりました"));
    QVERIFY(form->lblStatus->text().contains(QStringLiteral("2019.csv")));
    QCOMPARE(form->lblStatus->text().count(QStringLiteral("2019.csv")), 1);

    QDialog* opened = window.contains(QLatin1Char('/')) ? static_cast<QDialog*>(MainEditForm)
                      : window == QStringLiteral("記念日設定")
                          ? static_cast<QDialog*>(AnniversaryForm)
                          : static_cast<QDialog*>(ComWeeksForm);
    const ListGrid* grid = opened == MainEditForm      ? MainEditForm->gridEdit
                           : opened == AnniversaryForm ? AnniversaryForm->list()
                                                       : ComWeeksForm->list();
    const int titleColumn = opened == MainEditForm ? 4 : 1;
    bool seen = false;
    whenModal(opened, [&] {
        seen = true;
        const QString caption = opened->windowTitle();
        const QByteArray current = grid->grid().cell(titleColumn, grid->grid().currentRow());
        opened->reject();
        QCOMPARE(caption, window);
        QCOMPARE(Codec::toUnicode(current), title);
    });
    QTest::keyClick(form->listResults, Qt::Key_Return);
    QTRY_VERIFY(seen);
    QTRY_VERIFY(!opened->isVisible());
    QCOMPARE(QStringLiteral("%1/%2").arg(MainForm->ShownYear()).arg(MainForm->ShownMonth()), month);
    QCOMPARE(m_errors, QStringList());
}

QTEST_MAIN(tst_Search)
#include "tst_search.moc"
