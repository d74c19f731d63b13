#pragma once

#include <QByteArray>
#include <QColor>
#include <QMessageBox>
#include <QString>

class Cp932LineEdit;
class QAbstractItemView;
class QDateEdit;
class QDialog;
class QLabel;
class QPushButton;
class QWidget;

// The parts the anniversary and rule windows are built from, so both look and behave alike.

// "ＭＳ ゴシック" at the windows' 15 pixels, in the Japanese gothic face the system carries, given
// when the window first shows (SetFontWhenShown).
void SetFormFont(QWidget* form);
// A fixed-size dialog without title-bar buttons.
void SetFixedForm(QDialog* form, int width, int height);

// A push button with the hand pointer; Enter and Escape are left to the dialog's key rule.
QPushButton* NewFormButton(QWidget* parent, const QString& name, const QString& caption,
                           const QColor& textColour = QColor());
// The four buttons along the top of a list window: 新規 and 削除 at the left, OK and ｷｬﾝｾﾙ at
// the right of a strip `width` pixels wide.
struct ListButtons {
    QPushButton* addNew;
    QPushButton* remove;
    QPushButton* ok;
    QPushButton* cancel;
};
ListButtons NewListButtons(QWidget* parent, int width);
// The height of that strip; the list starts below it.
constexpr int ListButtonStripHeight = 32;

// A caption panel standing beside a field.
QLabel* NewLabelPanel(QWidget* parent, const QString& name, const QString& caption);
// Names a field by the caption beside it, as screen readers then read the field.
void NameField(QWidget* field, const QString& caption);
void NameField(QWidget* field, const QLabel* caption);

// A table of a window: Tab and Shift+Tab go on to the next control (the arrow keys move inside
// it), screen readers hear its name, and once the focus has left it no cell claims the focus.
void SetUpTable(QAbstractItemView* table, const QString& name);

// A date picker showing yyyy/MM/dd with a drop-down calendar under a teal title bar; the input
// method stays off.
QDateEdit* NewDatePicker(QWidget* parent, const QString& name);
// The title field: 20 bytes of code page 932.
Cp932LineEdit* NewTitleField(QWidget* parent);

// A message box with one OK button. Its text may come from a data file, so it is shown as it
// is, never read as markup, and every line is cut to a length a screen can show.
void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                    const QString& text);
// The same box with the exclamation icon, captioned "警告メッセージ".
void ShowWarning(QWidget* parent, const QString& text);
// A message box shown without waiting for it: for what a service beside the windows reports, which
// may come while a window is being shown and must not hold it (or the event loop) until answered.
void ShowNotice(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                const QString& text);

// "タイトルを入力してください！！（空欄不可）" in the warning box; the title takes the focus.
void WarnTitleMissing(QWidget* parent, QWidget* titleField);
