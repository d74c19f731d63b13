#include "anniversary/AnniversaryEdit.h"

#include "anniversary/Anniversary.h"
#include "rules/Clock.h"
#include "rules/RuleEntry.h"
#include "widgets/Cp932LineEdit.h"
#include "widgets/DialogKeyFilter.h"
#include "widgets/FormParts.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace {
// The year the editor holds a date without a year in: a leap year, so that 29 February can be
// typed, and the one nearest today, which the calendar drop-down then shows.
int noYearHeldIn() {
    return NearestLeapYear(Clock::today().year());
}
} // namespace

QDate AnniversaryShownDate(const QDate& stored, bool noYear) {
    return noYear ? QDate(noYearHeldIn(), stored.month(), stored.day()) : stored;
}

TAnniversaryEditForm::TAnniversaryEditForm(TAnniversaryForm* listForm, QWidget* parent)
    : EditForm(listForm, parent, 330, 124) {
    setObjectName(QStringLiteral("AnniversaryEditForm"));

    Panel1 = NewLabelPanel(this, QStringLiteral("Panel1"), QStringLiteral("記念日"));
    Panel1->setGeometry(8, 8, 80, 26);
    dtpAnniversary = NewDatePicker(this, QStringLiteral("dtpAnniversary"));
    dtpAnniversary->setGeometry(92, 8, 130, 26);
    chkNoYear = new QCheckBox(QStringLiteral("年なし(&Y)"), this);
    chkNoYear->setObjectName(QStringLiteral("chkNoYear"));
    chkNoYear->setGeometry(230, 8, 96, 26);
    connect(chkNoYear, &QCheckBox::toggled, this, &TAnniversaryEditForm::noYearToggled);
    Panel2 = NewLabelPanel(this, QStringLiteral("Panel2"), QStringLiteral("内容"));
    Panel2->setGeometry(8, 42, 80, 26);
    editTitle->setGeometry(92, 42, 200, 26);
    NameField(dtpAnniversary, Panel1);
    NameField(editTitle, Panel2);
    btnOk->setGeometry(158, 86, 78, 28);
    btnCancel->setGeometry(244, 86, 78, 28);

    // The date comes first on screen but last in tab order: from it the user goes on to the text.
    setTabOrder(editTitle, btnOk);
    setTabOrder(btnOk, btnCancel);
    setTabOrder(btnCancel, chkNoYear);
    setTabOrder(chkNoYear, dtpAnniversary);
    DialogKeyFilter::install(this);
}

void TAnniversaryEditForm::setListForm(TAnniversaryForm* listForm) {
    m_listForm = listForm;
}

void TAnniversaryEditForm::setDate(const QDate& date, bool noYear) {
    {
        const QSignalBlocker quiet(chkNoYear);
        chkNoYear->setChecked(noYear);
    }
    m_datedYear = noYear ? Clock::today().year() : date.year();
    showDate(AnniversaryShownDate(date, noYear), noYear);
}

void TAnniversaryEditForm::noYearToggled(bool noYear) {
    const QDate shown = dtpAnniversary->date();
    if (noYear) {
        // Unticking again gives back the year the date had.
        m_datedYear = shown.year();
        showDate(AnniversaryShownDate(shown, true), true);
        return;
    }
    int year = m_datedYear;
    if (!QDate::isValid(year, shown.month(), shown.day()))
        year = NearestLeapYear(year);
    showDate(QDate(year, shown.month(), shown.day()), false);
}

void TAnniversaryEditForm::showDate(const QDate& date, bool noYear) {
    dtpAnniversary->clearMinimumDate();
    dtpAnniversary->clearMaximumDate();
    dtpAnniversary->setDisplayFormat(noYear ? QStringLiteral("MM/dd")
                                            : QStringLiteral("yyyy/MM/dd"));
    dtpAnniversary->setDate(date);
    // Without a year the drop-down calendar keeps to the year the date is held in, where
    // 29 February is a day, and does not show that year.
    if (noYear)
        dtpAnniversary->setDateRange(QDate(date.year(), 1, 1), QDate(date.year(), 12, 31));
    if (QCalendarWidget* calendar = dtpAnniversary->calendarWidget())
        if (auto* year = calendar->findChild<QWidget*>(QStringLiteral("qt_calendar_yearbutton")))
            year->setVisible(!noYear);
}

void TAnniversaryEditForm::FormShow() {
    dtpAnniversary->setFocus();
}

void TAnniversaryEditForm::storeRow(StringGrid& grid, int row) const {
    // A date the user left as it was keeps its stored text.
    const QDate picked = dtpAnniversary->date();
    const bool noYear = chkNoYear->isChecked();
    if (EntryMode == 1) {
        bool wasNoYear = false;
        const QDate stored = AnniversaryDayFromText(grid.cell(0, row), wasNoYear);
        if (wasNoYear == noYear && AnniversaryShownDate(stored, noYear) == picked)
            return;
    }
    const QByteArray text = AnniversaryDateText(picked);
    grid.setCell(0, row, noYear ? AnniversaryNoYear + text.mid(4) : text);
}
