#pragma once

#include "widgets/ListForm.h"

class QDateEdit;
class QLabel;
class TAnniversaryForm;

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
