#include "widgets/FormParts.h"

#include "data/Codec.h"
#include "data/ShownText.h"
#include "widgets/Cp932LineEdit.h"
#include "widgets/UiLook.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextCharFormat>

namespace {
constexpr int TitleBytes = 20;
constexpr int ButtonWidth = 60;
constexpr int ButtonHeight = 26;
} // namespace

void SetFormFont(QWidget* form) {
    SetFontWhenShown(form, GothicFont(15));
}

void SetFixedForm(QDialog* form, int width, int height) {
    form->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    form->setFixedSize(width, height);
    SetFormFont(form);
}

QPushButton* NewFormButton(QWidget* parent, const QString& name, const QString& caption,
                           const QColor& textColour) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setCursor(Qt::PointingHandCursor);
    // Enter belongs to the dialogs' focus rule, never to a default button.
    button->setAutoDefault(false);
    if (textColour.isValid()) {
        QPalette palette = button->palette();
        palette.setColor(QPalette::ButtonText, textColour);
        button->setPalette(palette);
    }
    return button;
}

ListButtons NewListButtons(QWidget* parent, int width) {
    ListButtons b;
    const int top = (ListButtonStripHeight - ButtonHeight) / 2;
    b.addNew = NewFormButton(parent, QStringLiteral("btnAddNew"), QStringLiteral("新規"), Qt::blue);
    b.addNew->setGeometry(3, top, ButtonWidth, ButtonHeight);
    b.remove = NewFormButton(parent, QStringLiteral("btnDelete"), QStringLiteral("削除"), Qt::red);
    b.remove->setGeometry(3 + ButtonWidth + 2, top, ButtonWidth, ButtonHeight);
    b.ok = NewFormButton(parent, QStringLiteral("btnOk"), QStringLiteral("OK"));
    b.ok->setGeometry(width - 3 - 2 * ButtonWidth - 2, top, ButtonWidth, ButtonHeight);
    b.cancel = NewFormButton(parent, QStringLiteral("btnCancel"), QStringLiteral("ｷｬﾝｾﾙ"));
    b.cancel->setGeometry(width - 3 - ButtonWidth, top, ButtonWidth, ButtonHeight);
    return b;
}

QLabel* NewLabelPanel(QWidget* parent, const QString& name, const QString& caption) {
    auto* panel = new QLabel(caption, parent);
    panel->setObjectName(name);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    return panel;
}

namespace {

// The calendar speaks the program's language and starts its weeks on Sunday, as the month view.
// It is made when the user first reaches for it: building it with every editor at start-up
// would cost more than the whole month view.
class CalendarSetUp : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress) {
            QCalendarWidget* calendar = static_cast<QDateEdit*>(watched)->calendarWidget();
            calendar->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
            calendar->setFirstDayOfWeek(Qt::Sunday);
            // Saturday blue and Sunday red, as in the month view.
            QTextCharFormat saturday = calendar->weekdayTextFormat(Qt::Saturday);
            saturday.setForeground(QColor(Qt::blue));
            calendar->setWeekdayTextFormat(Qt::Saturday, saturday);
            calendar->setStyleSheet(QStringLiteral(
                "QWidget#qt_calendar_navigationbar { background-color: #008080; }"
                "QWidget#qt_calendar_navigationbar QToolButton { color: white; background: "
                "#008080; }"));
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

} // namespace

QDateEdit* NewDatePicker(QWidget* parent, const QString& name) {
    auto* picker = new QDateEdit(parent);
    picker->setObjectName(name);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    picker->setAttribute(Qt::WA_InputMethodEnabled, false);
    picker->installEventFilter(new CalendarSetUp(picker));
    return picker;
}

Cp932LineEdit* NewTitleField(QWidget* parent) {
    auto* field = new Cp932LineEdit(TitleBytes, parent);
    field->setObjectName(QStringLiteral("editTitle"));
    return field;
}

void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                    const QString& text) {
    QMessageBox box(icon, caption, CutLongLines(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ShowWarning(QWidget* parent, const QString& text) {
    ShowMessageBox(parent, QMessageBox::Warning, QStringLiteral("警告メッセージ"), text);
}

void WarnTitleMissing(QWidget* parent, QWidget* titleField) {
    ShowWarning(parent, QStringLiteral("タイトルを入力してください！！（空欄不可）"));
    titleField->setFocus();
}
