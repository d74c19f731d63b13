#include "anniversary/AnniversaryEdit.h"

#include "anniversary/Anniversary.h"
#include "rules/Clock.h"
#include "rules/RuleEntry.h"
#include "widgets/Cp932LineEdit.h"
#include "widgets/DialogKeyFilter.h"
#include "widgets/FormParts.h"

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>

QDate AnniversaryShownDate(const QDate& stored, bool noYear) {
    if (!noYear)
        return stored;
    const int year = Clock::today().year();
    return QDate(stored.month() == 2 && stored.day() == 29 ? NearestLeapYear(year) : year,
                 stored.month(), stored.day());
}

TAnniversaryEditForm::TAnniversaryEditForm(TAnniversaryForm* listForm, QWidget* parent)
    : EditForm(listForm, parent, 300, 124) {
    setObjectName(QStringLiteral("AnniversaryEditForm"));

    Panel1 = NewLabelPanel(this, QStringLiteral("Panel1"), QStringLiteral("記念日"));
    Panel1->setGeometry(8, 8, 80, 26);
    dtpAnniversary = NewDatePicker(this, QStringLiteral("dtpAnniversary"));
    dtpAnniversary->setGeometry(92, 8, 130, 26);
    Panel2 = NewLabelPanel(this, QStringLiteral("Panel2"), QStringLiteral("内容"));
    Panel2->setGeometry(8, 42, 80, 26);
    editTitle->setGeometry(92, 42, 200, 26);
    NameField(dtpAnniversary, Panel1);
    NameField(editTitle, Panel2);
    btnOk->setGeometry(128, 86, 78, 28);
    btnCancel->setGeometry(214, 86, 78, 28);

    // The date comes first on screen but last in tab order: from it the user goes on to the text.
    setTabOrder(editTitle, btnOk);
    setTabOrder(btnOk, btnCancel);
    setTabOrder(btnCancel, dtpAnniversary);
    DialogKeyFilter::install(this);
}

void TAnniversaryEditForm::setListForm(TAnniversaryForm* listForm) {
    m_listForm = listForm;
}

void TAnniversaryEditForm::FormShow() {
    dtpAnniversary->setFocus();
}

void TAnniversaryEditForm::storeRow(StringGrid& grid, int row) const {
    // A date the user left as it was keeps its stored text; one without a year stays so while
    // its year is left as shown.
    const QDate picked = dtpAnniversary->date();
    bool noYear = false;
    if (EntryMode == 1) {
        const QDate stored = AnniversaryDayFromText(grid.cell(0, row), noYear);
        const QDate shown = AnniversaryShownDate(stored, noYear);
        if (shown == picked)
            return;
        noYear = noYear && shown.year() == picked.year();
    }
    const QByteArray text = AnniversaryDateText(picked);
    grid.setCell(0, row, noYear ? AnniversaryNoYear + text.mid(4) : text);
}
