#include "calendarexchange/CalendarExport.h"

#include "data/ErrorReport.h"
#include "exchange/IcalHandle.h"
#include "exchange/IcsExport.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "widgets/FileChooser.h"
#include "widgets/FormParts.h"

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

QSpinBox* NewYearBox(QWidget* parent, const QString& name, int year) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(1980, 2099);
    box->setValue(year);
    box->setSuffix(QStringLiteral("年"));
    return box;
}

TCalendarExportForm::TCalendarExportForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("CalendarExportForm"));
    setWindowTitle(QStringLiteral("iCalendar形式で書き出し"));
    SetFormFont(this);
    editFile = new QLineEdit(QDir::homePath() + QStringLiteral("/kalendo.ics"), this);
    editFile->setObjectName(QStringLiteral("editFile"));
    editFile->setMinimumWidth(320);
    btnBrowse = NewFormButton(this, QStringLiteral("btnBrowse"), QStringLiteral("参照..."));
    const int year = Clock::today().year();
    editFirstYear = NewYearBox(this, QStringLiteral("editFirstYear"), year);
    editLastYear = NewYearBox(this, QStringLiteral("editLastYear"), year + 1);
    btnOk = NewFormButton(this, QStringLiteral("btnOk"), QStringLiteral("OK"));
    btnCancel = NewFormButton(this, QStringLiteral("btnCancel"), QStringLiteral("ｷｬﾝｾﾙ"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("ファイル"), this), 0, 0);
    grid->addWidget(editFile, 0, 1, 1, 3);
    grid->addWidget(btnBrowse, 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("期間"), this), 1, 0);
    grid->addWidget(editFirstYear, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("から"), this), 1, 2);
    grid->addWidget(editLastYear, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("まで"), this), 1, 4);
    grid->addWidget(btnOk, 2, 3);
    grid->addWidget(btnCancel, 2, 4);

    connect(btnBrowse, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnBrowseClick(); }); });
    connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

void TCalendarExportForm::btnBrowseClick() {
    const QString path =
        ChooseFile(this, FileChoice::Save, windowTitle(), editFile->text(), IcsFilter);
    if (!path.isEmpty())
        editFile->setText(path);
}

void TCalendarExportForm::btnOkClick() {
    const int first = std::min(editFirstYear->value(), editLastYear->value());
    const int last = std::max(editFirstYear->value(), editLastYear->value());
    ExportIcsFile(editFile->text(), DataFolder(), first, last, ExchangeZoneId());
    done(1);
}

void TCalendarExportForm::btnCancelClick() {
    done(2);
}

void RunCalendarExport(QWidget* over) {
    TCalendarExportForm form(over);
    form.move(over->pos());
    form.exec();
}
