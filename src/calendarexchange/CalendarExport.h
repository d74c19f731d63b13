#pragma once

#include <QDialog>

class QLayout;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The files both windows offer.
inline const QString IcsFilter = QStringLiteral("iCalendar (*.ics)");
// A year spinner over the years the calendar shows, starting at year.
QSpinBox* NewYearBox(QWidget* parent, const QString& name, int year);
// The rows both windows have: "caption [first] から [last] まで", and a text at the left of
// OK and ｷｬﾝｾﾙ at the right (lead may be nullptr).
QLayout* NewYearRangeRow(QWidget* parent, const QString& caption, QSpinBox* first, QSpinBox* last);
QLayout* NewButtonRow(QWidget* lead, QPushButton* ok, QPushButton* cancel);

// Asks for the .ics file and the years to write, and writes them (BuildIcsCalendar).
class TCalendarExportForm : public QDialog {
    Q_OBJECT
public:
    explicit TCalendarExportForm(QWidget* parent = nullptr);

    QLineEdit* editFile;
    QPushButton* btnBrowse;
    QSpinBox* editFirstYear;
    QSpinBox* editLastYear;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    void btnBrowseClick();
    // Writes the file and closes with OK; a failure is reported and the window stays open.
    void btnOkClick();
    void btnCancelClick();
};

// The menu command: the export window over the given window's corner.
void RunCalendarExport(QWidget* over);
