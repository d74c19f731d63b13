#include "widgets/FormParts.h"

#include "data/Codec.h"
#include "data/ShownText.h"
#include "widgets/Cp932LineEdit.h"
#include "widgets/UiLook.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
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
    if (textColour.isValid())
        SetLegibleTextColor(button, QPalette::ButtonText, textColour);
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

void NameField(QWidget* field, const QString& caption) {
    QString name = caption;
    name.remove(QLatin1Char('&'));
    field->setAccessibleName(name.trimmed());
}

void NameField(QWidget* field, const QLabel* caption) {
    NameField(field, caption->text());
}

namespace {

// A view reports the cell at its current index as focused even after the focus has left it:
// the current index is put aside while the view is left and restored before it is entered
// again, before the view would pick a cell of its own.
class TableFocus : public QObject {
public:
    explicit TableFocus(QAbstractItemView* view) : QObject(view), m_view(view) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        QItemSelectionModel* selection = m_view->selectionModel();
        if (!selection)
            return false;
        if (event->type() == QEvent::FocusOut && selection->currentIndex().isValid() &&
            !m_view->hasFocus()) {
            m_left = selection->currentIndex();
            selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        } else if (event->type() == QEvent::FocusIn) {
            if (!selection->currentIndex().isValid() && m_left.isValid())
                selection->setCurrentIndex(m_left, QItemSelectionModel::NoUpdate);
            m_left = QPersistentModelIndex();
        }
        return false;
    }

private:
    QAbstractItemView* m_view;
    QPersistentModelIndex m_left;
};

} // namespace

void SetUpTable(QAbstractItemView* table, const QString& name) {
    table->setTabKeyNavigation(false);
    table->setAccessibleName(name);
    table->installEventFilter(new TableFocus(table));
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

// F4 and Alt+Down open the drop-down calendar, as they open a drop-down list; the picker itself
// opens it only on a click of its arrow, so the key clicks it there.
class CalendarKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool opens = (key->key() == Qt::Key_F4 && key->modifiers() == Qt::NoModifier) ||
                           (key->key() == Qt::Key_Down && key->modifiers() == Qt::AltModifier);
        if (!opens)
            return false;
        auto* picker = static_cast<QDateEdit*>(watched);
        QStyleOptionComboBox option;
        option.initFrom(picker);
        option.editable = true;
        option.subControls = QStyle::SC_All;
        const QPoint arrow =
            picker->style()
                ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, picker)
                .center();
        QMouseEvent press(QEvent::MouseButtonPress, arrow, picker->mapToGlobal(arrow),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(picker, &press);
        return true;
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
    picker->installEventFilter(new CalendarKeys(picker));
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

void ShowNotice(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                const QString& text) {
    auto* box = new QMessageBox(icon, caption, CutLongLines(text), QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void ShowWarning(QWidget* parent, const QString& text) {
    ShowMessageBox(parent, QMessageBox::Warning, QStringLiteral("警告メッセージ"), text);
}

void WarnTitleMissing(QWidget* parent, QWidget* titleField) {
    ShowWarning(parent, QStringLiteral("タイトルを入力してください！！（空欄不可）"));
    titleField->setFocus();
}
