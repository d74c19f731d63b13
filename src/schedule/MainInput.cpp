#include "schedule/MainInput.h"

#include "data/ErrorReport.h"
#include "rules/DaySchedule.h"
#include "widgets/DialogKeyFilter.h"
#include "widgets/FormParts.h"
#include "widgets/ListGrid.h"
#include "widgets/UiLook.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {

// A label as wide as the room before its field and as tall as the field's row: sized by the
// default font, before the window's own font is set, it would cut its text.
QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, int width = 46) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y - 4, width, 24);
    return label;
}

template <class Field> Field* place(Field* field, const char* name, const QRect& geometry) {
    field->setObjectName(QLatin1String(name));
    field->setGeometry(geometry);
    return field;
}

// What an unchanged field stores again when its entry changed elsewhere: its stored bytes,
// but nothing for a blank cell, which is how an empty field of the file reads.
QByteArray keptCell(const QByteArray& stored) {
    return stored.trimmed().isEmpty() ? QByteArray() : stored;
}

QByteArray storedText(const Cp932LineEdit* field) {
    return field->isUnchanged() ? keptCell(field->bytes()) : field->bytes();
}

// The stored form of a time box: "HH:MM", or nothing for the empty time.
QByteArray storedTime(TimeMaskEdit* box) {
    if (box->isUnchanged())
        return keptCell(box->stored());
    const QString text = box->text();
    if (text == EmptyTimeText)
        return QByteArray();
    // A time still half typed (OK reached without leaving the box) is completed as leaving
    // would have done, so no blank is ever stored inside a time.
    return CompleteTime(text).toLatin1();
}

} // namespace

TMainInputForm::TMainInputForm(ListGrid* dayList, QWidget* parent)
    : QDialog(parent), m_dayList(dayList) {
    setObjectName(QStringLiteral("MainInputForm"));
    // A title bar without buttons: OK and Cancel are the ways out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(418, 194);
    SetFontWhenShown(this, GothicFont(15));

    makeLabel(this, QStringLiteral("時間"), 12, 18);
    checkOut =
        place(new QCheckBox(QStringLiteral("終日"), this), "checkOut", QRect(60, 14, 70, 24));
    MaskEdit1 = place(new TimeMaskEdit(this), "MaskEdit1", QRect(136, 14, 60, 24));
    makeLabel(this, QStringLiteral("～"), 200, 18, 20);
    MaskEdit2 = place(new TimeMaskEdit(this), "MaskEdit2", QRect(222, 14, 60, 24));
    makeLabel(this, QStringLiteral("予定"), 12, 54);
    editSchedule = place(new Cp932LineEdit(ScheduleFieldBytes::Title, this), "editSchedule",
                         QRect(60, 50, 346, 24));
    makeLabel(this, QStringLiteral("場所"), 12, 86);
    editPlace = place(new Cp932LineEdit(ScheduleFieldBytes::Place, this), "editPlace",
                      QRect(60, 82, 346, 24));
    makeLabel(this, QStringLiteral("内容"), 12, 118);
    editMemo = place(new Cp932LineEdit(ScheduleFieldBytes::Memo, this), "editMemo",
                     QRect(60, 114, 346, 24));
    btnOk = place(new QPushButton(QStringLiteral("OK"), this), "btnOk", QRect(230, 152, 84, 30));
    btnCancel =
        place(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this), "btnCancel", QRect(322, 152, 84, 30));
    // No default and no cancel button: Enter and Escape belong to FormKeyPress.
    btnOk->setAutoDefault(false);
    btnCancel->setAutoDefault(false);

    NameField(MaskEdit1, QStringLiteral("開始時間"));
    NameField(MaskEdit2, QStringLiteral("終了時間"));
    NameField(editSchedule, QStringLiteral("予定"));
    NameField(editPlace, QStringLiteral("場所"));
    NameField(editMemo, QStringLiteral("内容"));

    setTabOrder(checkOut, MaskEdit1);
    setTabOrder(MaskEdit1, MaskEdit2);
    setTabOrder(MaskEdit2, editSchedule);
    setTabOrder(editSchedule, editPlace);
    setTabOrder(editPlace, editMemo);
    setTabOrder(editMemo, btnOk);
    setTabOrder(btnOk, btnCancel);

    connect(checkOut, &QCheckBox::toggled, this, [this] { Guarded([this] { checkOutClick(); }); });
    connect(MaskEdit1, &TimeMaskEdit::exited, this,
            [this] { Guarded([this] { MaskEdit1Exit(MaskEdit1); }); });
    connect(MaskEdit2, &TimeMaskEdit::exited, this,
            [this] { Guarded([this] { MaskEdit1Exit(MaskEdit2); }); });
    connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnCancelClick(); }); });
    DialogKeyFilter::install(this, [this](QKeyEvent* event) { return FormKeyPress(event); });
}

void TMainInputForm::setDay(const QByteArray& dayKey, int entryMode) {
    m_dayKey = dayKey;
    m_entryMode = entryMode;
}

void TMainInputForm::showEvent(QShowEvent* event) {
    move(564, 228);
    QDialog::showEvent(event);
    FormShow();
}

void TMainInputForm::FormShow() {
    checkOut->setChecked(MaskEdit1->text() == EmptyTimeText && m_entryMode == 1);
    checkOutClick();
    checkOut->setFocus();
}

void TMainInputForm::checkOutClick() {
    const bool allDay = checkOut->isChecked();
    for (TimeMaskEdit* box : {MaskEdit1, MaskEdit2}) {
        // Off first: a box that loses the focus by being disabled must not complete a time.
        box->setEnabled(!allDay);
        if (allDay)
            box->setText(QString());
        // Off, the box takes the button face; on, the theme's own field colours, so its text
        // stays legible in a dark theme too.
        QPalette palette = this->palette();
        if (allDay)
            palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        box->setPalette(palette);
    }
}

void TMainInputForm::MaskEdit1Exit(TimeMaskEdit* sender) {
    sender->setText(CompleteTime(sender->text()));
}

bool TMainInputForm::FormKeyPress(QKeyEvent* event) {
    return DialogKeyFilter::handleKey(this, event);
}

void TMainInputForm::btnOkClick() {
    if (editSchedule->text().isEmpty()) {
        ShowWarning(this, QStringLiteral("予定を入力してください！！（空欄不可）"));
        editSchedule->setFocus();
        return;
    }
    // An entry left as it was keeps its row, so the list writes its line back byte for byte.
    const bool unchanged = MaskEdit1->isUnchanged() && MaskEdit2->isUnchanged() &&
                           editSchedule->isUnchanged() && editPlace->isUnchanged() &&
                           editMemo->isUnchanged();
    if (m_entryMode == 1 && unchanged) {
        done(1);
        return;
    }
    const DayEntry entry{storedTime(MaskEdit1), storedTime(MaskEdit2), editSchedule->bytes(),
                         storedText(editPlace), storedText(editMemo)};
    StoreDayEntry(m_dayList->grid(), m_dayKey, entry);
    m_dayList->refresh();
    done(1);
}

void TMainInputForm::btnCancelClick() {
    // The row 新規 prepared goes again, as the list's 削除 would remove it.
    if (m_entryMode == 0) {
        DeleteDayRow(m_dayList->grid());
        m_dayList->refresh();
    }
    done(2);
}

void TMainInputForm::reject() {
    btnCancelClick();
}
