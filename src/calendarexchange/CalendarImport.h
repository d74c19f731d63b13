#pragma once

#include "exchange/IcsImport.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

// The preview of an import: what each day gets, what is already there, what had to change to
// fit and what cannot be stored. Nothing is written before OK.
class TCalendarImportForm : public QDialog {
    Q_OBJECT
public:
    explicit TCalendarImportForm(QWidget* parent = nullptr);

    QLabel* lblFile;
    QSpinBox* editFirstYear;
    QSpinBox* editLastYear;
    QCheckBox* checkDropUnencodable;
    QTableWidget* gridPreview;
    QLabel* lblSummary;
    // What the limits left out, or why nothing is listed; hidden when there is nothing to say.
    QLabel* lblStatus;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    // Reads the file and lists what it would add; a file that is no calendar throws.
    void LoadIcsFile(const QString& path);
    const IcsImportPlan& Plan() const { return m_plan; }

    // The years or the choice about unencodable text changed: the list is made again.
    void OptionsChange();
    // Writes the year files and closes with OK; a failure is reported and the window stays.
    void btnOkClick();
    void btnCancelClick();

private:
    void showPlan();

    QByteArray m_ics;
    IcsImportPlan m_plan;
};

// The menu command: the file choice, then the preview over the given window's corner; the
// preview's result (1 when entries were written).
int RunCalendarImport(QWidget* over);
