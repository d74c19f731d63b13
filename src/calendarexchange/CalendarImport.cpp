#include "calendarexchange/CalendarImport.h"

#include "calendarexchange/CalendarExport.h"
#include "data/Codec.h"
#include "data/ErrorReport.h"
#include "data/TextFile.h"
#include "exchange/IcalHandle.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "widgets/FileChooser.h"
#include "widgets/FormParts.h"
#include "widgets/UiLook.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

namespace {

const QColor ExistsText(0x80, 0x80, 0x80);
const QColor RefusedText(0xC0, 0x00, 0x00);

QString stateText(IcsImportItem::State state) {
    switch (state) {
    case IcsImportItem::Add:
        return QStringLiteral("追加");
    case IcsImportItem::Exists:
        return QStringLiteral("既存");
    case IcsImportItem::Refused:
        return QStringLiteral("追加しない");
    case IcsImportItem::Update:
        return QStringLiteral("更新");
    }
    return QString();
}

} // namespace

TCalendarImportForm::TCalendarImportForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("CalendarImportForm"));
    setWindowTitle(QStringLiteral("iCalendar形式で読み込み"));
    SetFormFont(this);
    resize(900, 480);
    lblFile = new QLabel(this);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    lblFile->setTextFormat(Qt::PlainText); // a file's name is no markup
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setWordWrap(true);
    const int year = Clock::today().year();
    editFirstYear = NewYearBox(this, QStringLiteral("editFirstYear"), year);
    editLastYear = NewYearBox(this, QStringLiteral("editLastYear"), year + 1);
    checkDropUnencodable = new QCheckBox(QStringLiteral("保存できない文字は除いて追加する"), this);
    checkDropUnencodable->setObjectName(QStringLiteral("checkDropUnencodable"));
    gridPreview = new QTableWidget(0, 8, this);
    gridPreview->setObjectName(QStringLiteral("gridPreview"));
    SetUpTable(gridPreview, QStringLiteral("読み込む予定"));
    gridPreview->setHorizontalHeaderLabels({QStringLiteral("日付"), QStringLiteral("開始"),
                                            QStringLiteral("終了"), QStringLiteral("予定"),
                                            QStringLiteral("場所"), QStringLiteral("内容"),
                                            QStringLiteral("処理"), QStringLiteral("変更・理由")});
    gridPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridPreview->setSelectionBehavior(QAbstractItemView::SelectRows);
    gridPreview->verticalHeader()->hide();
    gridPreview->horizontalHeader()->setStretchLastSection(true);
    // Date, times and state always show whole, in whatever font the window gets when shown.
    for (const int c : {0, 1, 2, 6})
        gridPreview->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setWordWrap(true);
    btnOk = NewFormButton(this, QStringLiteral("btnOk"), QStringLiteral("OK"));
    btnCancel = NewFormButton(this, QStringLiteral("btnCancel"), QStringLiteral("ｷｬﾝｾﾙ"));

    auto* rows = new QVBoxLayout(this);
    rows->addWidget(lblFile);
    rows->addLayout(NewYearRangeRow(this, QStringLiteral("繰り返しの予定を展開する期間"),
                                    editFirstYear, editLastYear));
    rows->addWidget(checkDropUnencodable);
    rows->addWidget(gridPreview, 1);
    rows->addWidget(lblStatus);
    rows->addLayout(NewButtonRow(lblSummary, btnOk, btnCancel));

    const auto replan = [this] { Guarded([this] { OptionsChange(); }); };
    connect(editFirstYear, &QSpinBox::valueChanged, this, replan);
    connect(editLastYear, &QSpinBox::valueChanged, this, replan);
    connect(checkDropUnencodable, &QCheckBox::toggled, this, replan);
    connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

void TCalendarImportForm::LoadIcsFile(const QString& path) {
    const IcsText text = DecodeIcsBytes(LoadFileBytes(path));
    m_ics = text.utf8;
    lblFile->setText(
        QStringLiteral("ファイル: %1（%2）").arg(QFileInfo(path).fileName(), text.encoding));
    OptionsChange();
}

void TCalendarImportForm::OptionsChange() {
    IcsImportOptions options;
    options.firstYear = std::min(editFirstYear->value(), editLastYear->value());
    options.lastYear = std::max(editFirstYear->value(), editLastYear->value());
    options.zoneId = ExchangeZoneId();
    options.dropUnencodable = checkDropUnencodable->isChecked();
    m_plan = PlanIcsImport(m_ics, DataFolder(), options);
    showPlan();
}

void TCalendarImportForm::showPlan() {
    gridPreview->setRowCount(int(m_plan.items.size()));
    for (int r = 0; r < m_plan.items.size(); ++r) {
        const IcsImportItem& item = m_plan.items.at(r);
        const QStringList cells = {item.day.toString(QStringLiteral("yyyy/MM/dd")),
                                   QString::fromLatin1(item.entry.start),
                                   QString::fromLatin1(item.entry.end),
                                   Codec::toUnicode(item.entry.title),
                                   Codec::toUnicode(item.entry.place),
                                   Codec::toUnicode(item.entry.memo),
                                   stateText(item.state),
                                   item.notes.join(QStringLiteral("、"))};
        for (int c = 0; c < cells.size(); ++c) {
            auto* cell = new QTableWidgetItem(cells.at(c));
            cell->setToolTip(cells.at(c)); // a long note shows whole
            if (item.state != IcsImportItem::Add)
                cell->setForeground(
                    LegibleOn(item.state == IcsImportItem::Exists ? ExistsText : RefusedText,
                              gridPreview->palette().color(QPalette::Base)));
            gridPreview->setItem(r, c, cell);
        }
    }
    gridPreview->resizeColumnsToContents();
    // A long title, place or memo leaves room for the rest; its tooltip shows it whole.
    for (const int c : {3, 4, 5})
        gridPreview->setColumnWidth(c, std::min(gridPreview->columnWidth(c), 220));
    lblSummary->setText(
        QStringLiteral("追加 %1件　更新 %2件　既存 %3件　追加しない %4件　対象外 %5件")
            .arg(m_plan.count(IcsImportItem::Add))
            .arg(m_plan.count(IcsImportItem::Update))
            .arg(m_plan.count(IcsImportItem::Exists))
            .arg(m_plan.count(IcsImportItem::Refused))
            .arg(m_plan.ignoredEvents));
    lblStatus->setText(m_plan.limits.join(QStringLiteral("。")));
    lblStatus->setVisible(!m_plan.limits.isEmpty());
}

void TCalendarImportForm::btnOkClick() {
    const QStringList backupFailures = ApplyIcsImport(m_plan, DataFolder());
    done(1);
    for (const QString& failure : backupFailures)
        ReportBackupFailure(failure);
}

void TCalendarImportForm::btnCancelClick() {
    done(2);
}

int RunCalendarImport(QWidget* over) {
    const QString path =
        ChooseFile(over, FileChoice::Open, QStringLiteral("iCalendar形式で読み込み"),
                   QDir::homePath(), IcsFilter);
    if (path.isEmpty())
        return 2;
    TCalendarImportForm form(over);
    form.LoadIcsFile(path);
    form.move(over->pos());
    return form.exec();
}
