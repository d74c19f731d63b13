#pragma once

#include "widgets/ListForm.h"

class TAnniversaryEditForm;

// The anniversary list, "記念日設定", over anniversary.csv: newest first and those without a year
// after them (SortAnniversaryRows), every line ending with a comma. The opener moves it onto the
// main window's top-left corner and refreshes on Ok.
class TAnniversaryForm : public ListForm {
    Q_OBJECT
public:
    explicit TAnniversaryForm(QWidget* parent = nullptr);

    // The editor this list opens; the list makes one of its own, a caller may put another.
    TAnniversaryEditForm* editForm() const { return m_editForm; }
    void setEditForm(TAnniversaryEditForm* editForm);

    void gridAnvDblClick();

    ListGrid* gridAnv;

protected:
    QString filePath() const override;
    void openEditor() override { gridAnvDblClick(); }
    QWidget* editor() const override;
    void sortRows(StringGrid& grid) const override;

private:
    TAnniversaryEditForm* m_editForm = nullptr;
};
