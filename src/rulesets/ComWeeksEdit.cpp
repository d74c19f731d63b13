#include "rulesets/ComWeeksEdit.h"

#include "data/ErrorReport.h"
#include "rulesets/ComWeeks.h"
#include "widgets/Cp932LineEdit.h"
#include "widgets/DialogKeyFilter.h"
#include "widgets/FormParts.h"
#include "widgets/RadioGroup.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

TComWeeksEditForm::TComWeeksEditForm(TComWeeksForm* listForm, QWidget* parent)
    : EditForm(listForm, parent, 420, 232) {
    setObjectName(QStringLiteral("ComWeeksEditForm"));

    OptionKinds = new RadioGroup(QStringLiteral("判断基準"),
                                 {QStringLiteral("設定日"), QStringLiteral("第一週"),
                                  QStringLiteral("第二週"), QStringLiteral("第三週"),
                                  QStringLiteral("第四週"), QStringLiteral("第五週")},
                                 2, this);
    OptionKinds->setObjectName(QStringLiteral("OptionKinds"));
    OptionKinds->setGeometry(8, 4, 196, 112);
    OptionWeeks = new RadioGroup(QStringLiteral("曜日設定"),
                                 {QStringLiteral("日曜日"), QStringLiteral("月曜日"),
                                  QStringLiteral("火曜日"), QStringLiteral("水曜日"),
                                  QStringLiteral("木曜日"), QStringLiteral("金曜日"),
                                  QStringLiteral("土曜日")},
                                 2, this);
    OptionWeeks->setObjectName(QStringLiteral("OptionWeeks"));
    OptionWeeks->setGeometry(212, 4, 200, 112);

    pnlDate = NewLabelPanel(this, QStringLiteral("pnlDate"), QStringLiteral("日付"));
    pnlDate->setGeometry(8, 124, 88, 26);
    cmbMonth = new QComboBox(this);
    cmbMonth->setObjectName(QStringLiteral("cmbMonth"));
    for (int month = 1; month <= 12; ++month)
        cmbMonth->addItem(QString::asprintf("%2d", month) + QStringLiteral("月"));
    cmbMonth->setMaxVisibleItems(12);
    cmbMonth->setCursor(Qt::PointingHandCursor);
    cmbMonth->setAttribute(Qt::WA_InputMethodEnabled, false);
    cmbMonth->setGeometry(100, 124, 130, 26);
    dtpHoliday = NewDatePicker(this, QStringLiteral("dtpHoliday"));
    dtpHoliday->setGeometry(100, 124, 130, 26);

    pnlTitle = NewLabelPanel(this, QStringLiteral("pnlTitle"), QStringLiteral("タイトル"));
    pnlTitle->setGeometry(8, 158, 88, 26);
    // A comma inside a rule title, quoted or not, would stop every rebuild of the year tables.
    editTitle->setAllCommasRefused(true);
    editTitle->setGeometry(100, 158, 200, 26);

    NameField(cmbMonth, QStringLiteral("日付の月"));
    NameField(dtpHoliday, pnlDate);
    NameField(editTitle, pnlTitle);
    btnOk->setGeometry(248, 196, 78, 28);
    btnCancel->setGeometry(334, 196, 78, 28);

    setTabOrder(OptionKinds, OptionWeeks);
    setTabOrder(OptionWeeks, cmbMonth);
    setTabOrder(cmbMonth, dtpHoliday);
    setTabOrder(dtpHoliday, editTitle);
    setTabOrder(editTitle, btnOk);
    setTabOrder(btnOk, btnCancel);

    connect(OptionKinds, &RadioGroup::clicked, this,
            [this] { Guarded([this] { OptionKindsClick(); }); });
    DialogKeyFilter::install(this);
    showKind(0);
}

namespace {

bool sameCells(const RuleEntry& a, const RuleEntry& b) {
    return a.dateText() == b.dateText() && a.weekNumberText() == b.weekNumberText() &&
           a.weekdayText() == b.weekdayText();
}

} // namespace

void TComWeeksEditForm::showKind(int weekNumber) {
    m_weekNumber = weekNumber;
    const bool fixedDate = weekNumber == 0;
    dtpHoliday->setVisible(fixedDate);
    cmbMonth->setVisible(!fixedDate);
    OptionWeeks->setEnabled(!fixedDate);
}

void TComWeeksEditForm::setRule(const RuleEntry& rule) {
    OptionKinds->setItemIndex(rule.weekNumber);
    cmbMonth->setCurrentIndex(rule.monthIndex);
    dtpHoliday->setDate(rule.date);
    OptionWeeks->setItemIndex(rule.isFixedDate() ? 0 : rule.weekday);
    showKind(rule.weekNumber);
}

RuleEntry TComWeeksEditForm::rule() const {
    RuleEntry rule;
    rule.weekNumber = OptionKinds->itemIndex();
    rule.monthIndex = cmbMonth->currentIndex();
    rule.weekday = OptionWeeks->itemIndex();
    rule.date = dtpHoliday->date();
    return rule;
}

void TComWeeksEditForm::setListForm(TComWeeksForm* listForm) {
    m_listForm = listForm;
}

void TComWeeksEditForm::FormShow() {
    OptionKinds->button(OptionKinds->itemIndex())->setFocus();
}

void TComWeeksEditForm::OptionKindsClick() {
    const int weekNumber = OptionKinds->itemIndex();
    if (weekNumber == m_weekNumber)
        return;
    OptionWeeks->setItemIndex(0);
    showKind(weekNumber);
}

void TComWeeksEditForm::storeRow(StringGrid& grid, int row) const {
    const RuleEntry entry = rule();
    // A rule whose date the user left as it was keeps its stored cells, whatever their bytes.
    if (EntryMode == 1 && sameCells(RuleEntry::fromRow(grid.row(row), entry.date), entry))
        return;
    grid.setCell(TComWeeksForm::DateColumn, row, entry.dateText());
    grid.setCell(TComWeeksForm::WeekNumberColumn, row, entry.weekNumberText());
    grid.setCell(TComWeeksForm::WeekdayColumn, row, entry.weekdayText());
}
