#include "app/Main.h"

#include "anniversary/Anniversary.h"
#include "app/About.h"
#include "app/Artwork.h"
#include "app/Extras.h"
#include "app/FileVersion.h"
#include "app/Forms.h"
#include "app/GuidePanel.h"
#include "app/KalendoApplication.h"
#include "app/Shell.h"
#include "app/Splash.h"
#include "data/ShownText.h"
#include "monthview/CalendarGridAccessible.h"
#include "monthview/MonthCellPaint.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/EntryIdentity.h"
#include "rulesets/ComWeeks.h"
#include "searchwindow/SearchForm.h"
#include "widgets/DeferredIcon.h"
#include "widgets/FormParts.h"
#include "widgets/UiLook.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScopeGuard>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QWheelEvent>
#include <QWindow>

#include <optional>

namespace {

const QString LeftKey = QStringLiteral("Windows/Left");
const QString TopKey = QStringLiteral("Windows/Top");
const QColor Teal(0x00, 0x80, 0x80);
const QColor HintGreen(0x96, 0xF5, 0x96);
constexpr int ClientWidth = 240;
constexpr int ClientHeight = 294;

QSettings userSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vantree"),
                     QStringLiteral("Kalendo"));
}

int readEdge(const QSettings& settings, const QString& key) {
    bool ok = false;
    const int value = settings.value(key).toString().toInt(&ok);
    return ok ? value : 0;
}

QLineEdit* monthField(QWidget* parent, const char* name, const QString& text) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    // Reached by Tab, a year or month is typed and taken with Enter or on leaving the field.
    edit->setFocusPolicy(Qt::StrongFocus);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setFont(GothicFont(21, true));
    edit->setTextMargins(0, 0, 0, 0);
    edit->setText(text);
    return edit;
}

QPushButton* arrowButton(QWidget* parent, const char* name, Qt::ArrowType direction) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(ArrowIcon(direction));
    button->setCursor(Qt::PointingHandCursor);
    // Tab stops here too, but a click leaves the focus on the grid.
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

// The busy cursor over the whole screen while a fill runs.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

QPoint ReadWindowPosition() {
    const QSettings settings = userSettings();
    return QPoint(readEdge(settings, LeftKey), readEdge(settings, TopKey));
}

void WriteWindowPosition(const QPoint& position) {
    QSettings settings = userSettings();
    settings.setValue(LeftKey, QString::number(position.x()));
    settings.setValue(TopKey, QString::number(position.y()));
}

bool OnSomeScreen(const QRect& frame) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    return screens.isEmpty() ||
           std::any_of(screens.begin(), screens.end(),
                       [&](const QScreen* screen) { return screen->geometry().intersects(frame); });
}

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_hintHook(new THintHook(this)) {
    setObjectName(QStringLiteral("MainForm"));
    // Drawn when the desktop first asks for it, which it may never do.
    setWindowIcon(DeferredIcon(ProgramIcon));

    auto* client = new QWidget(this);
    SetWindowColor(client, Teal);
    setCentralWidget(client);
    // A text field lays its empty text out as it is made, in the application's font and then
    // in the one it inherits: both are the fields' own meanwhile, so that the default face,
    // which this window never shows, is not loaded before the first paint.
    const QFont applicationFont = QApplication::font();
    QApplication::setFont(GothicFont(21, true));
    client->setFont(GothicFont(21, true));

    btnPrev = arrowButton(client, "btnPrev", Qt::LeftArrow);
    btnPrev->setGeometry(10, 7, 36, 26);
    editYear = monthField(client, "editYear", QStringLiteral("1980"));
    editYear->setGeometry(52, 6, 54, 27);
    btnYear = new TUpDown(1980, 2099, client);
    btnYear->setObjectName(QStringLiteral("btnYear"));
    btnYear->setAssociate(editYear);
    btnYear->setGeometry(106, 6, 16, 27);
    editMonth = monthField(client, "editMonth", QStringLiteral("1"));
    editMonth->setGeometry(130, 6, 33, 27);
    btnMonth = new TUpDown(1, 12, client);
    btnMonth->setObjectName(QStringLiteral("btnMonth"));
    btnMonth->setAssociate(editMonth);
    btnMonth->setGeometry(163, 6, 16, 27);
    btnNext = arrowButton(client, "btnNext", Qt::RightArrow);
    btnNext->setGeometry(194, 7, 36, 26);
    QApplication::setFont(applicationFont);
    client->setFont(QFont());

    gridCal = new TCalendarGrid(client);
    gridCal->setObjectName(QStringLiteral("gridCal"));
    gridCal->setFont(GothicFont(24));
    gridCal->setGeometry(10, 40, 220, 220);

    GuidePanel = new TGuidePanel(client);
    GuidePanel->setObjectName(QStringLiteral("GuidePanel"));
    GuidePanel->setGeometry(0, ClientHeight - 26, ClientWidth, 26);

    MainMenu = menuBar();
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    // Menus use the desktop's smaller menu text, not the window's 15 pixels: all three titles
    // fit across the fixed width.
    MainMenu->setFont(MenuFont());
    File1 = MainMenu->addMenu(QStringLiteral("ファイル(&F)"));
    File1->setObjectName(QStringLiteral("File1"));
    menuSearch = File1->addAction(QStringLiteral("検索(&F)..."));
    menuSearch->setObjectName(QStringLiteral("menuSearch"));
    menuSearch->setShortcut(QKeySequence::Find);
    NSearch = File1->addSeparator();
    NSearch->setObjectName(QStringLiteral("NSearch"));
    menuExport = File1->addAction(QStringLiteral("iCalendar形式で書き出し(&E)..."));
    menuExport->setObjectName(QStringLiteral("menuExport"));
    menuImport = File1->addAction(QStringLiteral("iCalendar形式で読み込み(&I)..."));
    menuImport->setObjectName(QStringLiteral("menuImport"));
    // Handled by the sync runner the program makes beside the windows.
    menuSyncNow = File1->addAction(QStringLiteral("今すぐ同期(&Y)"));
    menuSyncNow->setObjectName(QStringLiteral("menuSyncNow"));
    N5 = File1->addSeparator();
    N5->setObjectName(QStringLiteral("N5"));
    menuPrint = File1->addAction(QStringLiteral("印刷(&P)..."));
    menuPrint->setObjectName(QStringLiteral("menuPrint"));
    menuPdf = File1->addAction(QStringLiteral("PDFに書き出し(&D)..."));
    menuPdf->setObjectName(QStringLiteral("menuPdf"));
    N6 = File1->addSeparator();
    N6->setObjectName(QStringLiteral("N6"));
    menuExit = File1->addAction(QStringLiteral("終了(&X)"));
    menuExit->setObjectName(QStringLiteral("menuExit"));
    Setting = MainMenu->addMenu(QStringLiteral("設定(&S)"));
    Setting->setObjectName(QStringLiteral("Setting"));
    menuAnivasary = Setting->addAction(QStringLiteral("記念日(&A)"));
    menuAnivasary->setObjectName(QStringLiteral("menuAnivasary"));
    N2 = Setting->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    menuHoliday = Setting->addAction(QStringLiteral("休日(&H)"));
    menuHoliday->setObjectName(QStringLiteral("menuHoliday"));
    N4 = Setting->addSeparator();
    N4->setObjectName(QStringLiteral("N4"));
    menuEvent = Setting->addAction(QStringLiteral("イベント(&E)"));
    menuEvent->setObjectName(QStringLiteral("menuEvent"));
    N7 = Setting->addSeparator();
    N7->setObjectName(QStringLiteral("N7"));
    menuNotify = Setting->addAction(QStringLiteral("通知(&N)"));
    menuNotify->setObjectName(QStringLiteral("menuNotify"));
    menuSync = Setting->addAction(QStringLiteral("同期 (CalDAV)(&C)..."));
    menuSync->setObjectName(QStringLiteral("menuSync"));
    Help1 = MainMenu->addMenu(QStringLiteral("ヘルプ(&H)"));
    Help1->setObjectName(QStringLiteral("Help1"));
    menuManual = Help1->addAction(QStringLiteral("操作手順書(&M)"));
    menuManual->setObjectName(QStringLiteral("menuManual"));
    menuHomePage = Help1->addAction(QStringLiteral("著作権者ホームページ(&H)"));
    menuHomePage->setObjectName(QStringLiteral("menuHomePage"));
    N1 = Help1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    menuAbout = Help1->addAction(QStringLiteral("バージョン情報(&A)"));
    menuAbout->setObjectName(QStringLiteral("menuAbout"));
    // F10 opens the menu bar's first menu, as on most desktops.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this,
            [this] { MainMenu->setActiveAction(File1->menuAction()); });

    TimerMain = new QTimer(this);
    TimerMain->setObjectName(QStringLiteral("TimerMain"));
    TimerMain->setInterval(500);

    connect(btnPrev, &QPushButton::clicked, this, guarded(&TMainForm::btnPrevClick));
    connect(btnNext, &QPushButton::clicked, this, guarded(&TMainForm::btnNextClick));
    connect(btnYear, &TUpDown::Clicked, this, guarded(&TMainForm::btnYearClick));
    connect(editYear, &QLineEdit::editingFinished, this, guarded(&TMainForm::editMonthTyped));
    connect(editMonth, &QLineEdit::editingFinished, this, guarded(&TMainForm::editMonthTyped));
    connect(btnMonth, &TUpDown::Clicked, this, guarded(&TMainForm::btnMonthClick));
    connect(gridCal, &TCalendarGrid::DblClick, this, guarded(&TMainForm::gridCalDblClick));
    connect(GuidePanel, &TGuidePanel::DblClick, this, guarded(&TMainForm::GuidePanelDblClick));
    connect(menuSearch, &QAction::triggered, this, guarded(&TMainForm::menuSearchClick));
    connect(menuExport, &QAction::triggered, this, guarded(&TMainForm::menuExportClick));
    connect(menuImport, &QAction::triggered, this, guarded(&TMainForm::menuImportClick));
    connect(menuPrint, &QAction::triggered, this, guarded(&TMainForm::menuPrintClick));
    connect(menuPdf, &QAction::triggered, this, guarded(&TMainForm::menuPdfClick));
    connect(menuExit, &QAction::triggered, this, guarded(&TMainForm::menuExitClick));
    connect(menuAnivasary, &QAction::triggered, this, guarded(&TMainForm::menuAnivasaryClick));
    connect(menuHoliday, &QAction::triggered, this, guarded(&TMainForm::menuHolidayClick));
    connect(menuEvent, &QAction::triggered, this, guarded(&TMainForm::menuEventClick));
    connect(menuNotify, &QAction::triggered, this, guarded(&TMainForm::menuNotifyClick));
    connect(menuManual, &QAction::triggered, this, guarded(&TMainForm::menuManualClick));
    connect(menuHomePage, &QAction::triggered, this, guarded(&TMainForm::menuHomePageClick));
    connect(menuAbout, &QAction::triggered, this, guarded(&TMainForm::menuAboutClick));
    connect(TimerMain, &QTimer::timeout, this, guarded(&TMainForm::TimerMainTimer));
    gridCal->OnDrawCell = [this](TGridCanvas& canvas, int col, int row, const QRect& rect,
                                 TGridDrawState state) {
        gridCalDrawCell(canvas, col, row, rect, state);
    };
    gridCal->OnSelectCell = [this](int col, int row) { return gridCalSelectCell(col, row); };
    gridCal->OnCellName = [this](int col, int row) {
        const int day = gridCal->Cells().dayAt(col, row);
        return day ? DayCellName(m_tables, m_year, m_month, day) : QString();
    };
    gridCal->OnKeyDown = [this](QKeyEvent* event) {
        bool taken = false;
        Guarded([&] { taken = gridCalKeyDown(event); });
        return taken;
    };
    // The wheel over the grid or the spinners (their arrows and fields included).
    for (QWidget* control :
         QList<QWidget*>{gridCal, btnYear, btnYear->upButton(), btnYear->downButton(), editYear,
                         btnMonth, btnMonth->upButton(), btnMonth->downButton(), editMonth})
        control->installEventFilter(this);

    // What screen readers call the controls.
    btnPrev->setAccessibleName(QStringLiteral("前の月"));
    btnNext->setAccessibleName(QStringLiteral("次の月"));
    editYear->setAccessibleName(QStringLiteral("年"));
    editMonth->setAccessibleName(QStringLiteral("月"));
    btnYear->setAccessibleName(QStringLiteral("年の増減"));
    btnYear->upButton()->setAccessibleName(QStringLiteral("年を増やす"));
    btnYear->downButton()->setAccessibleName(QStringLiteral("年を減らす"));
    btnMonth->setAccessibleName(QStringLiteral("月の増減"));
    btnMonth->upButton()->setAccessibleName(QStringLiteral("月を増やす"));
    btnMonth->downButton()->setAccessibleName(QStringLiteral("月を減らす"));
    MainMenu->setAccessibleName(QStringLiteral("メニュー"));

    setTabOrder(btnPrev, editYear);
    setTabOrder(editYear, editMonth);
    setTabOrder(editMonth, btnNext);
    setTabOrder(btnNext, gridCal);
    setFixedSize(ClientWidth, ClientHeight + MainMenu->sizeHint().height());
    // The window's own font last: the controls built before it lay their texts out in their
    // own fonts, and the first paint shows no text in this one.
    setFont(GothicFont(15));
    FormCreate();
}

void TMainForm::FormCreate() {
    m_hintHook->OnShowHint = [this](THintInfo& info) {
        Guarded([&] { ApplicationShowHint(info); });
    };
    qApp->installEventFilter(m_hintHook);
    const QPoint stored = ReadWindowPosition();
    move(OnSomeScreen(QRect(stored, size())) ? stored : QPoint());
    const auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (QLineEdit* edit : {editYear, editMonth}) {
        edit->setAlignment(Qt::AlignCenter);
        edit->setValidator(digits);
    }
    editYear->setMaxLength(4);
    editMonth->setMaxLength(2);
    TimerMain->start();
}

void TMainForm::showEvent(QShowEvent* event) {
    if (!m_shown) {
        m_shown = true;
        Guarded([this] { FormShow(); });
    }
    QMainWindow::showEvent(event);
}

void TMainForm::FormShow() {
    if (SplashForm) {
        SplashForm->lblTitle->setText(QStringLiteral("アプリケーションを起動中です。"));
        SplashForm->ShowNow();
    }
    const auto closeSplash = qScopeGuard([] {
        if (SplashForm)
            SplashForm->CloseSplash();
    });
    ReadFileVersion();
    setWindowTitle(ApplicationTitle + QStringLiteral("  [Version ") + AppVersion.Text +
                   QStringLiteral("]"));
    if (DayScheduleWindow)
        DayScheduleWindow->move(pos());
    gridCal->Cells().setFilling(false);
    for (int i = 0; i < TGuidePanel::PanelCount; ++i)
        GuidePanel->setPanelText(i, QString());
    const QDate today = Clock::today();
    m_year = today.year();
    m_month = today.month();
    gridCal->Cells().writeHeader();
    RefreshMonth();
}

bool TMainForm::FormCloseQuery() {
    WriteWindowPosition(pos());
    return true;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TMainForm::TimerMainTimer() {
    // Not before the window has been on the screen: the panels' texts are in a face of their
    // own, which a slow start would otherwise set up before the first paint.
    if (!m_clockShown) {
        if (!windowHandle() || !windowHandle()->isExposed())
            return;
        m_clockShown = true;
    }
    GuidePanel->setPanelText(0, Clock::now().date().toString(QStringLiteral("yyyy/MM/dd")));
    GuidePanel->setPanelText(1, QLocale(QLocale::Japanese, QLocale::Japan)
                                    .dayName(Clock::now().date().dayOfWeek(), QLocale::LongFormat));
    GuidePanel->setPanelText(2, Clock::now().time().toString(QStringLiteral("HH:mm:ss")));
}

void TMainForm::RefreshMonth() {
    // The busy cursor while another year's files are read, the one wait a user could see: a
    // month within the year reads nothing, and the cursor's round trips would cost the step
    // more than its filling. Not before the window is on the screen: the first build has the
    // splash window for it, and loading the cursor's images would hold up the first paint.
    std::optional<BusyCursor> busy;
    if (m_tables.year() != m_year && windowHandle() && windowHandle()->isExposed())
        busy.emplace();
    // A data file the rules cannot read still leaves the grid showing the shown month, with
    // whatever was read; the error then goes on to the user.
    try {
        m_inexactMarked = false;
        BuildYearTables(m_tables, m_year, DataFolder(), m_month);
    } catch (const RuleLineError& e) {
        FillMonthGrid();
        const FileStamp& file = e.stamp();
        const QString said = e.message() + QStringLiteral("|%1|%2|%3|%4")
                                               .arg(file.inode)
                                               .arg(file.size)
                                               .arg(file.modifiedNs)
                                               .arg(file.changedNs);
        if (m_saidRuleErrors.contains(said))
            return;
        m_saidRuleErrors.insert(said);
        throw;
    } catch (...) {
        FillMonthGrid();
        throw;
    }
    FillMonthGrid();
}

void TMainForm::FillMonthGrid() {
    MonthGrid& cells = gridCal->Cells();
    cells.setFilling(true);
    const auto done = qScopeGuard([&cells] { cells.setFilling(false); });
    editYear->setText(QString::number(m_year));
    editMonth->setText(QString::number(m_month));
    cells.layOutMonth(m_year, m_month);
    m_dayToSelect = ::DayToSelect(m_year, m_month, Clock::today());
    SelectDayCell(m_dayToSelect, gridCal);
    const std::array<quint64, 3> filled{quint64(m_year), quint64(m_month), m_tables.changes()};
    if (filled == m_filled) {
        // The same month from the same lists: only the days saved can look different (the
        // selection repaints its own cells).
        for (const QDate& day : std::as_const(m_savedDays)) {
            int col = 0;
            int row = 0;
            if (day.year() == m_year && day.month() == m_month &&
                cells.findDay(day.day(), col, row))
                gridCal->update(gridCal->CellRect(col, row));
        }
    } else {
        // The year and month fields repaint as their texts change; nothing else outside the
        // week rows shows the month.
        gridCal->UpdateWeekRows();
    }
    m_filled = filled;
    m_savedDays.clear();
}

void TMainForm::DaySaved(const SavedDay& saved) {
    if (m_tables.takeSavedDay(saved))
        m_savedDays.append(
            QDate::fromString(QString::fromLatin1(saved.dayKey), QStringLiteral("yyyyMMdd")));
}

void TMainForm::gridCalDrawCell(TGridCanvas& canvas, int col, int row, const QRect& rect,
                                TGridDrawState state) {
    const int day = gridCal->Cells().dayAt(col, row);
    PaintMonthCell(canvas, col, rect, state, gridCal->Cells().cell(col, row),
                   [&](int kind) { return m_tables.hasAnnotation(kind, m_year, m_month, day); });
}

bool TMainForm::gridCalSelectCell(int col, int row) {
    return gridCal->Cells().canSelect(col, row);
}

void TMainForm::showMonth(int year, int month) {
    m_year = year;
    m_month = month;
    RefreshMonth();
    emit YearShown(year);
}

void TMainForm::btnPrevClick() {
    const ::ShownMonth shown = PreviousMonth({m_year, m_month});
    showMonth(shown.year, shown.month);
}

void TMainForm::btnNextClick() {
    const ::ShownMonth shown = NextMonth({m_year, m_month});
    showMonth(shown.year, shown.month);
}

void TMainForm::btnYearClick() {
    showMonth(btnYear->Position(), m_month);
}

void TMainForm::btnMonthClick() {
    showMonth(m_year, btnMonth->Position());
}

void TMainForm::editMonthTyped() {
    bool yearOk = false;
    bool monthOk = false;
    const int year = editYear->text().toInt(&yearOk);
    const int month = editMonth->text().toInt(&monthOk);
    // A year or month out of the spinners' range goes back to the shown one.
    if (!yearOk || !monthOk || year < btnYear->Min() || year > btnYear->Max() || month < 1 ||
        month > 12) {
        editYear->setText(QString::number(m_year));
        editMonth->setText(QString::number(m_month));
        return;
    }
    if (year != m_year || month != m_month)
        showMonth(year, month);
}

void TMainForm::moveDay(int days) {
    int day = gridCal->Cells().dayAt(gridCal->Col(), gridCal->Row());
    const ::ShownMonth reached = StepDay({m_year, m_month}, day, days);
    if (reached != ::ShownMonth{m_year, m_month}) {
        // The fill selects today or the 1st; only the day reached is worth saying.
        gridCal->HoldAnnouncements(true);
        const auto release = qScopeGuard([this] { gridCal->HoldAnnouncements(false); });
        showMonth(reached.year, reached.month);
    }
    SelectDayCell(day, gridCal);
}

bool TMainForm::gridCalKeyDown(QKeyEvent* event) {
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    switch (event->key()) {
    case Qt::Key_Left:
        moveDay(-1);
        return true;
    case Qt::Key_Right:
        moveDay(1);
        return true;
    case Qt::Key_Up:
        moveDay(-7);
        return true;
    case Qt::Key_Down:
        moveDay(7);
        return true;
    case Qt::Key_PageUp:
        ctrl ? btnYear->Click(TUpDown::btPrev) : btnPrevClick();
        return true;
    case Qt::Key_PageDown:
        ctrl ? btnYear->Click(TUpDown::btNext) : btnNextClick();
        return true;
    case Qt::Key_Home:
        GuidePanelDblClick();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        gridCalDblClick();
        return true;
    case Qt::Key_Menu:
        showCurrentDayHint();
        return true;
    case Qt::Key_F10:
        if (!event->modifiers().testFlag(Qt::ShiftModifier))
            return false;
        showCurrentDayHint();
        return true;
    default:
        return false;
    }
}

void TMainForm::showCurrentDayHint() {
    m_hintHook->RequestHint(gridCal, gridCal->CellRect(gridCal->Col(), gridCal->Row()).center());
}

void TMainForm::MouseWheelMonths(int steps) {
    for (; steps > 0; --steps)
        btnNextClick();
    for (; steps < 0; ++steps)
        btnPrevClick();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel)
        return QMainWindow::eventFilter(watched, event);
    // Turning the wheel away over a spinner counts up, as its upper arrow does; over the grid
    // it scrolls back through the months, as a list of weeks would.
    const int sign = watched == gridCal ? -1 : 1;
    m_wheelRest += static_cast<QWheelEvent*>(event)->angleDelta().y();
    const int steps = m_wheelRest / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRest -= steps * QWheelEvent::DefaultDeltasPerStep;
    if (steps != 0)
        Guarded([&] { MouseWheelMonths(sign * steps); });
    return true;
}

void TMainForm::ApplicationShowHint(THintInfo& info) {
    if (info.HintControl != gridCal)
        return;
    int col = 0;
    int row = 0;
    if (!gridCal->MouseToCell(info.CursorPos, col, row) || row < MonthGrid::FixedRows ||
        gridCal->Cells().cell(col, row).isEmpty()) {
        info.HintStr.clear();
        return;
    }
    const int day = gridCal->Cells().dayAt(col, row);
    if (!m_inexactMarked) {
        // Read when first hinted, not at every build: few entries carry the mark.
        m_tables.markInexact(InexactTextKeys(DataFolder(), m_year));
        m_inexactMarked = true;
    }
    // Only what a hint can show is decoded: a line of megabytes would hold up every hover.
    // A busy day shows as many lines as the screen holds and says how many more there are.
    const QScreen* screen = gridCal->screen();
    const int lineHeight = std::max(QFontMetrics(QToolTip::font()).lineSpacing(), 1);
    const qsizetype maxLines =
        screen ? std::max((screen->availableGeometry().height() - 16) / lineHeight - 1, 2) : 40;
    info.HintStr = ShownDayAnnotation(m_tables, m_year, m_month, day, maxLines);
    info.HintColor = HintGreen;
    const QRect cell = gridCal->CellRect(col, row);
    info.HintPos = gridCal->mapToGlobal(QPoint(cell.left(), cell.top() + cell.height()));
    info.CursorRect = cell;
}

QString TMainForm::CurrentDayDate() const {
    const int day = gridCal->Cells().dayAt(gridCal->Col(), gridCal->Row());
    return DayScheduleDate(editYear->text(), m_month, day);
}

void TMainForm::gridCalDblClick() {
    if (OpenDaySchedule && OpenDaySchedule(CurrentDayDate()) == 1)
        RefreshMonth();
}

void TMainForm::GuidePanelDblClick() {
    const QDate today = Clock::today();
    showMonth(today.year(), today.month());
}

void TMainForm::menuSearchClick() {
    if (!m_searchForm) {
        m_searchForm = new TSearchForm(this);
        connect(m_searchForm, &TSearchForm::OpenMatch, this,
                [this](const SearchMatch& match) { Guarded([&] { ShowSearchMatch(match); }); });
    }
    m_searchForm->show();
    m_searchForm->raise();
    m_searchForm->activateWindow();
}

void TMainForm::ShowSearchMatch(const SearchMatch& match) {
    switch (match.kind) {
    case SearchKind::Schedule: {
        if (!match.date.isValid())
            return;
        showMonth(match.date.year(), match.date.month());
        SelectDayCell(match.date.day(), gridCal);
        m_entryToSelect = match.line;
        const auto forget = qScopeGuard([this] { m_entryToSelect.clear(); });
        gridCalDblClick();
        return;
    }
    case SearchKind::Anniversary:
        if (AnniversaryForm)
            AnniversaryForm->SelectLineAtShowing(match.line);
        menuAnivasaryClick();
        return;
    case SearchKind::Holiday:
        if (ComWeeksForm)
            ComWeeksForm->SelectLineAtShowing(match.line);
        menuHolidayClick();
        return;
    case SearchKind::Event:
        if (ComWeeksForm)
            ComWeeksForm->SelectLineAtShowing(match.line);
        menuEventClick();
        return;
    }
}

void TMainForm::menuExportClick() {
    if (const KalendoExtras* extras = ExtrasOrTell(this))
        extras->exportCalendar(this);
}

void TMainForm::menuImportClick() {
    const KalendoExtras* extras = ExtrasOrTell(this);
    if (extras && extras->importCalendar(this) == 1)
        RefreshMonth();
}

void TMainForm::menuPrintClick() {
    if (const KalendoExtras* extras = ExtrasOrTell(this))
        extras->printMonth(this, m_tables, m_year, m_month);
}

void TMainForm::menuPdfClick() {
    if (const KalendoExtras* extras = ExtrasOrTell(this))
        extras->saveMonthPdf(this, m_tables, m_year, m_month);
}

void TMainForm::menuExitClick() {
    // Closing only hides the window of a Kalendo started in the background; 終了 ends it.
    if (close())
        QCoreApplication::quit();
}

void TMainForm::openList(QDialog* list) {
    if (!list)
        return;
    list->move(pos());
    if (list->exec() == 1)
        RefreshMonth();
}

void TMainForm::menuAnivasaryClick() {
    openList(AnniversaryForm);
}

void TMainForm::menuHolidayClick() {
    if (ComWeeksForm)
        ComWeeksForm->RuleSet = 1;
    openList(ComWeeksForm);
}

void TMainForm::menuEventClick() {
    if (ComWeeksForm)
        ComWeeksForm->RuleSet = 0;
    openList(ComWeeksForm);
}

void TMainForm::menuNotifyClick() {
    if (OpenNotificationSettings)
        OpenNotificationSettings();
}

void TMainForm::ShowDay(const QDate& date) {
    showNormal();
    raise();
    activateWindow();
    showMonth(date.year(), date.month());
    if (OpenDaySchedule && OpenDaySchedule(date.toString(QStringLiteral("yyyy/MM/dd"))) == 1)
        RefreshMonth();
}

// Without a program for PDF files the desktop only writes to standard error: say where the
// manual is, so that the user can open it some other way.
void TMainForm::menuManualClick() {
    const QString manual = ManualPath();
    if (!QFileInfo::exists(manual)) {
        ShowWarning(this, QStringLiteral("操作手順書が見つかりません。\n") + manual);
        return;
    }
    OpenDocument(manual, [window = QPointer<TMainForm>(this), manual] {
        ShowMessageBox(
            window, QMessageBox::Information, ApplicationTitle,
            QStringLiteral("操作手順書を開くプログラムが見つかりませんでした。\n"
                           "PDFを表示できるプログラムで次のファイルを開いてください。\n") +
                manual);
    });
}

void TMainForm::menuHomePageClick() {
    OpenWebAddress(HomePageAddress);
}

void TMainForm::menuAboutClick() {
    if (AboutForm)
        AboutForm->exec(); // its result changes nothing
}
