#pragma once

#include "data/TextFile.h"
#include "rules/DaySchedule.h"
#include "rules/EntryIdentity.h"
#include "rules/StringGrid.h"
#include "widgets/ListGrid.h"

#include <QDialog>

#include <optional>

class QPushButton;
class TMainInputForm;

// The day schedule list: the entries of the day whose date "YYYY/MM/DD" is the caption.
// The opener sets the caption, calls LoadDaySchedule() and exec()s; 1 means the year's file was
// written, 2 that nothing was. Nothing reaches the file before OK; a failed save throws
// KalendoError and the window stays open with its rows, so OK can be tried again.
class TMainEditForm : public QDialog {
    Q_OBJECT
public:
    explicit TMainEditForm(QWidget* parent = nullptr);

    // The editor that works on this list's current row; made on first use unless set.
    void setInputForm(TMainInputForm* form) { m_inputForm = form; }
    TMainInputForm* inputForm();

    // YYYYMMDD of the caption; throws KalendoError for a caption that is not a date.
    QByteArray DayKey() const;

    void LoadDaySchedule();
    // After LoadDaySchedule: makes the row of an entry's line as stored current, if the day
    // holds it, so that the window opens on it (an entry found by a search).
    void SelectLine(const QByteArray& line);
    // Makes what the first showing needs ahead of it, while the user is not waiting, with the
    // rows of the day (a caption) most likely opened first; the showing makes whatever is not
    // made yet. Leaves nothing of the day behind.
    void Prepare(const QString& date);
    void FormShow();
    void btnOkClick();
    void btnCancelClick();
    void btnAddNewClick();
    void btnDeleteClick();
    void gridEditDblClick();
    void gridEditDrawCell(QPainter& painter, const ListCell& cell);

    // 1 while the editor works on an existing entry, 0 on a new one.
    int EntryMode = 0;

    QPushButton* btnAddNew;
    QPushButton* btnDelete;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    ListGrid* gridEdit;
    // Every line of the year's file as a row, in file order; never shown and, since the lines
    // read are kept as they are for the save, never filled.
    StringGrid gridCalDat;

    void reject() override;
    void done(int result) override;

    // What the last OK wrote over the year's file, once, for the month view's tables
    // (YearTables::takeSavedDay); nothing after a cancel, a merge or a conflict.
    std::optional<SavedDay> TakeSavedDay();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setIcons();
    void showRows();
    // Drops the year's lines and the day's rows, which a closed list has no use for.
    void forgetDay();
    // Leaves the header rows and one empty row.
    void clearRows();

    // The year's file as read, so the other days' lines are written back byte for byte.
    TextBuffer m_year;
    bool m_yearLoaded = false;
    // Where the day's lines start in m_year, while it is the version the day was listed from.
    std::optional<DayLineStarts> m_dayStarts;
    // The rows those lines were read as; they share the year's bytes where a field is large.
    DayLineRows m_dayRows;
    std::optional<SavedDay> m_saved;
    TMainInputForm* m_inputForm = nullptr;
    // Entries the editor changed since the opening, so that each keeps its identity at OK.
    QList<EntryEdit> m_edits;
    QSet<QByteArray> m_inexact; // rows shown with 「※」 (InexactTextKeys)
    void noteEdit(QByteArrayList before, QByteArrayList after);
    bool m_centred = false;
    bool m_prepared = false;
};
