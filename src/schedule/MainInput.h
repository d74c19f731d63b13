#pragma once

#include "schedule/Cp932LineEdit.h"
#include "schedule/TimeMaskEdit.h"

#include <QDialog>

class QCheckBox;
class QKeyEvent;
class QPushButton;
class TMainEditForm;

// The schedule entry editor. It works on the current row of its list window, which fills the
// fields, the caption and its EntryMode before exec(); OK writes the entry into that row,
// sorts the list by start time and renumbers it; Cancel on a new entry deletes the row
// prepared for it. Enter and Escape only move the focus.
class TMainInputForm : public QDialog {
    Q_OBJECT
public:
    explicit TMainInputForm(TMainEditForm* list, QWidget* parent = nullptr);

    void FormShow();
    void checkOutClick();
    void MaskEdit1Exit(TimeMaskEdit* sender);
    bool FormKeyPress(QKeyEvent* event);
    void btnOkClick();
    void btnCancelClick();

    QCheckBox* checkOut;
    TimeMaskEdit* MaskEdit1;
    TimeMaskEdit* MaskEdit2;
    Cp932LineEdit* editSchedule;
    Cp932LineEdit* editPlace;
    Cp932LineEdit* editMemo;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    // Closing through the window system counts as "ｷｬﾝｾﾙ".
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TMainEditForm* m_list;
};
