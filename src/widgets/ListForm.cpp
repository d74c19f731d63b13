#include "widgets/ListForm.h"

#include "data/Codec.h"
#include "data/ErrorReport.h"
#include "widgets/Cp932LineEdit.h"
#include "widgets/FormParts.h"
#include "widgets/ListGrid.h"

#include <QFile>
#include <QPushButton>
#include <QShowEvent>

#include <utility>

ListForm::ListForm(QWidget* parent, const QString& gridName, int width, int height, Columns columns)
    : QDialog(parent), m_columns(std::move(columns)) {
    SetFixedForm(this, width, height);
    const ListButtons buttons = NewListButtons(this, width);
    btnAddNew = buttons.addNew;
    btnDelete = buttons.remove;
    btnOk = buttons.ok;
    btnCancel = buttons.cancel;

    m_list = new ListGrid(this);
    m_list->setObjectName(gridName);
    m_list->setGeometry(0, ListButtonStripHeight, width, height - ListButtonStripHeight);
    m_list->grid() = StringGrid(int(m_columns.headers.size()), 2, 1, 0);
    SetUpTable(m_list, windowTitle());

    connect(btnAddNew, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnAddNewClick(); }); });
    connect(btnDelete, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnDeleteClick(); }); });
    connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnCancelClick(); }); });
    connect(m_list, &ListGrid::dblClicked, this, [this] { Guarded([this] { openEditor(); }); });
}

void ListForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    try {
        FormShow();
    } catch (...) {
        // The toolkit's frames must not see the exception. A file that could not be read is
        // not shown, so the window closes as by ｷｬﾝｾﾙ once the user has been told.
        ErrorReport::reportCurrentException();
        QMetaObject::invokeMethod(this, &ListForm::btnCancelClick, Qt::QueuedConnection);
    }
}

void ListForm::FormShow() {
    m_fileRead = false;
    const QByteArray lineToSelect = std::exchange(m_lineToSelect, QByteArray());
    prepareShowing();
    // The rule list serves two files: its table is named after the one shown.
    m_list->setAccessibleName(windowTitle());
    StringGrid& grid = m_list->grid();
    for (int c = 0; c < grid.columnCount(); ++c)
        grid.setCell(c, 0, Codec::encodeOrThrow(m_columns.headers.at(c)));
    m_list->setColumnWidths(m_columns.widths);
    FillListRows(grid, m_file.load(filePath(), grid.columnCount()));
    m_fileRead = true;
    sortEntries();
    if (!lineToSelect.isEmpty()) {
        const int row = FindLineRow(grid, lineToSelect);
        if (row >= 0)
            m_list->setCurrentGridRow(row);
    }
    if (QWidget* edit = editor())
        edit->move(pos());
    m_list->setFocus();
}

void ListForm::sortEntries() {
    sortRows(m_list->grid());
    m_list->refresh();
}

void ListForm::sortRows(StringGrid& grid) const {
    SortGridRows(grid, m_columns.keyColumn, m_columns.newestFirst);
}

void ListForm::btnAddNewClick() {
    PrepareNewListRow(m_list->grid(), m_columns.titleColumn);
    m_list->refresh();
    openEditor();
    m_list->setFocus();
}

void ListForm::btnDeleteClick() {
    DeleteListRow(m_list->grid());
    m_list->refresh();
    m_list->setFocus();
}

void ListForm::btnOkClick() {
    // Rows left from an earlier showing are not the file: writing them would lose its lines.
    if (!m_fileRead) {
        done(Cancel);
        return;
    }
    const QString path = filePath();
    const QList<Row> entries = m_file.entries(m_list->grid(), m_columns.keyColumn);
    // An emptied list is saved too, or the deleted entries would come back; with no file and
    // nothing to save there is nothing to write.
    if (!entries.isEmpty() || QFile::exists(path)) {
        QList<Row> shown;
        const ChangedFileSave save = m_file.save(path, entries, m_columns.lineEnd, shown);
        ReportBackupFailure(save.backupFailure);
        if (const QString message = ChangedFileMessage(save, path); !message.isEmpty())
            ErrorReport::report(message);
        if (save.outcome == ChangedFileSave::Conflict) {
            // Both sides stay in the list; nothing is lost until the user decides.
            FillListRows(m_list->grid(), shown);
            sortEntries();
            return;
        }
    }
    done(Ok);
}

void ListForm::btnCancelClick() {
    done(Cancel);
}

void ListForm::reject() {
    btnCancelClick();
}

EditForm::EditForm(ListForm* listForm, QWidget* parent, int width, int height)
    : QDialog(parent), m_listForm(listForm) {
    SetFixedForm(this, width, height);
    editTitle = NewTitleField(this);
    btnOk = NewFormButton(this, QStringLiteral("btnOk"), QStringLiteral("OK"));
    btnCancel = NewFormButton(this, QStringLiteral("btnCancel"), QStringLiteral("ｷｬﾝｾﾙ"));
    connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnCancelClick(); }); });
}

void EditForm::setTitle(const QByteArray& title) {
    editTitle->setStoredBytes(title);
}

void EditForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void EditForm::btnOkClick() {
    if (editTitle->text().isEmpty()) {
        WarnTitleMissing(this, editTitle);
        return;
    }
    ListGrid* list = m_listForm->list();
    StringGrid& grid = list->grid();
    const int row = grid.currentRow();
    grid.setCell(TitleColumn, row, editTitle->bytes());
    storeRow(grid, row);
    m_listForm->sortEntries();
    done(ListForm::Ok);
}

void EditForm::btnCancelClick() {
    if (EntryMode == 0)
        m_listForm->btnDeleteClick();
    done(ListForm::Cancel);
}

void EditForm::reject() {
    btnCancelClick();
}
