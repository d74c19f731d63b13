#pragma once

#include "widgets/Cp932LineEdit.h"
#include "widgets/TimeMaskEdit.h"

#include <QDialog>

class QCheckBox;
class QKeyEvent;
class ListGrid;
class QPushButton;

// The schedule entry editor. It works on the current row of its list window's grid; the list
// fills the fields and the caption and calls setDay() before exec(); OK writes the entry into that
// row, sorts the list by start time and renumbers it; Cancel on a new entry deletes the row
// prepared for it. Enter and Escape only move the focus.
class TMainInputForm : public QDialog {
    Q_OBJECT
public:
    explicit TMainInputForm(ListGrid* dayList, QWidget* parent = nullptr);

    // The day the rows belong to, and the list's EntryMode (0 new entry, 1 existing) for this run.
    void setDay(const QByteArray& dayKey, int entryMode);

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
    ListGrid* m_dayList;
    QByteArray m_dayKey;
    int m_entryMode = 0;
};
