#pragma once

#include "widgets/ListForm.h"

class QDateEdit;
class QLabel;
class TAnniversaryForm;

#include <QDate>

// The date the editor shows for a stored one. An anniversary without a year (rules/RuleEntry.h)
// shows in this year (29 February in the nearest leap year) and stays without one while its year
// is left as shown.
QDate AnniversaryShownDate(const QDate& stored, bool noYear);

// The editor of one anniversary: its date, year included, and its text.
class TAnniversaryEditForm : public EditForm {
    Q_OBJECT
public:
    explicit TAnniversaryEditForm(TAnniversaryForm* listForm, QWidget* parent = nullptr);

    void setListForm(TAnniversaryForm* listForm);

    void FormShow() override;

    QLabel* Panel1;
    QLabel* Panel2;
    QDateEdit* dtpAnniversary;

protected:
    void storeRow(StringGrid& grid, int row) const override;
};
