#pragma once

#include "rules/ListFile.h"

#include <QDialog>

class Cp932LineEdit;
class ListGrid;
class QPushButton;

// What the anniversary list and the rule list share: 新規, 削除, OK and ｷｬﾝｾﾙ over a list grid
// that is the working copy of one file while the window is open. The file is read at every
// showing and written back whole only by OK. exec() gives Ok after OK (the file was written),
// else Cancel; closing through the window system and Esc count as ｷｬﾝｾﾙ.
class ListForm : public QDialog {
    Q_OBJECT
public:
    enum { Ok = 1, Cancel = 2 };

    void FormShow();
    void btnAddNewClick();
    void btnDeleteClick();
    void btnOkClick();
    void btnCancelClick();
    void reject() override;

    ListGrid* list() const { return m_list; }
    // At the next showing, the row of this line as stored is made current, if the file still
    // holds it (an entry found by a search).
    void SelectLineAtShowing(const QByteArray& line) { m_lineToSelect = line; }
    // Orders the entries as the file keeps them; the current row stays at its position.
    void sortEntries();

    QPushButton* btnAddNew;
    QPushButton* btnDelete;
    QPushButton* btnOk;
    QPushButton* btnCancel;

protected:
    struct Columns {
        QStringList headers;
        QList<int> widths;  // -1 hides a column
        int keyColumn;      // the date: sorted by, and empty in a row that is no entry
        int titleColumn;    // empty in a blank row, which 新規 then takes as it is
        bool newestFirst;   // sort descending
        QByteArray lineEnd; // written after each new line
    };
    ListForm(QWidget* parent, const QString& gridName, int width, int height, Columns columns);

    // The file of the list as now chosen.
    virtual QString filePath() const = 0;
    // Sets the caption and anything else a showing depends on.
    virtual void prepareShowing() {}
    // Fills the editor from the current row and runs it (the grid's double-click).
    virtual void openEditor() = 0;
    virtual QWidget* editor() const = 0;
    // Puts the grid's rows in the order the file keeps; by the key column unless a list knows
    // better.
    virtual void sortRows(StringGrid& grid) const;

    void showEvent(QShowEvent* event) override;

    ListGrid* m_list;

private:
    Columns m_columns;
    ListFile m_file;
    // Whether the grid holds the file as read at this showing.
    bool m_fileRead = false;
    QByteArray m_lineToSelect;
};

// What the two editors share: a title of 20 bytes, OK and ｷｬﾝｾﾙ, and the row of their list
// they work on. OK writes the row and sorts the list again; ｷｬﾝｾﾙ of a new entry deletes the row
// 新規 prepared; closing through the window system counts as ｷｬﾝｾﾙ. They never touch a file.
class EditForm : public QDialog {
    Q_OBJECT
public:
    // The stored title of the row; handed back unchanged when the user leaves it as it was.
    void setTitle(const QByteArray& title);

    void btnOkClick();
    void btnCancelClick();
    void reject() override;

    // 0 while a new entry is edited, 1 for an existing one; set by the list window.
    int EntryMode = 0;

    Cp932LineEdit* editTitle;
    QPushButton* btnOk;
    QPushButton* btnCancel;

protected:
    EditForm(ListForm* listForm, QWidget* parent, int width, int height);

    // Writes the entry into a row of the list; the title is already in place.
    virtual void storeRow(StringGrid& grid, int row) const = 0;
    // Where the focus goes when the editor shows.
    virtual void FormShow() = 0;

    void showEvent(QShowEvent* event) override;

    // Both lists keep the title in their second column.
    static constexpr int TitleColumn = 1;

    ListForm* m_listForm;
};
