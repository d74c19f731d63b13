#pragma once

#include "widgets/ListForm.h"

class QCheckBox;
class QDateEdit;
class QLabel;
class TAnniversaryForm;

#include <QDate>

// The date the editor holds for a stored one. An anniversary without a year (rules/RuleEntry.h)
// is held in the leap year nearest today, only its month and day shown.
QDate AnniversaryShownDate(const QDate& stored, bool noYear);

// The editor of one anniversary: its date, year included unless 年なし is ticked, and its text.
class TAnniversaryEditForm : public EditForm {
    Q_OBJECT
public:
    explicit TAnniversaryEditForm(TAnniversaryForm* listForm, QWidget* parent = nullptr);

    void setListForm(TAnniversaryForm* listForm);

    // The date to edit, and whether its year is unknown.
    void setDate(const QDate& date, bool noYear);
    void FormShow() override;

    QLabel* Panel1;
    QLabel* Panel2;
    QDateEdit* dtpAnniversary;
    QCheckBox* chkNoYear;

protected:
    // Puts the date in the control, with its year or without.
    void showDate(const QDate& date, bool noYear);
    void noYearToggled(bool noYear);
    void storeRow(StringGrid& grid, int row) const override;

private:
    // The year 年なし unticked gives the date: the one it had, else this year.
    int m_datedYear = 0;
};
