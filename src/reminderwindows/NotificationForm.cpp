#include "reminderwindows/NotificationForm.h"

#include "data/ErrorReport.h"
#include "reminders/Autostart.h"
#include "widgets/FormParts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

TNotificationForm::TNotificationForm(QWidget* parent)
    : QDialog(parent), ProgramPath(QCoreApplication::applicationFilePath()) {
    setObjectName(QStringLiteral("TNotificationForm"));
    setWindowTitle(QStringLiteral("通知設定"));
    chkEnabled = new QCheckBox(QStringLiteral("予定をお知らせする"), this);
    chkEnabled->setObjectName(QStringLiteral("chkEnabled"));
    spnLead = new QSpinBox(this);
    spnLead->setObjectName(QStringLiteral("spnLead"));
    spnLead->setRange(0, MaxLeadMinutes);
    spnLead->setSuffix(QStringLiteral(" 分前"));
    chkAllDay = new QCheckBox(QStringLiteral("終日の予定を当日"), this);
    chkAllDay->setObjectName(QStringLiteral("chkAllDay"));
    timeAllDay = new QTimeEdit(this);
    timeAllDay->setObjectName(QStringLiteral("timeAllDay"));
    timeAllDay->setDisplayFormat(QStringLiteral("HH:mm"));
    NameField(timeAllDay, QStringLiteral("終日の予定をお知らせする時刻"));
    chkAnniversary = new QCheckBox(QStringLiteral("記念日を当日にお知らせする"), this);
    chkAnniversary->setObjectName(QStringLiteral("chkAnniversary"));
    chkAutostart = new QCheckBox(QStringLiteral("ログイン時にバックグラウンドで起動"), this);
    chkAutostart->setObjectName(QStringLiteral("chkAutostart"));
    auto* box = new QDialogButtonBox(this);
    btnOk = box->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel = box->addButton(QStringLiteral("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* allDay = new QHBoxLayout;
    allDay->addWidget(chkAllDay);
    allDay->addWidget(timeAllDay);
    allDay->addStretch();
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("時刻のある予定:"), spnLead);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chkEnabled);
    layout->addLayout(form);
    layout->addLayout(allDay);
    layout->addWidget(chkAnniversary);
    layout->addSpacing(8);
    layout->addWidget(chkAutostart);
    layout->addWidget(box);

    connect(chkEnabled, &QCheckBox::toggled, this, &TNotificationForm::enableFields);
    connect(chkAllDay, &QCheckBox::toggled, this, &TNotificationForm::enableFields);
    connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TNotificationForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TNotificationForm::FormShow() {
    const ReminderSettings s = ReadReminderSettings();
    chkEnabled->setChecked(s.enabled);
    spnLead->setValue(s.leadMinutes);
    chkAllDay->setChecked(s.allDayTime.isValid());
    timeAllDay->setTime(s.allDayTime.isValid() ? s.allDayTime : ReminderSettings().allDayTime);
    chkAnniversary->setChecked(s.anniversaries);
    chkAutostart->setChecked(AutostartEnabled());
    enableFields();
}

void TNotificationForm::enableFields() {
    const bool on = chkEnabled->isChecked();
    spnLead->setEnabled(on);
    chkAllDay->setEnabled(on);
    timeAllDay->setEnabled(on && chkAllDay->isChecked());
    chkAnniversary->setEnabled(on);
}

void TNotificationForm::btnOkClick() {
    ReminderSettings s;
    s.enabled = chkEnabled->isChecked();
    s.leadMinutes = spnLead->value();
    s.allDayTime = chkAllDay->isChecked() ? timeAllDay->time() : QTime();
    s.anniversaries = chkAnniversary->isChecked();
    WriteReminderSettings(s);
    emit settingsChanged(s);
    // The settings are kept even when the login entry cannot be written; that failure is shown.
    // Written again each time, so that it starts this program wherever it has moved to.
    if (chkAutostart->isChecked() || AutostartEnabled())
        SetAutostart(chkAutostart->isChecked(), ProgramPath);
    accept();
}
