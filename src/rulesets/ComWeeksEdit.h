#pragma once

#include "rules/RuleEntry.h"
#include "widgets/ListForm.h"

class QComboBox;
class QDateEdit;
class QLabel;
class RadioGroup;
class TComWeeksForm;

// The editor of one holiday or event rule: a fixed month and day, or the first to fifth given
// weekday of a month, and a title. It works on the selected row of its list window: OK writes
// the row and sorts the list again, ｷｬﾝｾﾙ of a new rule deletes the row 新規 prepared. It does
// not know which rule set it edits.
class TComWeeksEditForm : public EditForm {
    Q_OBJECT
public:
    explicit TComWeeksEditForm(TComWeeksForm* listForm, QWidget* parent = nullptr);

    void setListForm(TComWeeksForm* listForm);

    // Sets the week number, weekday, month and date choices, and which of the date picker and
    // the month list shows; the rule as the choices now stand.
    void setRule(const RuleEntry& rule);
    RuleEntry rule() const;
    void FormShow() override;
    void OptionKindsClick();

    RadioGroup* OptionKinds;
    RadioGroup* OptionWeeks;
    QLabel* pnlDate;
    QComboBox* cmbMonth;
    QDateEdit* dtpHoliday;
    QLabel* pnlTitle;

protected:
    void storeRow(StringGrid& grid, int row) const override;

private:
    // Shows the date picker for a fixed date, else the month list with the weekdays enabled.
    void showKind(int weekNumber);

    int m_weekNumber = 0;
};
