#include "calendarexchange/CalendarExport.h"

#include "data/ErrorReport.h"
#include "exchange/IcalHandle.h"
#include "exchange/IcsExport.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "widgets/FileChooser.h"
#include "widgets/FormParts.h"

#include <QBoxLayout>
#include <QDir>
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

QLayout* NewYearRangeRow(QWidget* parent, const QString& caption, QSpinBox* first, QSpinBox* last) {
    auto* row = new QHBoxLayout;
    NameField(first, caption + QStringLiteral(" 開始年"));
    NameField(last, caption + QStringLiteral(" 終了年"));
    auto* label = new QLabel(caption, parent);
    // A long caption takes two lines in a window narrowed to a small screen.
    label->setWordWrap(true);
    row->addWidget(label);
    row->addWidget(first);
    row->addWidget(new QLabel(QStringLiteral("から"), parent));
    row->addWidget(last);
    row->addWidget(new QLabel(QStringLiteral("まで"), parent));
    row->addStretch(1);
    return row;
}

QLayout* NewButtonRow(QWidget* lead, QPushButton* ok, QPushButton* cancel) {
    auto* row = new QHBoxLayout;
    if (lead)
        row->addWidget(lead);
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
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

    auto* file = new QHBoxLayout;
    auto* fileLabel = new QLabel(QStringLiteral("ファイル"), this);
    fileLabel->setBuddy(editFile);
    NameField(editFile, fileLabel);
    file->addWidget(fileLabel);
    file->addWidget(editFile, 1);
    file->addWidget(btnBrowse);
    auto* rows = new QVBoxLayout(this);
    rows->addLayout(file);
    rows->addLayout(NewYearRangeRow(this, QStringLiteral("期間"), editFirstYear, editLastYear));
    rows->addLayout(NewButtonRow(nullptr, btnOk, btnCancel));

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
    const IcsExportCounts counts =
        ExportIcsFile(editFile->text(), DataFolder(), first, last, ExchangeZoneId());
    done(1);
    ShowMessageBox(
        parentWidget(), QMessageBox::Information, windowTitle(),
        QStringLiteral("%1件の予定を書き出しました。\n%2")
            .arg(counts.events + counts.schedules + counts.holidays + counts.anniversaries)
            .arg(QDir::toNativeSeparators(editFile->text())));
    for (const QString& message : counts.messages)
        ReportBackupFailure(message);
}

void TCalendarExportForm::btnCancelClick() {
    done(2);
}

void RunCalendarExport(QWidget* over) {
    TCalendarExportForm form(over);
    form.move(over->pos());
    form.exec();
}
