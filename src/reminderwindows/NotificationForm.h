#pragma once

#include "reminders/ReminderSettings.h"

#include <QDialog>

class QCheckBox;
class QPushButton;
class QSpinBox;
class QTimeEdit;

// 設定 → 通知: when Kalendo reminds, whether at all, and whether it starts in the background at
// login. OK keeps the settings and writes or removes the login entry; ｷｬﾝｾﾙ changes nothing.
class TNotificationForm : public QDialog {
    Q_OBJECT
public:
    explicit TNotificationForm(QWidget* parent = nullptr);

    QCheckBox* chkEnabled;
    QSpinBox* spnLead;
    QCheckBox* chkAllDay;
    QTimeEdit* timeAllDay;
    QCheckBox* chkAnniversary;
    QCheckBox* chkAutostart;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    // Fills the fields from the stored settings and the login entry.
    void FormShow();
    void btnOkClick();

    // The program the login entry starts (tests give another).
    QString ProgramPath;

signals:
    void settingsChanged(const ReminderSettings& settings);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void enableFields();
};
