#include "schedule/MainEdit.h"

#include "data/Codec.h"
#include "data/ErrorReport.h"
#include "data/KalendoError.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/EntryIdentity.h"
#include "rules/ListFile.h"
#include "schedule/MainInput.h"
#include "widgets/FormParts.h"
#include "widgets/UiLook.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

const QStringList kHeaders = {
    QStringLiteral("日付"), QStringLiteral("№"),    QStringLiteral("開始"), QStringLiteral("終了"),
    QStringLiteral("予定"), QStringLiteral("場所"), QStringLiteral("内容")};
const QList<int> kWidths = {-1, 35, 55, 55, 200, 200, 300};
constexpr int MemoColumnMin = 100;

// The columns for a window of the given width: a narrowed window takes the room from 内容 first,
// down to MemoColumnMin; narrower still, the list scrolls sideways.
QList<int> columnWidths(const QWidget* window) {
    QList<int> widths = kWidths;
    int others = 0;
    for (int c = 0; c + 1 < widths.size(); ++c)
        others += std::max(0, widths.at(c));
    const int room = window->width() - 2 - window->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    widths.last() = std::clamp(room - others, MemoColumnMin, int(kWidths.last()));
    return widths;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

// The data rows as lines without their numbers, which a sort and renumbering change.
QByteArrayList entryLines(const StringGrid& grid) {
    QByteArrayList out;
    for (int r = grid.fixedRows(); r < grid.rowCount(); ++r) {
        Row row = grid.row(r);
        row[ScheduleColumn::Number].clear();
        out << RowToCommaLine(row);
    }
    return out;
}

// Whether the day's lines as saved are most of the year's file: the month reads such a year again
// as cheaply as it takes the day, and kept they would be another copy of the year beside the
// identity step's.
bool mostlyTheDay(const SavedDay& saved) {
    qint64 bytes = 0;
    for (const QByteArray& line : saved.dayLines)
        bytes += line.size();
    return bytes >= SharedCellBytes && bytes >= saved.written.size / 2;
}

} // namespace

TMainEditForm::TMainEditForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("MainEditForm"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    // Narrower on a small or scaled screen, where the list then scrolls sideways.
    setMinimumSize(360, 160);
    setMaximumSize(868, 320);
    resize(868, 320);
    SetFontWhenShown(this, GothicFont(15));

    btnAddNew = makeButton(this, "btnAddNew", QStringLiteral("新規"), QRect(4, 3, 80, 26));
    btnDelete = makeButton(this, "btnDelete", QStringLiteral("削除"), QRect(88, 3, 80, 26));
    btnOk = makeButton(this, "btnOk", QStringLiteral("OK"), QRect(696, 3, 80, 26));
    btnCancel = makeButton(this, "btnCancel", QStringLiteral("ｷｬﾝｾﾙ"), QRect(782, 3, 80, 26));
    SetLegibleTextColor(btnAddNew, QPalette::ButtonText, Qt::blue);
    SetLegibleTextColor(btnDelete, QPalette::ButtonText, Qt::red);

    gridEdit = new ListGrid(this);
    gridEdit->setObjectName(QStringLiteral("gridEdit"));
    gridEdit->setGeometry(0, 32, 868, 288);
    gridEdit->grid() = StringGrid(ScheduleColumn::Count, 2, 1, 2);
    SetUpTable(gridEdit, QStringLiteral("予定一覧"));
    gridEdit->setDrawCellHandler(
        [this](QPainter& painter, const ListCell& cell) { gridEditDrawCell(painter, cell); });
    gridEdit->refresh();

    gridCalDat = StringGrid(ScheduleColumn::Count, 0, 0, 0);

    connect(btnAddNew, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnAddNewClick(); }); });
    connect(btnDelete, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnDeleteClick(); }); });
    connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnCancelClick(); }); });
    connect(gridEdit, &ListGrid::dblClicked, this,
            [this] { Guarded([this] { gridEditDblClick(); }); });
}

void TMainEditForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    btnOk->move(width() - 172, btnOk->y());
    btnCancel->move(width() - 86, btnCancel->y());
    gridEdit->setGeometry(0, 32, width(), height() - 32);
    gridEdit->setColumnWidths(columnWidths(this));
    // Narrowed to a small screen, the list scrolls its columns sideways.
    gridEdit->setHorizontalScrollBarPolicy(width() < maximumWidth() ? Qt::ScrollBarAsNeeded
                                                                    : Qt::ScrollBarAlwaysOff);
}

TMainInputForm* TMainEditForm::inputForm() {
    if (!m_inputForm)
        m_inputForm = new TMainInputForm(gridEdit, this);
    return m_inputForm;
}

QByteArray TMainEditForm::DayKey() const {
    return CaptionDayKey(windowTitle());
}

void TMainEditForm::LoadDaySchedule() {
    const QString path = ScheduleFilePath(DataFolder(), CaptionYear(windowTitle()));
    TextBuffer year;
    DayLineStarts starts;
    DayLineRows rows;
    LoadDayRows(path, DayKey(), year, gridEdit->grid(), &starts, &rows);
    m_inexact = InexactTextKeys(DataFolder(), CaptionYear(windowTitle()));
    m_year = std::move(year);
    m_dayStarts = std::move(starts);
    m_dayRows = std::move(rows);
    m_saved.reset();
    m_yearLoaded = true;
    gridEdit->refresh();
}

void TMainEditForm::SelectLine(const QByteArray& line) {
    const int row = line.isEmpty() ? -1 : FindLineRow(gridEdit->grid(), line);
    if (row >= 0)
        gridEdit->setCurrentGridRow(row);
}

void TMainEditForm::FormShow() {
    showRows();
    gridEdit->setFocus();
}

void TMainEditForm::showRows() {
    StringGrid& grid = gridEdit->grid();
    for (int c = 0; c < ScheduleColumn::Count; ++c)
        grid.setCell(c, 0, Codec::encodeOrThrow(kHeaders.at(c)));
    gridEdit->setColumnWidths(columnWidths(this));
    // The first row, or the one SelectLine made current since the day was loaded.
    gridEdit->setCurrentGridRow(grid.currentRow());
    gridEdit->refresh();
}

void TMainEditForm::Prepare(const QString& date) {
    if (m_prepared || isVisible())
        return;
    m_prepared = true;
    setIcons();
    setFont(GothicFont(15));
    gridEdit->setUpView();
    // Painted once off the screen with the day's rows: the glyphs of their texts, the year's
    // marks of inexact texts and the painting code, which a first showing would otherwise wait
    // for. Another day shares most of them.
    const QString caption = windowTitle();
    setWindowTitle(date);
    try {
        LoadDaySchedule();
    } catch (const KalendoError&) {
        // The opening itself reads the day again and says what is wrong.
    }
    showRows();
    // Into the window's own image, made now with the window: the first showing then finds its
    // memory in place, and the showing paints it again anyway.
    create();
    if (QBackingStore* store = backingStore()) {
        store->resize(size());
        store->beginPaint(QRegion(rect()));
        render(store->paintDevice());
        store->endPaint();
    } else {
        QImage page(size(), QImage::Format_ARGB32_Premultiplied);
        render(&page);
    }
    forgetDay();
    setWindowTitle(caption);
}

void TMainEditForm::setIcons() {
    if (btnAddNew->icon().isNull()) {
        // Looking the icons up in the desktop's theme costs more than a fifth of start-up and
        // half of a first opening: done by Prepare() or when the window is first shown.
        btnAddNew->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
        btnDelete->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    }
}

void TMainEditForm::showEvent(QShowEvent* event) {
    setIcons();
    if (!m_centred) {
        // Centred on the screen the first time; later openings stay where the user left it.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
        m_centred = true;
    }
    QDialog::showEvent(event);
    FormShow();
}

void TMainEditForm::btnOkClick() {
    // A failure throws before done(): the window stays open with its rows and the atomic
    // write has left the file as it was.
    // Without the year's lines as read at this opening, a save would lose the other days.
    if (!m_yearLoaded) {
        done(2);
        return;
    }
    const int year = CaptionYear(windowTitle());
    const QString path = ScheduleFilePath(DataFolder(), year);
    const QByteArray dayKey = DayKey();
    SavedDay saved;
    std::optional<quint64> written;
    const ChangedFileSave save =
        SaveDay(path, m_year, gridEdit->grid(), dayKey, m_dayStarts ? &*m_dayStarts : nullptr,
                &saved, &written, m_dayStarts ? &m_dayRows : nullptr);
    ReportBackupFailure(save.backupFailure);
    if (const QString message = ChangedFileMessage(save, path); !message.isEmpty())
        ErrorReport::report(message);
    if (save.outcome == ChangedFileSave::Conflict) {
        // Both sides stay in the list; nothing is lost until the user decides.
        m_dayStarts.reset(); // the year is now the version the other program wrote
        m_dayRows = DayLineRows();
        gridEdit->refresh();
        return;
    }
    if (save.outcome == ChangedFileSave::Saved && m_dayStarts && !mostlyTheDay(saved))
        m_saved = std::move(saved);
    saved = SavedDay();
    // The year as read is no longer needed, and the identity step reads the year and its
    // identity file whole: together they would make the largest year's peak. The rows go too:
    // a large field shares the year's bytes, and the window closes once the step is done.
    m_year = TextBuffer();
    m_dayStarts.reset();
    m_dayRows = DayLineRows();
    clearRows();
    gridEdit->refresh();
    const QStringList identityFailures =
        RecordYearIdentities(DataFolder(), year, {}, m_edits,
                             save.outcome == ChangedFileSave::Saved && written ? &*written
                                                                              : nullptr);
    done(1);
    for (const QString& failure : identityFailures)
        ReportBackupFailure(failure);
}

void TMainEditForm::btnCancelClick() {
    done(2);
}

std::optional<SavedDay> TMainEditForm::TakeSavedDay() {
    return std::exchange(m_saved, std::nullopt);
}

void TMainEditForm::done(int result) {
    QDialog::done(result);
    if (result != 1)
        m_saved.reset();
    forgetDay();
}

void TMainEditForm::forgetDay() {
    // The other days' lines are the bulk of a heavy year, and a busy day's rows are many:
    // nothing of either is kept once closed. The next opening loads its day anew.
    m_year = TextBuffer();
    m_yearLoaded = false;
    m_dayStarts.reset();
    m_dayRows = DayLineRows();
    m_edits.clear();
    clearRows();
    gridEdit->refresh();
#ifdef __GLIBC__
    // The year's bytes were taken from the heap once glibc had raised its threshold for giving
    // large blocks their own mapping; freed there they would stay with the process for good.
    // (Fixing that threshold instead cost the next opening more than this does.)
    malloc_trim(0);
#endif
}

void TMainEditForm::clearRows() {
    StringGrid& grid = gridEdit->grid();
    StringGrid emptied(ScheduleColumn::Count, grid.fixedRows() + 1, grid.fixedRows(),
                       grid.fixedColumns());
    for (int r = 0; r < grid.fixedRows(); ++r)
        emptied.setRow(r, grid.row(r));
    grid = std::move(emptied);
}

// Escape and the close box come here.
void TMainEditForm::reject() {
    btnCancelClick();
}

void TMainEditForm::btnAddNewClick() {
    PrepareNewListRow(gridEdit->grid(), ScheduleColumn::Title);
    gridEdit->refresh();
    gridEditDblClick();
    gridEdit->setFocus();
}

void TMainEditForm::btnDeleteClick() {
    DeleteDayRow(gridEdit->grid());
    gridEdit->refresh();
    gridEdit->setFocus();
}

void TMainEditForm::gridEditDblClick() {
    const StringGrid& grid = gridEdit->grid();
    const int row = grid.currentRow();
    TMainInputForm* editor = inputForm();
    EntryMode = grid.cell(ScheduleColumn::Title, row).isEmpty() ? 0 : 1;
    // The fields show the entry's cells, a new entry's empty; a field the user leaves as it
    // is gives its stored bytes back.
    const auto cell = [&](int column) {
        return EntryMode == 1 ? grid.cell(column, row) : QByteArray();
    };
    editor->MaskEdit1->setStoredTime(cell(ScheduleColumn::Start));
    editor->MaskEdit2->setStoredTime(cell(ScheduleColumn::End));
    editor->editSchedule->setStoredBytes(cell(ScheduleColumn::Title), true);
    editor->editPlace->setStoredBytes(cell(ScheduleColumn::Place), true);
    editor->editMemo->setStoredBytes(cell(ScheduleColumn::Memo), true);
    editor->setWindowTitle(EntryMode == 1 ? QStringLiteral("修正中です...")
                                          : QStringLiteral("新規作成中です..."));
    editor->setDay(DayKey(), EntryMode);
    const QByteArrayList before = entryLines(grid);
    editor->exec();
    if (EntryMode == 1)
        noteEdit(before, entryLines(grid));
    gridEdit->refresh();
}

void TMainEditForm::noteEdit(QByteArrayList before, QByteArrayList after) {
    // The rows as they were and are: the one that went and the one that came are the entry.
    for (qsizetype i = after.size() - 1; i >= 0; --i)
        if (before.removeOne(after.at(i)))
            after.removeAt(i);
    if (before.size() != 1 || after.size() != 1)
        return;
    for (EntryEdit& edit : m_edits) {
        if (edit.after == before.first()) {
            edit.after = after.first(); // edited again
            return;
        }
    }
    m_edits << EntryEdit{before.first(), after.first()};
}

void TMainEditForm::gridEditDrawCell(QPainter& painter, const ListCell& cell) {
    if (cell.column == ScheduleColumn::Title && cell.row >= cell.fixedRows &&
        !m_inexact.isEmpty()) {
        const StringGrid& grid = gridEdit->grid();
        QList<QByteArray> cells;
        for (int c = 0; c < ScheduleColumn::Count; ++c)
            cells << grid.cell(c, cell.row);
        if (m_inexact.contains(InexactTextKey(cells))) {
            ListCell marked = cell;
            marked.text.prepend(QStringLiteral("※"));
            DrawListCell(painter, marked);
            return;
        }
    }
    DrawListCell(painter, cell);
}
