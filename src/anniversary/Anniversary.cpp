#include "anniversary/Anniversary.h"

#include "anniversary/AnniversaryEdit.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/RuleEntry.h"
#include "widgets/ListGrid.h"

namespace {
constexpr int DateColumn = 0;
constexpr int TextColumn = 1;
} // namespace

TAnniversaryForm::TAnniversaryForm(QWidget* parent)
    : ListForm(parent, QStringLiteral("gridAnv"), 280, 320,
               {{QStringLiteral("記念日"), QStringLiteral("内容")},
                {105, 150},
                DateColumn,
                TextColumn,
                true,
                ","}) {
    setObjectName(QStringLiteral("AnniversaryForm"));
    setWindowTitle(QStringLiteral("記念日設定"));
    gridAnv = m_list;
    // A date without a year shows as its month and day, under the dated ones' month and day;
    // a screen reader is told the year is not known.
    gridAnv->setCellTextHandler([](int column, const QByteArray& stored, ListGrid::TextUse use) {
        const QByteArray monthDay =
            column == DateColumn ? AnniversaryMonthDayText(stored) : QByteArray();
        if (monthDay.isNull())
            return QString();
        const QString text = QString::fromLatin1(monthDay);
        return use == ListGrid::TextUse::Spoken ? text + QStringLiteral(" 年なし") : text;
    });
    gridAnv->setDrawCellHandler([this](QPainter& painter, const ListCell& cell) {
        ListCell shown = cell;
        // Five blanks are as wide as "YYYY/" in the list's fixed-pitch font.
        if (!cell.fixed && cell.column == DateColumn &&
            !AnniversaryMonthDayText(gridAnv->grid().cell(DateColumn, cell.row)).isNull())
            shown.text = QStringLiteral("     ") + cell.text;
        DrawListCell(painter, shown);
    });
    setEditForm(new TAnniversaryEditForm(this, this));
}

void TAnniversaryForm::setEditForm(TAnniversaryEditForm* editForm) {
    m_editForm = editForm;
    if (m_editForm)
        m_editForm->setListForm(this);
}

QString TAnniversaryForm::filePath() const {
    return AnniversaryFilePath(DataFolder());
}

void TAnniversaryForm::sortRows(StringGrid& grid) const {
    SortAnniversaryRows(grid, DateColumn);
}

QWidget* TAnniversaryForm::editor() const {
    return m_editForm;
}

void TAnniversaryForm::gridAnvDblClick() {
    const StringGrid& grid = gridAnv->grid();
    const int row = grid.currentRow();
    const QByteArray text = grid.cell(TextColumn, row);
    // Only a row that 新規 left blank is new: a line of the file without a text (a hand edit)
    // is the user's, and cancelling a "new" entry would delete it.
    if (!text.isEmpty() || !grid.cell(DateColumn, row).isEmpty()) {
        // Read first: a date that cannot be read leaves the editor closed.
        bool noYear = false;
        const QDate date = AnniversaryDayFromText(grid.cell(DateColumn, row), noYear);
        m_editForm->EntryMode = 1;
        m_editForm->setDate(date, noYear);
        m_editForm->setWindowTitle(QStringLiteral("修正中です..."));
    } else {
        m_editForm->EntryMode = 0;
        m_editForm->setDate(Clock::today(), false);
        m_editForm->setWindowTitle(QStringLiteral("新規作成中です..."));
    }
    m_editForm->setTitle(text);
    m_editForm->exec();
}
