#include "rulesets/ComWeeks.h"

#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rulesets/ComWeeksEdit.h"
#include "widgets/ListGrid.h"

TComWeeksForm::TComWeeksForm(QWidget* parent)
    : ListForm(parent, QStringLiteral("gridCom"), 260, 320,
               {{QStringLiteral("日付"), QStringLiteral("タイトル"), QStringLiteral("設定種別"),
                 QStringLiteral("週種別")},
                // The week number and weekday take no room: a weekday rule shows as 05/--.
                {55, 178, -1, -1},
                DateColumn,
                TitleColumn,
                false,
                {}}) {
    setObjectName(QStringLiteral("ComWeeksForm"));
    gridCom = m_list;
    setEditForm(new TComWeeksEditForm(this, this));
}

void TComWeeksForm::setEditForm(TComWeeksEditForm* editForm) {
    m_editForm = editForm;
    if (m_editForm)
        m_editForm->setListForm(this);
}

QString TComWeeksForm::filePath() const {
    return RuleSet == 0 ? EventFilePath(DataFolder()) : HolidayFilePath(DataFolder());
}

void TComWeeksForm::prepareShowing() {
    setWindowTitle(RuleSet == 0 ? QStringLiteral("イベント設定") : QStringLiteral("休日設定"));
}

QWidget* TComWeeksForm::editor() const {
    return m_editForm;
}

void TComWeeksForm::gridComDblClick() {
    const StringGrid& grid = gridCom->grid();
    const QByteArray title = grid.cell(TitleColumn, grid.currentRow());
    RuleEntry rule;
    // Only a row that 新規 left blank is new: a line of the file without a title (a hand edit)
    // is the user's, and cancelling a "new" entry would delete it.
    if (!title.isEmpty() || !grid.cell(DateColumn, grid.currentRow()).isEmpty()) {
        // Read first: a value that cannot be read leaves the editor closed.
        rule = RuleEntry::fromRow(grid.row(grid.currentRow()), Clock::today());
        m_editForm->EntryMode = 1;
        m_editForm->setWindowTitle(QStringLiteral("修正中です..."));
    } else {
        rule.date = Clock::today();
        m_editForm->EntryMode = 0;
        m_editForm->setWindowTitle(QStringLiteral("新規作成中です..."));
    }
    m_editForm->setTitle(title);
    m_editForm->setRule(rule);
    m_editForm->exec();
}
