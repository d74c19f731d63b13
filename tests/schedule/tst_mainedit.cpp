#include "data/KalendoError.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/EntryIdentity.h"
#include "schedule/MainEdit.h"
#include "schedule/MainInput.h"

#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

class tst_MainEdit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void addEntryThenReopenAndSave();
    void closingWithoutOkWritesNothing_data();
    void closingWithoutOkWritesNothing();
    void twelveEntriesOpenInNumberOrder();
    void editorOpensByAllDayRule_data();
    void editorOpensByAllDayRule();
    void editorKeysAndAllDayBox();
    void emptyTitleIsRefused();
    void newEntryInsertsAboveAndCancelRemovesIt();
    void editorOkSortsByStartTime();
    void failedSaveKeepsWindowAndFile_data();
    void failedSaveKeepsWindowAndFile();
    void columnWidthsResetAtEachShowing();
    void buttonImagesOnceShown();

private:
    void open(const QString& caption = QStringLiteral("2025/01/05"));
    QByteArray file() const { return m_folder->read(QStringLiteral("2025.csv")); }
    QList<QByteArray> column(int c) const;

    std::unique_ptr<TempDataFolder> m_folder;
    std::unique_ptr<TMainEditForm> m_list;
};

static void typeText(QWidget* w, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
}

// Runs fn once the next modal window (other than the one active now) is showing.
static void onNextModal(std::function<void(QWidget*)> fn) {
    QWidget* before = QApplication::activeModalWidget();
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, before, fn] {
        QWidget* modal = QApplication::activeModalWidget();
        // Active too: the window system activates a new window later than it shows it, and
        // the focus checks need the activation done.
        if (modal && modal != before && modal->isVisible() &&
            QApplication::activeWindow() == modal) {
            timer->stop();
            timer->deleteLater();
            fn(modal);
            if (modal->isVisible()) // a failed check returned early: do not hang the test
                modal->close();
        }
    });
    timer->start();
}

void tst_MainEdit::initTestCase() {
    Clock::setFixedNow(QDateTime(QDate(2025, 1, 5), QTime(9, 0)));
}

void tst_MainEdit::init() {
    m_folder = std::make_unique<TempDataFolder>();
    QVERIFY(m_folder->isValid());
    SetDataFolder(m_folder->path());
    m_list = std::make_unique<TMainEditForm>();
}

void tst_MainEdit::cleanup() {
    m_list.reset();
    SetDataFolder(QString());
}

void tst_MainEdit::open(const QString& caption) {
    m_list->setWindowTitle(caption);
    m_list->LoadDaySchedule();
    m_list->show();
    QVERIFY(QTest::qWaitForWindowActive(m_list.get()));
}

QList<QByteArray> tst_MainEdit::column(int c) const {
    QList<QByteArray> out;
    const StringGrid& g = m_list->gridEdit->grid();
    for (int r = g.fixedRows(); r < g.rowCount(); ++r)
        out.append(g.cell(c, r));
    return out;
}

void tst_MainEdit::addEntryThenReopenAndSave() {
    const QByteArray otherDay = sj("20250101,1,,,元日の予定,,\r\n");
    m_folder->write(QStringLiteral("2025.csv"), otherDay);
    open();
    onNextModal([](QWidget* w) {
        auto* editor = qobject_cast<TMainInputForm*>(w);
        QVERIFY(editor);
        QCOMPARE(editor->windowTitle(), QStringLiteral("新規作成中です..."));
        typeText(editor->editSchedule, QStringLiteral("会議"));
        typeText(editor->editPlace, QStringLiteral("本社"));
        QTest::mouseClick(editor->btnOk, Qt::LeftButton);
    });
    QTest::mouseClick(m_list->btnAddNew, Qt::LeftButton);
    QTest::mouseClick(m_list->btnOk, Qt::LeftButton);
    QCOMPARE(m_list->result(), 1);
    QCOMPARE(file(), otherDay + sj("20250105,1,,,会議,本社,\r\n"));

    open();
    QCOMPARE(column(ScheduleColumn::Title), QList<QByteArray>{sj("会議")});
    QTest::mouseClick(m_list->btnOk, Qt::LeftButton);
    QCOMPARE(file(), otherDay + sj("20250105,1,,,会議,本社,\r\n"));
}

void tst_MainEdit::closingWithoutOkWritesNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("ｷｬﾝｾﾙ") << "button";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close box") << "close";
}

void tst_MainEdit::closingWithoutOkWritesNothing() {
    QFETCH(QString, how);
    const QByteArray before = sj("20250105,1,10:00,,会議,,\r\n");
    m_folder->write(QStringLiteral("2025.csv"), before);
    open();
    QTest::mouseClick(m_list->btnDelete, Qt::LeftButton);
    QCOMPARE(column(ScheduleColumn::Title), QList<QByteArray>{""});
    if (how == QLatin1String("button"))
        QTest::mouseClick(m_list->btnCancel, Qt::LeftButton);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(m_list->gridEdit, Qt::Key_Escape);
    else
        m_list->close();
    QVERIFY(!m_list->isVisible());
    QCOMPARE(m_list->result(), 2);
    QCOMPARE(file(), before);
    open();
    QCOMPARE(column(ScheduleColumn::Title), QList<QByteArray>{sj("会議")});
}

void tst_MainEdit::twelveEntriesOpenInNumberOrder() {
    // Written out of order, as a hand edit may leave them; numbers sort as numbers.
    QByteArray lines;
    for (int n : {12, 2, 10, 1, 11, 3, 4, 5, 6, 7, 8, 9})
        lines += "20250105," + QByteArray::number(n) + ",,,t" + QByteArray::number(n) + ",,\r\n";
    m_folder->write(QStringLiteral("2025.csv"), lines);
    open();
    QCOMPARE(column(ScheduleColumn::Number),
             (QList<QByteArray>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
    QCOMPARE(column(ScheduleColumn::Title).at(9), QByteArray("t10"));
    QCOMPARE(m_list->gridEdit->grid().currentRow(), 1);
}

void tst_MainEdit::editorOpensByAllDayRule_data() {
    QTest::addColumn<QByteArray>("line"); // empty: a day without entries
    QTest::addColumn<bool>("allDay");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QByteArray>("saved"); // the day's line after the editor's and list's OK
    QTest::addColumn<bool>("inexact"); // its text marked as not exactly the server's: 「※」 shown
    // The year's file when the window was made ready for the day ahead of its opening; another
    // program then wrote `line`. Empty: not made ready.
    QTest::addColumn<QByteArray>("prepared");
    QTest::newRow("no start time, an end time")
        << QByteArray("20250105,1,,11:00,a,,") << true << "  :  "
        << "  :  " << QByteArray("20250105,1,,,a,,") << false << QByteArray();
    QTest::newRow("start at midnight")
        << QByteArray("20250105,1,00:00,,a,p,m") << false << "00:00"
        << "  :  " << QByteArray("20250105,1,00:00,,a,p,m") << false << QByteArray();
    QTest::newRow("blank cells from a saved file, nothing changed")
        << QByteArray("20250105,1,\" \",\" \",a,\" \",\" \"") << true << "  :  "
        << "  :  " << QByteArray("20250105,1,\" \",\" \",a,\" \",\" \"") << false << QByteArray();
    QTest::newRow("one-digit hour")
        << QByteArray("20250105,1,9:00,9:30,a,,") << false << "09:00"
        << "09:30" << QByteArray("20250105,1,9:00,9:30,a,,") << false << QByteArray();
    QTest::newRow("text not exactly the server's, kept")
        << QByteArray("20250105,1,09:00,10:00,a,p,m") << false << "09:00"
        << "10:00" << QByteArray("20250105,1,09:00,10:00,a,p,m") << true << QByteArray();
    QTest::newRow("made ready on the file before another program changed it")
        << QByteArray("20250105,1,09:00,10:00,a,p,m") << false << "09:00"
        << "10:00" << QByteArray("20250105,1,09:00,10:00,a,p,m") << true
        << QByteArray("20250104,1,,,x,,\r\n20250105,1,08:00,,old,q,\r\n20250105,2,,,b,,\r\n");
    // A memo of the size whose cell shares the bytes read, written by hand with blanks.
    const QByteArray memo = QByteArray("m ").repeated(SharedCellBytes) + 'm';
    QTest::newRow("large memo, nothing changed")
        << "20250105,1,09:00,10:00,a,p," + memo << false << "09:00"
        << "10:00"
        << "20250105,1,09:00,10:00,a,p," + memo << false << QByteArray();
}

void tst_MainEdit::editorOpensByAllDayRule() {
    QFETCH(QByteArray, line);
    QFETCH(bool, allDay);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QByteArray, saved);
    QFETCH(bool, inexact);
    QFETCH(QByteArray, prepared);
    if (!prepared.isEmpty()) {
        m_folder->write(QStringLiteral("2025.csv"), prepared);
        m_list->Prepare(QStringLiteral("2025/01/05"));
        QVERIFY(!m_list->isVisible());
    }
    m_folder->write(QStringLiteral("2025.csv"), line + "\r\n");
    if (inexact) {
        YearIdentities ids = YearIdentities::read(m_folder->path(), 2025);
        ids.identity(0).properties.insert(InexactTextProperty, InexactTextMark("a", "p", "m"));
        QVERIFY(WriteYearIdentities(m_folder->path(), 2025, ids).isEmpty());
    }
    open();
    // The title cell as the list paints it, against the same cell with and without 「※」.
    const auto paint = [&](const ListCell& cell, bool handler) {
        QImage image(200, 24, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setFont(m_list->gridEdit->font());
        if (handler)
            m_list->gridEdit->drawCell(painter, cell);
        else
            DrawListCell(painter, cell);
        return image;
    };
    ListCell title = m_list->gridEdit->cellAt(ScheduleColumn::Title, 1);
    title.rect = QRect(0, 0, 200, 24);
    ListCell marked = title;
    marked.text.prepend(QStringLiteral("※"));
    QCOMPARE(paint(title, true), paint(inexact ? marked : title, false));
    QVERIFY(paint(marked, false) != paint(title, false));
    onNextModal([&](QWidget* w) {
        auto* editor = qobject_cast<TMainInputForm*>(w);
        QCOMPARE(editor->windowTitle(), QStringLiteral("修正中です..."));
        QCOMPARE(m_list->EntryMode, 1);
        QCOMPARE(editor->checkOut->isChecked(), allDay);
        QCOMPARE(editor->MaskEdit1->text(), start);
        QCOMPARE(editor->MaskEdit2->text(), end);
        QCOMPARE(editor->MaskEdit1->isEnabled(), !allDay);
        QCOMPARE(editor->MaskEdit2->isEnabled(), !allDay);
        QCOMPARE(QApplication::focusWidget(), editor->checkOut);
        QTest::mouseClick(editor->btnOk, Qt::LeftButton);
    });
    const QRect cell = m_list->gridEdit->visualRect(m_list->gridEdit->model()->index(0, 4));
    QTest::mouseDClick(m_list->gridEdit->viewport(), Qt::LeftButton, {}, cell.center());
    m_list->btnOkClick();
    QCOMPARE(file(), saved + "\r\n");
    QCOMPARE(InexactTextKeys(m_folder->path(), 2025).size(), inexact ? 1 : 0); // mark kept
}

void tst_MainEdit::editorKeysAndAllDayBox() {
    open();
    onNextModal([](QWidget* w) {
        auto* editor = qobject_cast<TMainInputForm*>(w);
        QVERIFY(!editor->checkOut->isChecked());
        QVERIFY(editor->MaskEdit1->isEnabled());
        // Enter through the empty start time leaves it empty: nothing was typed.
        QTest::keyClick(editor->checkOut, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), editor->MaskEdit1);
        QTest::keyClick(editor->MaskEdit1, Qt::Key_Return);
        QCOMPARE(editor->MaskEdit1->text(), EmptyTimeText);
        QCOMPARE(QApplication::focusWidget(), editor->MaskEdit2);
        QVERIFY(!editor->MaskEdit1->testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(editor->editSchedule->testAttribute(Qt::WA_InputMethodEnabled));
        // Escape in the title goes back to the end time box...
        editor->editSchedule->setFocus();
        QTest::keyClick(editor->editSchedule, Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), editor->MaskEdit2);
        QCOMPARE(editor->MaskEdit2->text(), EmptyTimeText);
        // ...or to "終日" while the boxes are off; ticking and unticking leaves them empty.
        editor->checkOut->click();
        QVERIFY(!editor->MaskEdit1->isEnabled());
        editor->editSchedule->setFocus();
        QTest::keyClick(editor->editSchedule, Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), editor->checkOut);
        editor->checkOut->click();
        QVERIFY(editor->MaskEdit2->isEnabled());
        QCOMPARE(editor->MaskEdit1->text(), EmptyTimeText);
        QCOMPARE(editor->MaskEdit2->text(), EmptyTimeText);
        // A typed time, completed when the box is left for "OK".
        editor->MaskEdit1->setFocus();
        editor->MaskEdit1->home(false);
        QTest::keyClicks(editor->MaskEdit1, QStringLiteral("1"));
        editor->MaskEdit1->setCursorPosition(3);
        QTest::keyClicks(editor->MaskEdit1, QStringLiteral("3"));
        QCOMPARE(editor->MaskEdit1->text(), QStringLiteral("1 :3 "));
        // Enter in the memo moves to "OK" without pressing it.
        typeText(editor->editSchedule, QStringLiteral("x"));
        editor->editMemo->setFocus();
        QCOMPARE(editor->MaskEdit1->text(), QStringLiteral("10:30"));
        QTest::keyClick(editor->editMemo, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), editor->btnOk);
        QVERIFY(editor->isVisible());
        QTest::keyClick(editor->btnOk, Qt::Key_Return);
    });
    QTest::mouseClick(m_list->btnAddNew, Qt::LeftButton);
    QCOMPARE(m_list->gridEdit->grid().row(1), (Row{"20250105", "1", "10:30", "", "x", "", ""}));
}

void tst_MainEdit::emptyTitleIsRefused() {
    open();
    QString caption, text;
    bool stayedOpen = false;
    onNextModal([&](QWidget* w) {
        auto* editor = qobject_cast<TMainInputForm*>(w);
        onNextModal([&](QWidget* box) {
            caption = box->windowTitle();
            text = qobject_cast<QMessageBox*>(box)->text();
            box->close();
        });
        editor->btnOkClick();
        stayedOpen = editor->isVisible() && editor->focusWidget() == editor->editSchedule;
        QTest::mouseClick(editor->btnCancel, Qt::LeftButton);
    });
    QTest::mouseClick(m_list->btnAddNew, Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("警告メッセージ"));
    QCOMPARE(text, QStringLiteral("予定を入力してください！！（空欄不可）"));
    QVERIFY(stayedOpen);
    QCOMPARE(column(ScheduleColumn::Number), QList<QByteArray>{"1"});
    QCOMPARE(column(ScheduleColumn::Title), QList<QByteArray>{""});
}

void tst_MainEdit::newEntryInsertsAboveAndCancelRemovesIt() {
    m_folder->write(QStringLiteral("2025.csv"), "20250105,1,,,a,,\r\n20250105,2,,,b,,\r\n");
    open();
    m_list->gridEdit->setCurrentGridRow(2);
    QList<QByteArray> whileEditing;
    onNextModal([&](QWidget* w) {
        whileEditing = column(ScheduleColumn::Title);
        QTest::mouseClick(qobject_cast<TMainInputForm*>(w)->btnCancel, Qt::LeftButton);
    });
    QTest::mouseClick(m_list->btnAddNew, Qt::LeftButton);
    QCOMPARE(whileEditing, (QList<QByteArray>{"a", "", "b"}));
    QCOMPARE(column(ScheduleColumn::Title), (QList<QByteArray>{"a", "b"}));
    QCOMPARE(column(ScheduleColumn::Number), (QList<QByteArray>{"1", "2"}));

    // Cancel on an existing entry changes nothing.
    onNextModal([](QWidget* w) {
        auto* editor = qobject_cast<TMainInputForm*>(w);
        typeText(editor->editSchedule, QStringLiteral("zzz"));
        editor->btnCancelClick();
    });
    m_list->gridEditDblClick();
    QCOMPARE(column(ScheduleColumn::Title), (QList<QByteArray>{"a", "b"}));
}

void tst_MainEdit::editorOkSortsByStartTime() {
    m_folder->write(QStringLiteral("2025.csv"),
                    "20250105,1,09:00,,a,,\r\n20250105,2,10:00,,b,,\r\n20250105,3,,,c,,\r\n");
    QVERIFY(RecordYearIdentities(m_folder->path(), 2025).isEmpty());
    const EntryIdentity c = YearIdentities::read(m_folder->path(), 2025).identity(2);
    open();
    m_list->gridEdit->setCurrentGridRow(3);
    onNextModal([](QWidget* w) {
        auto* editor = qobject_cast<TMainInputForm*>(w);
        editor->checkOut->click(); // the all-day entry c gets a time
        QTest::keyClick(editor->checkOut, Qt::Key_Return);
        QTest::keyClicks(editor->MaskEdit1, QStringLiteral("0930"));
        typeText(editor->editSchedule, QStringLiteral("2")); // and another title
        QTest::mouseClick(editor->btnOk, Qt::LeftButton);
    });
    m_list->gridEditDblClick();
    QCOMPARE(column(ScheduleColumn::Title), (QList<QByteArray>{"a", "c2", "b"}));
    QCOMPARE(column(ScheduleColumn::Number), (QList<QByteArray>{"1", "2", "3"}));
    // Changed in time and title at once, renumbered: still the same entry for other calendars.
    m_list->btnOkClick();
    const YearIdentities ids = YearIdentities::read(m_folder->path(), 2025);
    QCOMPARE(ids.line(1), QByteArray("20250105,2,09:30,,c2,,"));
    QCOMPARE(ids.identity(1).uid, c.uid);
    QCOMPARE(ids.identity(1).sequence, c.sequence + 1);
}

void tst_MainEdit::failedSaveKeepsWindowAndFile_data() {
    QTest::addColumn<bool>("folderMissing"); // else a folder stands where the file would be
    QTest::newRow("data folder missing") << true;
    QTest::newRow("directory in place of the file") << false;
}

void tst_MainEdit::failedSaveKeepsWindowAndFile() {
    QFETCH(bool, folderMissing);
    const QByteArray before = "20250104,1,,,x,,\r\n20250105,1,,,y,,\r\n";
    m_folder->write(QStringLiteral("2025.csv"), before);
    open();
    QTest::mouseClick(m_list->btnDelete, Qt::LeftButton);
    const QString blocker = m_folder->file(QStringLiteral("2025.csv.d"));
    if (folderMissing) {
        SetDataFolder(m_folder->path() + QStringLiteral("missing/"));
    } else {
        QVERIFY(QFile::rename(m_folder->file(QStringLiteral("2025.csv")), blocker));
        QVERIFY(QDir().mkdir(m_folder->file(QStringLiteral("2025.csv"))));
    }
    try {
        m_list->btnOkClick();
        QFAIL("the save should have failed");
    } catch (const KalendoError& e) {
        if (folderMissing)
            QCOMPARE(e.message(), QStringLiteral("不正なファイル名です\n") + m_folder->path() +
                                      QStringLiteral("missing/2025.csv"));
    }
    QVERIFY(m_list->isVisible());
    QCOMPARE(m_list->result(), 0);
    QCOMPARE(column(ScheduleColumn::Title), QList<QByteArray>{""});
    // The cause removed, the same OK succeeds.
    if (folderMissing) {
        QCOMPARE(file(), before);
        SetDataFolder(m_folder->path());
    } else {
        QVERIFY(QDir().rmdir(m_folder->file(QStringLiteral("2025.csv"))));
        QVERIFY(QFile::rename(blocker, m_folder->file(QStringLiteral("2025.csv"))));
        QCOMPARE(file(), before);
    }
    QTest::mouseClick(m_list->btnOk, Qt::LeftButton);
    QCOMPARE(m_list->result(), 1);
    QCOMPARE(file(), QByteArray("20250104,1,,,x,,\r\n"));
}

void tst_MainEdit::columnWidthsResetAtEachShowing() {
    open();
    m_list->gridEdit->setColumnWidth(4, 20);
    m_list->gridEdit->setColumnHidden(0, false);
    m_list->btnCancelClick();
    open();
    QVERIFY(m_list->gridEdit->isColumnHidden(0));
    const QList<int> widths{35, 55, 55, 200, 200, 300};
    for (int c = 1; c < 7; ++c)
        QCOMPARE(m_list->gridEdit->columnWidth(c), widths.at(c - 1));
    QCOMPARE(m_list->gridEdit->model()->headerData(1, Qt::Horizontal).toString(),
             QStringLiteral("№"));
}

void tst_MainEdit::buttonImagesOnceShown() {
    // Left out of start-up, the images must still be there when the window shows.
    open();
    QVERIFY(!m_list->btnAddNew->icon().isNull());
    QVERIFY(!m_list->btnDelete->icon().isNull());
}

QTEST_MAIN(tst_MainEdit)
#include "tst_mainedit.moc"
