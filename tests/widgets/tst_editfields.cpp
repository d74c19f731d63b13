#include "widgets/Cp932LineEdit.h"
#include "widgets/DialogKeyFilter.h"
#include "widgets/FormParts.h"

#include "TestSupport.h"
#include "WhenModal.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QDialog>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_EditFields : public QObject {
    Q_OBJECT
private slots:
    void insertion_data();
    void insertion();
    void inputMethodCommitIsChecked();
    void refusalShowsMessage();
    void contextMenuPasteIsCut();
    void damagedBytesNeverBecomeCtrlZ();
    void datePickerWeekendColours();
    void dialogKeys_data();
    void dialogKeys();
};

static void typeText(QWidget* w, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
}

void tst_EditFields::insertion_data() {
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("allCommas");
    QTest::addColumn<QString>("initial");
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("refused");
    const auto u = [](const char* s) { return QString::fromUtf8(s); };
    QTest::newRow("typed within the limit")
        << 4 << false << u("あ") << false << u("い") << u("あい") << false;
    QTest::newRow("typing at the limit refused")
        << 4 << false << u("あい") << false << u("a") << u("あい") << false;
    QTest::newRow("double-byte typed into one free byte refused")
        << 5 << false << u("abcd") << false << u("あ") << u("abcd") << false;
    QTest::newRow("pasted text cut at a whole character")
        << 5 << false << u("") << true << u("あいう") << u("あい") << false;
    QTest::newRow("selection replaced frees its bytes")
        << 4 << false << u("ああ") << true << u("いう") << u("いう") << false;
    QTest::newRow("typed comma discarded")
        << 10 << false << u("a") << false << u(",") << u("a") << false;
    QTest::newRow("double-byte comma passes")
        << 10 << false << u("") << false << u("，") << u("，") << false;
    QTest::newRow("pasted comma kept")
        << 10 << false << u("") << true << u("a,b") << u("a,b") << false;
    QTest::newRow("pasted comma refused when all are")
        << 10 << true << u("") << true << u("a,b") << u("ab") << false;
    QTest::newRow("pasted line break dropped")
        << 10 << false << u("") << true << u("a\r\nb") << u("ab") << false;
    QTest::newRow("typed wave dash as code page 932 holds it")
        << 10 << false << u("10") << false << u("〜") << u("10～") << false;
    QTest::newRow("pasted yen sign full-width, never a backslash")
        << 10 << false << u("") << true << u("¥100") << u("￥100") << false;
    QTest::newRow("typed emoji refused")
        << 10 << false << u("a") << false << u("😀") << u("a") << true;
    QTest::newRow("pasted text with a character outside refused whole")
        << 10 << false << u("") << true << u("ab𠮷") << u("") << true;
    QTest::newRow("pasted Hangul refused")
        << 10 << false << u("") << true << u("한글") << u("") << true;
    QTest::newRow("no limit") << 0 << false << u("") << true << QString(60, QChar(0x3042))
                              << QString(60, QChar(0x3042)) << false;
}

void tst_EditFields::insertion() {
    QFETCH(int, limit);
    QFETCH(bool, allCommas);
    QFETCH(QString, initial);
    QFETCH(bool, paste);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QFETCH(bool, refused);
    Cp932LineEdit edit(limit);
    edit.setAllCommasRefused(allCommas);
    edit.setText(initial);
    if (paste)
        edit.selectAll(); // a paste replaces what is selected
    QSignalSpy refusals(&edit, &Cp932LineEdit::refused);
    if (paste) {
        edit.setFocus();
        QGuiApplication::clipboard()->setText(input);
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    } else {
        edit.end(false);
        typeText(&edit, input);
    }
    QCOMPARE(edit.text(), expected);
    QCOMPARE(refusals.count(), refused ? 1 : 0);
    QCOMPARE(edit.bytes(), *Codec::fromUnicode(expected));
}

void tst_EditFields::inputMethodCommitIsChecked() {
    Cp932LineEdit edit(6);
    edit.setText(QStringLiteral("ab"));
    edit.end(false);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("予定表です"));
    QApplication::sendEvent(&edit, &commit);
    QCOMPARE(edit.text(), QStringLiteral("ab予定"));

    // Only the refused character is dropped: the rest of the commit goes in.
    QSignalSpy refusals(&edit, &Cp932LineEdit::refused);
    QInputMethodEvent hangul;
    hangul.setCommitString(QString::fromUtf8("가10時〜"));
    edit.setText(QString());
    QApplication::sendEvent(&edit, &hangul);
    QCOMPARE(edit.text(), QString::fromUtf8("10時～"));
    QCOMPARE(refusals.count(), 1);
}

void tst_EditFields::refusalShowsMessage() {
    // The message shows once the key is dealt with and leaves the keyboard to the field:
    // what is typed while it is up still goes in.
    Cp932LineEdit edit(40);
    edit.show();
    QVERIFY(QTest::qWaitForWindowActive(&edit));
    typeText(&edit, QString::fromUtf8("a𠮷"));
    typeText(&edit, QStringLiteral("b"));
    QTRY_VERIFY(shownRefusal());
    QVERIFY2(shownRefusal()->text().contains(QString::fromUtf8("𠮷")),
             qPrintable(shownRefusal()->text()));
    QCOMPARE(QApplication::activeWindow(), &edit);
    typeText(QApplication::focusWidget(), QStringLiteral("c"));
    QCOMPARE(edit.text(), QStringLiteral("abc"));
    edit.hide();
    QVERIFY(!shownRefusal());
}

void tst_EditFields::contextMenuPasteIsCut() {
    Cp932LineEdit edit(4);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QGuiApplication::clipboard()->setText(QStringLiteral("予定表"));
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), edit.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&edit, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QAction* paste = nullptr;
    for (QAction* action : menu->actions())
        if (action->text().contains(QLatin1String("Paste")))
            paste = action;
    QVERIFY(paste);
    paste->trigger();
    menu->close();
    QCOMPARE(edit.text(), QStringLiteral("予定"));
}

void tst_EditFields::damagedBytesNeverBecomeCtrlZ() {
    // A title cell from a hand-damaged file: a lead byte without its trail byte.
    Cp932LineEdit edit(40);
    edit.setText(Codec::toUnicode(sj("会議") + "\x82"));
    QCOMPARE(edit.bytes(), sj("会議"));
}

void tst_EditFields::datePickerWeekendColours() {
    // As in the month view: Saturday blue, Sunday red, once the calendar is first reached for.
    std::unique_ptr<QDateEdit> picker(NewDatePicker(nullptr, QStringLiteral("picker")));
    QTest::keyClick(picker.get(), Qt::Key_Up);
    const QCalendarWidget* calendar = picker->calendarWidget();
    QCOMPARE(calendar->weekdayTextFormat(Qt::Saturday).foreground().color(), QColor(Qt::blue));
    QCOMPARE(calendar->weekdayTextFormat(Qt::Sunday).foreground().color(), QColor(Qt::red));
}

void tst_EditFields::dialogKeys_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("clicked");
    QTest::newRow("Enter to the next field") << "check" << int(Qt::Key_Return) << "first" << false;
    QTest::newRow("Enter skips a disabled field")
        << "first" << int(Qt::Key_Return) << "third" << false;
    QTest::newRow("keypad Enter too") << "first" << int(Qt::Key_Enter) << "third" << false;
    QTest::newRow("Enter moves onto a button without pressing it")
        << "third" << int(Qt::Key_Return) << "ok" << false;
    QTest::newRow("Enter on a button presses it") << "ok" << int(Qt::Key_Return) << "ok" << true;
    QTest::newRow("Escape to the previous field")
        << "third" << int(Qt::Key_Escape) << "first" << false;
    QTest::newRow("Escape wraps round") << "check" << int(Qt::Key_Escape) << "ok" << false;
}

void tst_EditFields::dialogKeys() {
    QFETCH(QString, start);
    QFETCH(int, key);
    QFETCH(QString, focus);
    QFETCH(bool, clicked);
    QDialog dialog;
    auto* check = new QCheckBox(&dialog);
    auto* first = new Cp932LineEdit(10, &dialog);
    auto* second = new Cp932LineEdit(10, &dialog);
    auto* third = new Cp932LineEdit(10, &dialog);
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    check->setObjectName(QStringLiteral("check"));
    first->setObjectName(QStringLiteral("first"));
    third->setObjectName(QStringLiteral("third"));
    ok->setObjectName(QStringLiteral("ok"));
    second->setEnabled(false);
    int y = 0;
    for (QWidget* w : dialog.findChildren<QWidget*>())
        w->move(0, y += 30);
    DialogKeyFilter::install(&dialog);
    QSignalSpy clicks(ok, &QPushButton::clicked);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.findChild<QWidget*>(start)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QCOMPARE(clicks.count(), clicked ? 1 : 0);
    QVERIFY2(dialog.isVisible(), "neither Enter nor Escape closes the dialog");
}

QTEST_MAIN(tst_EditFields)
#include "tst_editfields.moc"
