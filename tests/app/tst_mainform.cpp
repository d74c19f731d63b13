#include "Contrast.h"
#include "TestSupport.h"
#include "WhenModal.h"
#include "anniversary/Anniversary.h"
#include "anniversary/AnniversaryEdit.h"
#include "app/About.h"
#include "app/Artwork.h"
#include "app/Forms.h"
#include "app/GuidePanel.h"
#include "app/KalendoApplication.h"
#include "app/Main.h"
#include "app/Splash.h"
#include "calendarexchange/CalendarExport.h"
#include "calendarexchange/CalendarImport.h"
#include "data/KalendoError.h"
#include "monthview/CalendarGridAccessible.h"
#include "monthview/MonthCellPaint.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rulesets/ComWeeks.h"
#include "rulesets/ComWeeksEdit.h"
#include "schedule/MainEdit.h"
#include "schedule/MainInput.h"
#include "widgets/OnScreen.h"
#include "widgets/UiLook.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSettings>
#include <QStyleFactory>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>
#include <csignal>
#include <map>

class tst_MainForm : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startsOnToday();
    void startupFailureStillClosesSplash();
    void navigation_data();
    void navigation();
    void spinners();
    void everyChangeRebuilds();
    void emptyCellsNeverBecomeCurrent();
    void painting();
    void hints();
    void openingADay();
    void statusBar();
    void windowPosition();
    void errorsReachTheUser();
    void aboutShowsTheVersion();

    void keyboardOnlySession();
    void tabReachesOkAndCancel_data();
    void tabReachesOkAndCancel();
    void everyInputHasAName_data();
    void everyInputHasAName();
    void windowTextsAreLegible_data();
    void windowTextsAreLegible();
    void windowsOnScreen_data();
    void windowsOnScreen();
    void keys_data();
    void keys();
    void menuFromTheKeyboard_data();
    void menuFromTheKeyboard();
    void wheel_data();
    void wheel();
    void accessibleNames_data();
    void accessibleNames();
    void dayCellNames_data();
    void dayCellNames();
    void screenReaderHearsTheDay();
    void darkPalette();
    void hintStaysOnScreen_data();
    void hintStaysOnScreen();
    void endSignals_data();
    void endSignals();
    void toolkitSpeaksJapanese();
    void windowsTakeTheirFontWhenShown_data();
    void windowsTakeTheirFontWhenShown();
    void standardIcons_data();
    void standardIcons();

private:
    void showAt(const QDate& today);
    QRect cell(int day) const;
    void clickDay(int day);
    QWidget* openWindow(const QString& name);

    std::unique_ptr<TempDataFolder> m_data;
    std::unique_ptr<QWidget> m_madeWindow;
    QStringList m_errors;
};

namespace {

QByteArray crlf(std::initializer_list<const char*> lines) {
    QByteArray bytes;
    for (const char* line : lines)
        bytes += sj(line) + "\r\n";
    return bytes;
}

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vantree"),
                     QStringLiteral("Kalendo"));
}

QString shownDay() {
    return MainForm->gridCal->Cells().cell(MainForm->gridCal->Col(), MainForm->gridCal->Row());
}

// The colour most of a cell's ink has, not counting its background.
QColor inkOf(const QImage& image, const QRect& cell, const QColor& background) {
    std::map<QRgb, int> counts;
    for (int y = cell.top() + 2; y < cell.bottom() - 2; ++y)
        for (int x = cell.left() + 2; x < cell.right() - 2; ++x)
            if (image.pixelColor(x, y) != background)
                ++counts[image.pixel(x, y)];
    QRgb best = 0;
    int most = 0;
    for (const auto& [rgb, n] : counts)
        if (n > most) {
            best = rgb;
            most = n;
        }
    return most ? QColor(best) : QColor();
}

bool contains(const QImage& image, const QColor& color) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == color)
                return true;
    return false;
}

// The colours a dark desktop theme gives the toolkit.
QPalette DarkTheme() {
    QPalette dark;
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::AlternateBase})
        dark.setColor(role, QColor(0x1E, 0x1E, 0x1E));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Highlight, QColor(0x3D, 0xAE, 0xE9));
    dark.setColor(QPalette::HighlightedText, QColor(0x10, 0x10, 0x10));
    return dark;
}

// Whether a line of ink at least 18 pixels long crosses the cell: only an underline does.
bool underlined(const QImage& image, const QRect& cell, const QColor& ink) {
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        int run = 0;
        for (int x = cell.left(); x <= cell.right(); ++x) {
            run = image.pixelColor(x, y) == ink ? run + 1 : 0;
            if (run >= 18)
                return true;
        }
    }
    return false;
}

} // namespace

void tst_MainForm::init() {
    m_data = std::make_unique<TempDataFolder>();
    SetDataFolder(m_data->path());
    settings().clear();
    AppVersion = TAppVersion();
    m_errors.clear();
    KalendoApplication::SetErrorReporter([this](const QString& message) { m_errors << message; });
    CreateForms();
}

void tst_MainForm::cleanup() {
    m_madeWindow.reset();
    DestroyForms();
    Clock::setFixedNow(QDateTime());
    SetDataFolder(QString());
    KalendoApplication::SetErrorReporter({});
    m_data.reset();
}

void tst_MainForm::showAt(const QDate& today) {
    Clock::setFixedNow(QDateTime(today, QTime(9, 5, 3)));
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
}

QRect tst_MainForm::cell(int day) const {
    int col = 0;
    int row = 0;
    if (!MainForm->gridCal->Cells().findDay(day, col, row))
        return {};
    return MainForm->gridCal->CellRect(col, row);
}

void tst_MainForm::clickDay(int day) {
    QTest::mouseClick(MainForm->gridCal, Qt::LeftButton, {}, cell(day).center());
}

void tst_MainForm::startsOnToday() {
    m_data->write(HolidayFileName, crlf({"03/20,春の日,0,0"}));
    showAt(QDate(2025, 3, 7));
    // Every window exists from the start; only the main window is on the screen.
    const QList<QWidget*> others = {AboutForm,     AnniversaryForm,  AnniversaryEditForm,
                                    ComWeeksForm,  ComWeeksEditForm, MainEditForm,
                                    MainInputForm, SplashForm};
    for (QWidget* window : others)
        QVERIFY(window && window->isWindow() && !window->isVisible());
    QCOMPARE(QApplication::activeWindow() ? QApplication::activeWindow() : MainForm, MainForm);
    QVERIFY(!SplashForm->isVisible());
    QCOMPARE(SplashForm->lblTitle->text(), QStringLiteral("アプリケーションを起動中です。"));
    QVERIFY(contains(SplashForm->lblTitle->grab().toImage(), QColor(0x00, 0x00, 0x80)));
    // Its own face, not one the main window happens to load first.
    QCOMPARE(SplashForm->lblTitle->font().pixelSize(), 15);
    QVERIFY(SplashForm->lblTitle->font().bold());
    QCOMPARE(MainForm->windowTitle(), QStringLiteral("Kalendo  [Version 2.2.1.192]"));
    QCOMPARE(MainForm->ShownYear(), 2025);
    QCOMPARE(MainForm->ShownMonth(), 3);
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("2025"));
    QCOMPARE(MainForm->editMonth->text(), QStringLiteral("3"));
    QCOMPARE(shownDay(), QStringLiteral(" 7"));
    QCOMPARE(MainForm->gridCal->Cells().cell(1, 0), QStringLiteral("月"));
    QVERIFY(MainForm->Tables().hasAnnotation(akHoliday, 2025, 3, 20));
    // The clock is empty until the first tick.
    QCOMPARE(MainForm->GuidePanel->panelText(0), QString());
    QVERIFY(!MainForm->gridCal->Cells().filling());
}

void tst_MainForm::startupFailureStillClosesSplash() {
    m_data->write(EventFileName, crlf({"ab/--,B,1,1"}));
    showAt(QDate(2025, 3, 7));
    QCOMPARE(m_errors.size(), 1);
    QVERIFY(!SplashForm->isVisible());
    QVERIFY(MainForm->isVisible());
    // The month is laid out all the same, today selected.
    QCOMPARE(shownDay(), QStringLiteral(" 7"));
    QCOMPARE(MainForm->editMonth->text(), QStringLiteral("3"));
}

void tst_MainForm::navigation_data() {
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("clicks"); // negative: btnPrev
    QTest::addColumn<QString>("year");
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("selected");
    QTest::newRow("back from January 1980") << QDate(1980, 1, 15) << -1 << "1979"
                                            << "12"
                                            << " 1";
    QTest::newRow("on from December 2099") << QDate(2099, 12, 31) << 1 << "2100"
                                           << "1"
                                           << " 1";
    QTest::newRow("on from December 2030") << QDate(2030, 12, 2) << 1 << "2031"
                                           << "1"
                                           << " 1";
    QTest::newRow("there and back selects today") << QDate(2025, 3, 7) << 0 << "2025"
                                                  << "3"
                                                  << " 7";
    QTest::newRow("a year back") << QDate(2025, 3, 7) << -12 << "2024"
                                 << "3"
                                 << " 1";
}

void tst_MainForm::navigation() {
    QFETCH(QDate, today);
    QFETCH(int, clicks);
    showAt(today);
    if (clicks == 0) {
        QTest::mouseClick(MainForm->btnNext, Qt::LeftButton);
        QTest::mouseClick(MainForm->btnPrev, Qt::LeftButton);
    }
    for (int i = 0; i < std::abs(clicks); ++i)
        QTest::mouseClick(clicks < 0 ? MainForm->btnPrev : MainForm->btnNext, Qt::LeftButton);
    QTEST(MainForm->editYear->text(), "year");
    QTEST(MainForm->editMonth->text(), "month");
    QTEST(shownDay(), "selected");
    QCOMPARE(QString::number(MainForm->ShownYear()), MainForm->editYear->text());
}

void tst_MainForm::spinners() {
    showAt(QDate(2099, 11, 7));
    QToolButton* yearUp = MainForm->btnYear->upButton();
    QTest::mouseClick(yearUp, Qt::LeftButton);
    QCOMPARE(MainForm->ShownYear(), 2099); // the spinner never leaves 1980-2099
    QTest::mouseClick(MainForm->btnMonth->upButton(), Qt::LeftButton);
    QCOMPARE(MainForm->ShownMonth(), 12);
    QTest::mouseClick(MainForm->btnMonth->upButton(), Qt::LeftButton);
    QCOMPARE(MainForm->ShownMonth(), 12); // no carry into the year, no wrap
    QCOMPARE(MainForm->ShownYear(), 2099);

    // After the arrows have left the range, the spinner only steps toward it.
    QTest::mouseClick(MainForm->btnNext, Qt::LeftButton);
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("2100"));
    QTest::mouseClick(yearUp, Qt::LeftButton);
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("2100"));
    QTest::mouseClick(MainForm->btnYear->downButton(), Qt::LeftButton);
    QCOMPARE(MainForm->ShownYear(), 2099);
    QCOMPARE(MainForm->ShownMonth(), 1);
    QTest::mouseClick(MainForm->btnYear->downButton(), Qt::LeftButton);
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("2098"));
    QCOMPARE(shownDay(), QStringLiteral(" 1"));

    MainForm->editYear->setText(QStringLiteral("1980"));
    QTest::mouseClick(MainForm->btnYear->downButton(), Qt::LeftButton);
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("1980"));
    MainForm->editYear->setText(QStringLiteral("1979"));
    QTest::mouseClick(MainForm->btnYear->downButton(), Qt::LeftButton);
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("1979"));
    QTest::mouseClick(yearUp, Qt::LeftButton);
    QCOMPARE(MainForm->ShownYear(), 1980);
}

void tst_MainForm::everyChangeRebuilds() {
    showAt(QDate(2025, 3, 7));
    QVERIFY(!MainForm->Tables().hasAnnotation(akEvent, 2025, 4, 10));
    // Month only, by the spinner: the new event file is read.
    m_data->write(EventFileName, crlf({"04/10,棚卸,0,0"}));
    QTest::mouseClick(MainForm->btnMonth->upButton(), Qt::LeftButton);
    QCOMPARE(MainForm->ShownMonth(), 4);
    QVERIFY(MainForm->Tables().hasAnnotation(akEvent, 2025, 4, 10));
    // And by the arrow, within the year.
    m_data->write(EventFileName, QByteArray());
    QTest::mouseClick(MainForm->btnPrev, Qt::LeftButton);
    QTest::mouseClick(MainForm->btnNext, Qt::LeftButton);
    QVERIFY(!MainForm->Tables().hasAnnotation(akEvent, 2025, 4, 10));
}

void tst_MainForm::emptyCellsNeverBecomeCurrent() {
    showAt(QDate(2025, 3, 7)); // March 2025: day 1 alone in row 1, column 6
    TCalendarGrid* grid = MainForm->gridCal;
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(0, 1).center());
    QCOMPARE(shownDay(), QStringLiteral(" 7"));
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(3, 0).center()); // header
    QCOMPARE(shownDay(), QStringLiteral(" 7"));
    clickDay(1);
    QCOMPARE(shownDay(), QStringLiteral(" 1"));
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(shownDay(), QStringLiteral(" 8"));
    // Past the month's ends the arrows go on into the next or previous month (see keys()).
}

void tst_MainForm::painting() {
    // March 2025, today the 10th (Monday).
    m_data->write(HolidayFileName, crlf({"03/16,日曜の休日,0,0", "03/06,休日,0,0"}));
    m_data->write(EventFileName, crlf({"03/03,行事,0,0", "03/05,行事,0,0"}));
    m_data->write(AnniversaryFileName,
                  crlf({"2000/03/04,記念日,", "2001/03/05,記念日,", "2002/03/06,記念日,"}));
    m_data->write(QStringLiteral("2025.csv"), crlf({"20250307,1,,,会議,,"}));
    showAt(QDate(2025, 3, 10));
    const QColor window = CellColors::Window;
    const QColor button = CellColors::ButtonFace;

    struct Expect {
        int day;
        QColor background;
        QColor ink;
        bool underline;
    };
    using namespace MonthColors;
    const QList<Expect> expected = {
        {16, window, Holiday, false},     {17, window, Holiday, false}, // substitute
        {2, window, Sunday, false},       {3, Event, Weekday, false},
        {4, Anniversary, Weekday, false}, {5, Anniversary, Weekday, false},
        {6, Anniversary, Holiday, false}, {7, window, Weekday, true},
        {8, window, Saturday, false},     {9, window, Sunday, false},
        {10, Current, Weekday, false},    {11, window, Weekday, false},
    };
    QImage image = MainForm->gridCal->grab().toImage();
    for (const Expect& e : expected) {
        const QRect r = cell(e.day);
        const QColor background = image.pixelColor(r.right() - 2, r.bottom() - 2);
        QVERIFY2(background == e.background, qPrintable(QString::number(e.day)));
        QVERIFY2(inkOf(image, r, background) == e.ink, qPrintable(QString::number(e.day)));
        QCOMPARE(underlined(image, r, e.ink), e.underline);
    }
    // Header and empty cells.
    const QRect sundayHead = MainForm->gridCal->CellRect(0, 0);
    QCOMPARE(image.pixelColor(sundayHead.center() + QPoint(12, 12)), button);
    QCOMPARE(inkOf(image, sundayHead, button), Sunday);
    QCOMPARE(inkOf(image, MainForm->gridCal->CellRect(6, 0), button), Saturday);
    const QRect empty = MainForm->gridCal->CellRect(2, 1);
    QCOMPARE(image.pixelColor(empty.center()), window);
    QVERIFY(!inkOf(image, empty, window).isValid());

    // The current cell on an event stays lime; on a Saturday it is aqua behind blue.
    clickDay(3);
    clickDay(15);
    image = MainForm->gridCal->grab().toImage();
    QCOMPARE(image.pixelColor(cell(3).bottomRight() - QPoint(2, 2)), Event);
    QCOMPARE(image.pixelColor(cell(10).bottomRight() - QPoint(2, 2)), window);
    QCOMPARE(image.pixelColor(cell(15).bottomRight() - QPoint(2, 2)), Current);
    QCOMPARE(inkOf(image, cell(15), Current), Saturday);
}

void tst_MainForm::hints() {
    m_data->write(HolidayFileName, crlf({"03/25,春の休日,0,0"}));
    m_data->write(QStringLiteral("2025.csv"), crlf({"20250325,1,,,会議,,"}));
    showAt(QDate(2025, 3, 7));
    TCalendarGrid* grid = MainForm->gridCal;
    THintHook* hook = MainForm->HintHook();
    auto rest = [&](const QPoint& pos) {
        QHelpEvent event(QEvent::ToolTip, pos, grid->mapToGlobal(pos));
        QCoreApplication::sendEvent(grid, &event);
    };

    rest(cell(25).center());
    QVERIFY(hook->HintShowing());
    QCOMPARE(hook->HintWindow()->text(), QStringLiteral("▼春の休日\n会議"));
    QCOMPARE(hook->HintWindow()->pos(),
             grid->mapToGlobal(QPoint(cell(25).left(), cell(25).top() + cell(25).height())));
    QCOMPARE(hook->HintWindow()->palette().color(QPalette::Window), QColor(0x96, 0xF5, 0x96));
    QCOMPARE(hook->ShownHint().CursorRect, cell(25));

    // Moving to the next day ends the hint; a day without anything shows none.
    QTest::mouseMove(grid, cell(26).center());
    QVERIFY(!hook->HintShowing());
    QTest::qWait(150);
    QVERIFY(!hook->HintShowing());
    for (const QPoint& pos : {cell(26).center(), grid->CellRect(0, 0).center(),
                              grid->CellRect(0, 1).center(), QPoint(1, 1)}) {
        rest(pos);
        QVERIFY(!hook->HintShowing());
    }
    // Coming back to an annotated day after the short pause shows its hint again.
    rest(cell(25).center());
    QVERIFY(hook->HintShowing());
    QTest::mouseMove(grid, cell(25).center() + QPoint(3, 3));
    QVERIFY(hook->HintShowing()); // still inside the cell

    // Other controls get no hint from the grid's rules.
    THintInfo other;
    other.HintControl = MainForm->editYear;
    other.HintStr = QStringLiteral("x");
    MainForm->ApplicationShowHint(other);
    QCOMPARE(other.HintStr, QStringLiteral("x"));
}

void tst_MainForm::openingADay() {
    m_data->write(QStringLiteral("2025.csv"), QByteArray());
    showAt(QDate(2025, 3, 7));
    QStringList opened;
    int result = 2;
    MainForm->OpenDaySchedule = [&](const QString& date) {
        opened << date;
        return result;
    };
    clickDay(25);
    QTest::mouseDClick(MainForm->gridCal, Qt::LeftButton, {}, cell(25).center());
    // Cancel leaves everything as it was, the current cell included.
    QCOMPARE(opened, QStringList{QStringLiteral("2025/03/25")});
    QCOMPARE(shownDay(), QStringLiteral("25"));

    // A double-click on an empty cell opens the current day.
    QTest::mouseDClick(MainForm->gridCal, Qt::LeftButton, {},
                       MainForm->gridCal->CellRect(0, 1).center());
    QCOMPARE(opened.last(), QStringLiteral("2025/03/25"));

    // OK rebuilds (the day's new entry shows) and selects today again.
    m_data->write(QStringLiteral("2025.csv"), crlf({"20250325,1,,,会議,,"}));
    result = 1;
    MainForm->gridCalDblClick();
    QVERIFY(MainForm->Tables().hasAnnotation(akSchedule, 2025, 3, 25));
    QCOMPARE(shownDay(), QStringLiteral(" 7"));

    // In another month OK selects day 1; and the status bar brings back today.
    QTest::mouseClick(MainForm->btnNext, Qt::LeftButton);
    clickDay(12);
    MainForm->gridCalDblClick();
    QCOMPARE(opened.last(), QStringLiteral("2025/04/12"));
    QCOMPARE(shownDay(), QStringLiteral(" 1"));
    for (int i = 0; i < 70; ++i)
        QTest::mouseClick(MainForm->btnNext, Qt::LeftButton);
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("2031"));
    QTest::mouseDClick(MainForm->GuidePanel, Qt::LeftButton, {},
                       MainForm->GuidePanel->panelRect(2).center());
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("2025"));
    QCOMPARE(MainForm->editMonth->text(), QStringLiteral("3"));
    QCOMPARE(shownDay(), QStringLiteral(" 7"));
}

void tst_MainForm::statusBar() {
    showAt(QDate(2025, 3, 7));
    QTRY_COMPARE_WITH_TIMEOUT(MainForm->GuidePanel->panelText(0), QStringLiteral("2025/03/07"),
                              2000);
    // The program speaks Japanese whatever the desktop's language.
    QCOMPARE(MainForm->GuidePanel->panelText(1), QStringLiteral("金曜日"));
    QCOMPARE(MainForm->GuidePanel->panelText(2), QStringLiteral("09:05:03"));
    Clock::setFixedNow(QDateTime(QDate(2025, 3, 8), QTime(23, 59, 59)));
    MainForm->TimerMainTimer();
    QCOMPARE(MainForm->GuidePanel->panelText(0), QStringLiteral("2025/03/08"));
    QCOMPARE(MainForm->GuidePanel->panelText(2), QStringLiteral("23:59:59"));
}

void tst_MainForm::windowPosition() {
    // Nothing stored: the top-left corner.
    QCOMPARE(MainForm->pos(), QPoint(0, 0));
    MainForm->move(557, 33);
    QVERIFY(MainForm->FormCloseQuery());
    {
        QSettings s = settings();
        QCOMPARE(s.value(QStringLiteral("Windows/Left")).toString(), QStringLiteral("557"));
        QCOMPARE(s.value(QStringLiteral("Windows/Top")).toString(), QStringLiteral("33"));
    }
    DestroyForms();
    CreateForms();
    QCOMPARE(MainForm->pos(), QPoint(557, 33));

    // A value that is not a number gives 0 for that edge only.
    settings().setValue(QStringLiteral("Windows/Left"), QStringLiteral("left"));
    QCOMPARE(ReadWindowPosition(), QPoint(0, 33));
    settings().setValue(QStringLiteral("Windows/Top"), QStringLiteral("12px"));
    QCOMPARE(ReadWindowPosition(), QPoint(0, 0));

    // A place on no screen any more opens at the corner.
    WriteWindowPosition(QPoint(-5000, 40));
    DestroyForms();
    CreateForms();
    QCOMPARE(MainForm->pos(), QPoint(0, 0));
    QVERIFY(OnSomeScreen(QRect(QPoint(-200, 40), MainForm->size())));

    // Closing through the menu saves where the window is.
    showAt(QDate(2025, 3, 7));
    MainForm->move(40, 50);
    MainForm->menuExit->trigger();
    QVERIFY(!MainForm->isVisible());
    QCOMPARE(ReadWindowPosition(), QPoint(40, 50));
}

namespace {
class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw KalendoError(QStringLiteral("書き込めません"));
        return QObject::event(e);
    }
};
} // namespace

void tst_MainForm::errorsReachTheUser() {
    Thrower thrower;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);
    QCOMPARE(m_errors, QStringList{QStringLiteral("書き込めません")});
    // From a timer inside the event loop, too; the loop carries on.
    QTimer::singleShot(0, &thrower, [] { throw std::runtime_error("disk full"); });
    QTRY_COMPARE(m_errors.size(), 2);
    QCOMPARE(m_errors.last(), QStringLiteral("disk full"));
    // A navigation that cannot read the rules shows its month and reports once.
    showAt(QDate(2025, 3, 7));
    m_data->write(HolidayFileName, crlf({"ab/--,B,1,1"}));
    QTest::mouseClick(MainForm->btnNext, Qt::LeftButton);
    QCOMPARE(m_errors.size(), 3);
    QCOMPARE(MainForm->editMonth->text(), QStringLiteral("4"));
    QCOMPARE(shownDay(), QStringLiteral(" 1"));
}

void tst_MainForm::aboutShowsTheVersion() {
    showAt(QDate(2025, 3, 7));
    QCOMPARE(AppVersion.Major, 2);
    QCOMPARE(AppVersion.Minor, 2);
    QCOMPARE(AppVersion.Release, 1);
    QCOMPARE(AppVersion.Build, 192);
    QVERIFY(contains(AboutForm->lblProductName->grab().toImage(), QColor(0x00, 0x00, 0xFF)));
    // The clock keeps running while the window is open.
    Clock::setFixedNow(QDateTime(QDate(2025, 3, 9), QTime(10, 0, 0)));
    QTimer::singleShot(700, AboutForm, [] { AboutForm->OKButton->click(); });
    QCOMPARE(AboutForm->exec(), 1);
    QCOMPARE(MainForm->GuidePanel->panelText(0), QStringLiteral("2025/03/09"));
    // Both icons are drawn only when first needed.
    QCOMPARE(AboutForm->ProgramIcon->pixmap().toImage(), ProgramIconPixmap(32).toImage());
    QCOMPARE(MainForm->windowIcon().pixmap(32).toImage(), ProgramIconPixmap(32).toImage());
    for (int showing = 0; showing < 2; ++showing) {
        QTimer::singleShot(0, AboutForm, [] { QTest::keyClick(AboutForm, Qt::Key_Return); });
        QCOMPARE(AboutForm->exec(), 1);
        QCOMPARE(AboutForm->lblVersion->text(), QStringLiteral("Version 2.2.1.192"));
    }
    QTimer::singleShot(0, AboutForm, [] { QTest::keyClick(AboutForm, Qt::Key_Escape); });
    QCOMPARE(AboutForm->exec(), 2);
}

namespace {

// The shown year and month and the current day, "2025/3/7".
QString shownDate() {
    return QStringLiteral("%1/%2/%3")
        .arg(MainForm->ShownYear())
        .arg(MainForm->ShownMonth())
        .arg(MainForm->gridCal->Cells().dayAt(MainForm->gridCal->Col(), MainForm->gridCal->Row()));
}

// A key as the user types it: to whatever has the keyboard focus.
void press(int key, Qt::KeyboardModifiers modifiers = {}) {
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, Qt::Key(key), modifiers);
}

// Japanese text as an input method commits it.
void typeText(QWidget* field, const QString& text) {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(field, &commit);
}

QStringList focusEvents;
void recordFocus(QAccessibleEvent* event) {
    if (event->type() == QAccessible::Focus && event->accessibleInterface())
        focusEvents << event->accessibleInterface()->text(QAccessible::Name);
}

} // namespace

// Everything from the keyboard: another month and year, a day opened, an entry added and
// confirmed, and back to today.
void tst_MainForm::keyboardOnlySession() {
    showAt(QDate(2025, 3, 7));
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QCOMPARE(QApplication::focusWidget(), MainForm->gridCal);
    press(Qt::Key_PageDown);
    press(Qt::Key_PageDown, Qt::ControlModifier);
    press(Qt::Key_Right);
    press(Qt::Key_Down);
    QCOMPARE(shownDate(), QStringLiteral("2026/4/9"));

    // A failed check leaves the window open: close it, or the session would wait forever.
    const auto cancelLeftOpen = [](QDialog* window) {
        return qScopeGuard([window] {
            if (window->isVisible())
                window->reject();
        });
    };
    whenModal(MainEditForm, [&] {
        const auto cancel = cancelLeftOpen(MainEditForm);
        QVERIFY(QTest::qWaitForWindowActive(MainEditForm));
        QCOMPARE(MainEditForm->windowTitle(), QStringLiteral("2026/04/09"));
        whenModal(MainInputForm, [&] {
            const auto cancelEditor = cancelLeftOpen(MainInputForm);
            QVERIFY(QTest::qWaitForWindowActive(MainInputForm));
            for (int i = 0; i < 3; ++i) // 終日, from, to, then the title
                press(Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), MainInputForm->editSchedule);
            typeText(QApplication::focusWidget(), QStringLiteral("歯医者"));
            for (int i = 0; i < 3; ++i)
                press(Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), MainInputForm->btnOk);
            press(Qt::Key_Return);
        });
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), MainEditForm->btnAddNew);
        press(Qt::Key_Space);
        // No window manager here hands the activation back when the editor closes.
        MainEditForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(MainEditForm));
        press(Qt::Key_Backtab);
        press(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), MainEditForm->btnOk);
        press(Qt::Key_Space);
    });
    press(Qt::Key_Return);
    QVERIFY(!MainEditForm->isVisible());
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    // The time fields the session only passed through stay empty: an all-day entry, as a mouse
    // user makes it.
    QCOMPARE(m_data->read(QStringLiteral("2026.csv")), crlf({"20260409,1,,,歯医者,,"}));
    QVERIFY(MainForm->Tables().hasAnnotation(akSchedule, 2026, 4, 9));
    QCOMPARE(shownDate(), QStringLiteral("2026/4/1")); // the refill after OK
    press(Qt::Key_Home);
    QCOMPARE(shownDate(), QStringLiteral("2025/3/7"));
    QCOMPARE(QApplication::focusWidget(), MainForm->gridCal);

    // The menu key shows the current day's hint; Tab goes on to ◀ and the year, where a year is
    // typed.
    m_data->write(HolidayFileName, crlf({"03/07,休日,0,0"}));
    press(Qt::Key_PageDown);
    press(Qt::Key_PageUp);
    press(Qt::Key_Menu);
    QVERIFY(MainForm->HintHook()->HintShowing());
    QCOMPARE(MainForm->HintHook()->HintWindow()->text(), QStringLiteral("▼休日"));
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), MainForm->btnPrev);
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), MainForm->editYear);
    QTest::keyClicks(MainForm->editYear, QStringLiteral("2030"));
    press(Qt::Key_Return);
    QCOMPARE(shownDate(), QStringLiteral("2030/3/1"));
    QVERIFY(m_errors.isEmpty());
}

namespace {

// The windows made when the program starts, found as they are, and those a menu command makes
// when needed: a window added to the program is walked without a change here.
QStringList windowNames() {
    CreateForms();
    QStringList names;
    for (QWidget* w : QApplication::topLevelWidgets())
        if ((qobject_cast<QDialog*>(w) || qobject_cast<QMainWindow*>(w)) &&
            !w->objectName().isEmpty())
            names << w->objectName();
    DestroyForms();
    names << QStringLiteral("CalendarImportForm") << QStringLiteral("CalendarExportForm");
    names.sort();
    return names;
}

void addWindowRows() {
    QTest::addColumn<QString>("window");
    for (const QString& name : windowNames())
        QTest::newRow(qPrintable(name)) << name;
}

// A calendar to preview: an entry the day already has, a new one, and one that cannot be stored.
const QByteArray PreviewCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//hand//written//EN\r\n"
    "BEGIN:VEVENT\r\nUID:a\r\nDTSTAMP:20250101T000000Z\r\nDTSTART;VALUE=DATE:20250311\r\n"
    "SUMMARY:歯医者\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:b\r\nDTSTAMP:20250101T000000Z\r\nDTSTART;VALUE=DATE:20250312\r\n"
    "SUMMARY:棚卸\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:c\r\nDTSTAMP:20250101T000000Z\r\nDTSTART;VALUE=DATE:20250315\r\n"
    "SUMMARY:誕生会\xF0\x9F\x8E\x82\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

// The controls Tab stops at; the inner part of a compound control stands for it.
QList<QWidget*> tabStops(QWidget* window) {
    QList<QWidget*> stops;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (!w->focusProxy() && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
            w->isVisibleTo(window) && w->window() == window)
            stops << w;
    return stops;
}

QWidget* stopOf(QWidget* focus, const QList<QWidget*>& stops) {
    while (focus && !stops.contains(focus))
        focus = focus->parentWidget();
    return focus;
}

QString describe(const QWidget* w) {
    if (!w)
        return QStringLiteral("(none)");
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                     : w->objectName();
}

} // namespace

// Each window as its opener shows it, with something in its lists.
QWidget* tst_MainForm::openWindow(const QString& name) {
    Clock::setFixedNow(QDateTime(QDate(2025, 3, 7), QTime(9, 5, 3)));
    m_data->write(QStringLiteral("2025.csv"),
                  crlf({"20250311,1,10:00,11:00,会議,本社,資料", "20250311,2,,,歯医者,,"}));
    m_data->write(AnniversaryFileName, crlf({"2000/03/05,記念日,"}));
    m_data->write(HolidayFileName, crlf({"03/20,春分の日,0,0", "05/--,第二月曜,2,1"}));
    QWidget* window = nullptr;
    if (name == QLatin1String("CalendarImportForm")) {
        m_data->write(QStringLiteral("preview.ics"), PreviewCalendar);
        auto* form = new TCalendarImportForm;
        m_madeWindow.reset(form);
        form->LoadIcsFile(m_data->file(QStringLiteral("preview.ics")));
        window = form;
    } else if (name == QLatin1String("CalendarExportForm")) {
        m_madeWindow = std::make_unique<TCalendarExportForm>();
        window = m_madeWindow.get();
    } else {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == name)
                window = w;
    }
    if (window == MainEditForm) {
        MainEditForm->setWindowTitle(QStringLiteral("2025/03/11"));
        MainEditForm->LoadDaySchedule();
    }
    // Placed as the menu commands place their windows: over the main window's corner.
    if (window && window != MainForm && MainForm->isVisible())
        window->move(MainForm->pos());
    if (window) {
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            return nullptr;
    }
    return window;
}

void tst_MainForm::tabReachesOkAndCancel_data() {
    addWindowRows();
}

// From every control, Tab and Shift+Tab reach both OK and ｷｬﾝｾﾙ (in a window without them, every
// other control), and the control that has the focus as the window opens shows it.
void tst_MainForm::tabReachesOkAndCancel() {
    QFETCH(QString, window);
    QWidget* shown = openWindow(window);
    QVERIFY(shown);
    const QList<QWidget*> stops = tabStops(shown);
    if (stops.isEmpty())
        QSKIP("a window without controls");
    QList<QWidget*> targets;
    for (const char* exit : {"btnOk", "btnCancel", "OKButton"})
        for (auto* button : shown->findChildren<QPushButton*>(QLatin1String(exit)))
            if (button->window() == shown)
                targets << button;
    if (targets.isEmpty())
        targets = stops;

    QWidget* first = stopOf(QApplication::focusWidget(), stops);
    QVERIFY(first);
    const QImage marked = first->grab().toImage();
    for (QWidget* from : stops)
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
            from->setFocus(Qt::OtherFocusReason);
            QSet<QWidget*> reached;
            // A date picker takes a Tab for each of its parts before it lets the focus go on.
            for (int i = 0; i <= 3 * stops.size(); ++i) {
                press(key);
                reached << stopOf(QApplication::focusWidget(), stops);
            }
            for (QWidget* target : targets)
                QVERIFY2(reached.contains(target),
                         qPrintable(describe(from) + QStringLiteral(" → ") + describe(target)));
            QVERIFY(shown->isVisible());
        }
    if (stops.size() > 1) {
        (first == stops.first() ? stops.last() : stops.first())->setFocus(Qt::TabFocusReason);
        QVERIFY2(first->grab().toImage() != marked, qPrintable(describe(first)));
    }
    // A date picker's calendar opens from the keyboard, as a drop-down list does.
    for (QDateEdit* picker : shown->findChildren<QDateEdit*>()) {
        if (!picker->isVisibleTo(shown))
            continue;
        picker->setFocus(Qt::TabFocusReason);
        press(Qt::Key_F4);
        QTRY_VERIFY2(picker->calendarWidget()->isVisible(), qPrintable(describe(picker)));
        picker->calendarWidget()->window()->close();
    }
    shown->hide();
}

void tst_MainForm::everyInputHasAName_data() {
    addWindowRows();
}

namespace {

void checkNames(QAccessibleInterface* node, const QString& path) {
    if (!node || node->state().invisible)
        return;
    static const QSet<QAccessible::Role> inputs = {QAccessible::EditableText, QAccessible::SpinBox,
                                                   QAccessible::ComboBox,     QAccessible::Table,
                                                   QAccessible::List,         QAccessible::Tree};
    const QString name = node->text(QAccessible::Name);
    if (inputs.contains(node->role())) {
        // A name that is only the shown value (a month box's " 1月") names nothing.
        QVERIFY2(!name.trimmed().isEmpty() && (node->role() != QAccessible::ComboBox ||
                                               name != node->text(QAccessible::Value)),
                 qPrintable(path + QStringLiteral(": '") + name + QLatin1Char('\'')));
    }
    if (QAccessibleTableInterface* table = node->tableInterface()) {
        if (auto* view = qobject_cast<QTableView*>(node->object())) {
            int shownColumns = 0;
            for (int c = 0; c < view->model()->columnCount(); ++c)
                shownColumns += view->isColumnHidden(c) ? 0 : 1;
            QCOMPARE(table->columnCount(), shownColumns);
        }
        for (int r = 0; r < table->rowCount(); ++r)
            for (int c = 0; c < table->columnCount(); ++c) {
                const QString cell = table->cellAt(r, c)->text(QAccessible::Name);
                QVERIFY2(cell.isEmpty() || !cell.trimmed().isEmpty(),
                         qPrintable(QStringLiteral("%1 cell %2,%3").arg(path).arg(r).arg(c)));
            }
        return;
    }
    for (int i = 0; i < node->childCount(); ++i)
        checkNames(node->child(i), path + QLatin1Char('/') + QString::number(i));
}

} // namespace

// What a screen reader finds in each window: every input and every table named, no hidden
// column, no blank cell read as a space, and once Tab has left a table no cell of it focused.
void tst_MainForm::everyInputHasAName() {
    QFETCH(QString, window);
    QWidget* shown = openWindow(window);
    QVERIFY(shown);
    checkNames(QAccessible::queryAccessibleInterface(shown), window);
    for (QTableView* view : shown->findChildren<QTableView*>()) {
        if (!view->isVisibleTo(shown) || view->model()->rowCount() == 0)
            continue;
        view->setFocus(Qt::TabFocusReason);
        press(Qt::Key_Tab);
        QVERIFY(!view->hasFocus());
        QAccessibleTableInterface* table =
            QAccessible::queryAccessibleInterface(view)->tableInterface();
        QVERIFY(table);
        for (int r = 0; r < table->rowCount(); ++r)
            for (int c = 0; c < table->columnCount(); ++c)
                QVERIFY2(!table->cellAt(r, c)->state().focused,
                         qPrintable(QStringLiteral("%1,%2").arg(r).arg(c)));
    }
    shown->hide();
}

void tst_MainForm::windowTextsAreLegible_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("dark");
    for (bool dark : {false, true})
        for (const QString& name : windowNames())
            QTest::newRow(qPrintable(name + (dark ? QStringLiteral(", dark") : QString())))
                << name << dark;
}

// Every text of every window reads at 4.5:1 at least on what it lies on, in the light theme and
// in a dark one (as a dark desktop theme gives the toolkit its colours).
void tst_MainForm::windowTextsAreLegible() {
    QFETCH(QString, window);
    QFETCH(bool, dark);
    const QPalette saved = QApplication::palette();
    const auto restore = qScopeGuard([saved] { QApplication::setPalette(saved); });
    if (dark)
        QApplication::setPalette(DarkTheme());
    QWidget* shown = openWindow(window);
    QVERIFY(shown);
    // The background a text lies on: the nearest widget that fills its own.
    const auto ground = [shown](const QWidget* w) {
        while (w != shown && !w->autoFillBackground())
            w = w->parentWidget();
        return w->palette().color(QPalette::Window);
    };
    const auto check = [](const QColor& ink, const QColor& background, const QString& what) {
        QVERIFY2(contrastRatio(ink, background) >= 4.5,
                 qPrintable(QStringLiteral("%1: %2 on %3 (%4:1)")
                                .arg(what, ink.name(), background.name())
                                .arg(contrastRatio(ink, background), 0, 'f', 1)));
    };
    for (QWidget* w : shown->findChildren<QWidget*>()) {
        // Text that is switched off need not be read.
        if (!w->isVisibleTo(shown) || !w->isEnabled() || w->window() != shown)
            continue;
        const QPalette& p = w->palette();
        const QString what = describe(w);
        if (qobject_cast<QPushButton*>(w) || qobject_cast<QToolButton*>(w))
            check(p.color(QPalette::ButtonText), p.color(QPalette::Button), what);
        else if ((qobject_cast<QLabel*>(w) && !qobject_cast<QLabel*>(w)->text().isEmpty()) ||
                 qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w) ||
                 qobject_cast<QGroupBox*>(w))
            check(p.color(QPalette::WindowText), ground(w), what);
        else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                 qobject_cast<QComboBox*>(w))
            check(p.color(QPalette::Text), p.color(QPalette::Base), what);
        if (auto* table = qobject_cast<QTableWidget*>(w))
            for (int r = 0; r < table->rowCount(); ++r)
                for (int c = 0; c < table->columnCount(); ++c)
                    if (const QTableWidgetItem* item = table->item(r, c))
                        check(item->foreground().style() == Qt::NoBrush
                                  ? p.color(QPalette::Text)
                                  : item->foreground().color(),
                              p.color(QPalette::Base),
                              QStringLiteral("%1 %2,%3").arg(what).arg(r).arg(c));
        if (QTest::currentTestFailed())
            return;
    }
    shown->hide();
}

void tst_MainForm::windowsOnScreen_data() {
    addWindowRows();
}

// With the main window in the screen's bottom right corner, every window opens wholly on the
// screen, each of its controls too. It runs again at twice the scale on a 1024×768 screen
// (tst_mainform_scaled), where the day list is wider than the screen.
void tst_MainForm::windowsOnScreen() {
    QFETCH(QString, window);
    showAt(QDate(2025, 3, 7));
    const QRect area = MainForm->screen()->availableGeometry();
    const QSize frame = MainForm->frameGeometry().size();
    MainForm->move(area.right() + 1 - frame.width(), area.bottom() + 1 - frame.height());
    QWidget* shown = openWindow(window);
    QVERIFY(shown);
    QVERIFY2(area.contains(shown->frameGeometry()),
             qPrintable(QStringLiteral("%1,%2 %3×%4")
                            .arg(shown->frameGeometry().x())
                            .arg(shown->frameGeometry().y())
                            .arg(shown->frameGeometry().width())
                            .arg(shown->frameGeometry().height())));
    for (QWidget* control : tabStops(shown))
        QVERIFY2(area.contains(QRect(control->mapToGlobal(QPoint()), control->size())),
                 qPrintable(describe(control)));
    shown->hide();
}

void tst_MainForm::keys_data() {
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("day"); // made current first
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("opened");
    const QDate today(2025, 3, 7);
    const auto ctrl = [](Qt::Key key) { return QKeySequence(Qt::CTRL | key); };
    QTest::newRow("right within the month")
        << today << 7 << QKeySequence(Qt::Key_Right) << "2025/3/8"
        << "";
    QTest::newRow("left from the first") << today << 1 << QKeySequence(Qt::Key_Left) << "2025/2/28"
                                         << "";
    QTest::newRow("up from the third") << today << 3 << QKeySequence(Qt::Key_Up) << "2025/2/24"
                                       << "";
    QTest::newRow("down from the 28th") << today << 28 << QKeySequence(Qt::Key_Down) << "2025/4/4"
                                        << "";
    QTest::newRow("right from 31 December")
        << QDate(2025, 12, 31) << 31 << QKeySequence(Qt::Key_Right) << "2026/1/1"
        << "";
    QTest::newRow("up into a leap February")
        << QDate(2024, 3, 4) << 4 << QKeySequence(Qt::Key_Up) << "2024/2/26"
        << "";
    QTest::newRow("Page Down") << today << 20 << QKeySequence(Qt::Key_PageDown) << "2025/4/1"
                               << "";
    QTest::newRow("Page Up") << today << 20 << QKeySequence(Qt::Key_PageUp) << "2025/2/1"
                             << "";
    QTest::newRow("Ctrl+Page Up") << today << 20 << ctrl(Qt::Key_PageUp) << "2024/3/1"
                                  << "";
    QTest::newRow("Ctrl+Page Down") << today << 20 << ctrl(Qt::Key_PageDown) << "2026/3/1"
                                    << "";
    QTest::newRow("Ctrl+Page Down at 2099 stays")
        << QDate(2099, 12, 10) << 10 << ctrl(Qt::Key_PageDown) << "2099/12/10"
        << "";
    QTest::newRow("Ctrl+Page Up at 1980 stays")
        << QDate(1980, 1, 10) << 10 << ctrl(Qt::Key_PageUp) << "1980/1/10"
        << "";
    QTest::newRow("Page Down beyond 2099, Ctrl+Page Down refused")
        << QDate(2099, 12, 10) << 10
        << QKeySequence(QKeyCombination(Qt::Key_PageDown), Qt::CTRL | Qt::Key_PageDown)
        << "2100/1/1"
        << "";
    QTest::newRow("Ctrl+Page Up from 2100 gives 2099")
        << QDate(2099, 12, 10) << 10
        << QKeySequence(QKeyCombination(Qt::Key_PageDown), Qt::CTRL | Qt::Key_PageUp) << "2099/1/1"
        << "";
    QTest::newRow("Home after months away")
        << today << 20 << QKeySequence(Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_Home)
        << "2025/3/7"
        << "";
    QTest::newRow("Enter opens the current day")
        << today << 12 << QKeySequence(Qt::Key_Enter) << "2025/3/12"
        << "2025/03/12";
    QTest::newRow("Return, in another month")
        << today << 7 << QKeySequence(Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return)
        << "2025/3/28"
        << "2025/03/28";
}

void tst_MainForm::keys() {
    QFETCH(QDate, today);
    QFETCH(int, day);
    QFETCH(QKeySequence, keys);
    showAt(today);
    QStringList opened;
    MainForm->OpenDaySchedule = [&](const QString& date) {
        opened << date;
        return 2;
    };
    clickDay(day);
    QTest::keySequence(MainForm->gridCal, keys);
    QTEST(shownDate(), "shown");
    QTEST(opened.join(QLatin1Char(' ')), "opened");
    QCOMPARE(MainForm->editYear->text(), QString::number(MainForm->ShownYear()));
}

void tst_MainForm::menuFromTheKeyboard_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("opened"); // the first menu open, else only its title highlighted
    QTest::addColumn<bool>("hint");   // instead, the current day's hint shown, the menu bar left
    QTest::newRow("F10 opens the first menu") << int(Qt::Key_F10) << 0 << true << false;
    QTest::newRow("Alt highlights the menu bar")
        << int(Qt::Key_Alt) << int(Qt::AltModifier) << false << false;
    QTest::newRow("Shift+F10, the context menu key, shows the day's hint")
        << int(Qt::Key_F10) << int(Qt::ShiftModifier) << false << true;
}

void tst_MainForm::menuFromTheKeyboard() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, opened);
    QFETCH(bool, hint);
    m_data->write(HolidayFileName, crlf({"03/07,休日,0,0"}));
    showAt(QDate(2025, 3, 7));
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    const auto closeMenu = qScopeGuard([] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
    press(key, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(MainForm->MainMenu->activeAction(), hint ? nullptr : MainForm->File1->menuAction());
    QTRY_COMPARE(QApplication::activePopupWidget() == MainForm->File1, opened);
    QCOMPARE(MainForm->HintHook()->HintShowing(), hint);
    if (hint)
        QCOMPARE(MainForm->HintHook()->HintWindow()->text(), QStringLiteral("▼休日"));
}

void tst_MainForm::wheel_data() {
    QTest::addColumn<QString>("over");
    QTest::addColumn<QList<int>>("deltas"); // eighths of a degree, 120 a notch
    QTest::addColumn<QString>("shown");
    QTest::newRow("grid, away: back") << "gridCal" << QList<int>{120} << "2025/2/1";
    QTest::newRow("grid, two notches toward") << "gridCal" << QList<int>{-240} << "2025/5/1";
    QTest::newRow("grid, half notches add up")
        << "gridCal" << QList<int>{-60, -30, -30} << "2025/4/1";
    QTest::newRow("grid, half a notch") << "gridCal" << QList<int>{60} << "2025/3/7";
    QTest::newRow("month spinner, away: on") << "btnMonth" << QList<int>{120} << "2025/4/1";
    QTest::newRow("year spinner, toward: back") << "btnYear" << QList<int>{-120} << "2025/2/1";
    QTest::newRow("month field") << "editMonth" << QList<int>{120} << "2025/4/1";
}

void tst_MainForm::wheel() {
    QFETCH(QString, over);
    QFETCH(QList<int>, deltas);
    showAt(QDate(2025, 3, 7));
    auto* target = MainForm->findChild<QWidget*>(over);
    QVERIFY(target);
    // A spinner's arrows pass the wheel on to it.
    if (auto* spinner = qobject_cast<TUpDown*>(target))
        target = spinner->upButton();
    for (int delta : deltas) {
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    }
    QTEST(shownDate(), "shown");
}

void tst_MainForm::accessibleNames_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("btnPrev") << "btnPrev"
                             << "前の月";
    QTest::newRow("btnNext") << "btnNext"
                             << "次の月";
    QTest::newRow("editYear") << "editYear"
                              << "年";
    QTest::newRow("editMonth") << "editMonth"
                               << "月";
    QTest::newRow("btnYear") << "btnYear"
                             << "年の増減";
    QTest::newRow("btnMonth") << "btnMonth"
                              << "月の増減";
    QTest::newRow("gridCal") << "gridCal"
                             << "カレンダー";
    QTest::newRow("GuidePanel") << "GuidePanel"
                                << "状態表示";
}

void tst_MainForm::accessibleNames() {
    QFETCH(QString, control);
    showAt(QDate(2025, 3, 7));
    MainForm->TimerMainTimer();
    auto* widget = MainForm->findChild<QWidget*>(control);
    QVERIFY(widget);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(iface);
    QTEST(iface->text(QAccessible::Name), "name");
    // Whatever is inside it has a name too: the spinners' arrows, the status panels, the days.
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        const bool emptyCell = control == QLatin1String("gridCal") &&
                               MainForm->gridCal->Cells().cell(i % 7, i / 7 + 1).isEmpty();
        QVERIFY2(emptyCell || !child->text(QAccessible::Name).isEmpty(),
                 qPrintable(QString::number(i)));
    }
}

void tst_MainForm::dayCellNames_data() {
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("name");
    QTest::newRow("a holiday") << 5 << "2025年5月5日 月曜日 祝日 こどもの日";
    QTest::newRow("an event and an anniversary")
        << 13 << "2025年5月13日 火曜日 イベント 棚卸 記念日 結婚記念日[10]";
    QTest::newRow("two schedule entries")
        << 20 << "2025年5月20日 火曜日 予定 会議-本社- 予定 歯医者";
    QTest::newRow("nothing") << 21 << "2025年5月21日 水曜日";
}

void tst_MainForm::dayCellNames() {
    QFETCH(int, day);
    m_data->write(HolidayFileName, crlf({"05/05,こどもの日,0,0"}));
    m_data->write(EventFileName, crlf({"05/13,棚卸,0,0"}));
    m_data->write(AnniversaryFileName, crlf({"2015/05/13,結婚記念日,"}));
    m_data->write(QStringLiteral("2025.csv"),
                  crlf({"20250520,1,10:00,11:00,会議,本社,", "20250520,2,,,歯医者,,"}));
    showAt(QDate(2025, 5, 1));
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(MainForm->gridCal);
    QAccessibleTableInterface* table = grid->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 6);
    QCOMPARE(table->columnCount(), 7);
    int col = 0;
    int row = 0;
    QVERIFY(MainForm->gridCal->Cells().findDay(day, col, row));
    QAccessibleInterface* cell = table->cellAt(row - 1, col);
    QTEST(cell->text(QAccessible::Name), "name");
    QCOMPARE(cell->role(), QAccessible::Cell);

    SelectDayCell(day, MainForm->gridCal);
    QVERIFY(cell->state().focused);
    QCOMPARE(grid->focusChild(), cell);
}

// What a screen reader hears while the current day moves: the focus goes to the day's cell,
// whose name it speaks. Qt tells the accessibility bus only while one is there, so this runs
// on its own, on a private display with the bus (scripts/with-accessibility-bus.sh).
void tst_MainForm::screenReaderHearsTheDay() {
    if (!qEnvironmentVariableIsSet("KALENDO_ACCESSIBILITY_BUS"))
        QSKIP("runs as tst_mainform_screenreader, with the accessibility bus");
    m_data->write(HolidayFileName, crlf({"04/29,昭和の日,0,0"}));
    showAt(QDate(2025, 4, 28));
    MainForm->activateWindow(); // no window manager on the private display
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 10000);
    focusEvents.clear();
    QAccessible::installUpdateHandler(recordFocus);
    const auto restore = qScopeGuard([] { QAccessible::installUpdateHandler(nullptr); });
    press(Qt::Key_Right);
    QCOMPARE(focusEvents.value(focusEvents.size() - 1),
             QStringLiteral("2025年4月29日 火曜日 祝日 昭和の日"));
    // Another month brings new cells: a reader that keeps what it was told about a cell must
    // not speak April's date for a day of May.
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(MainForm->gridCal);
    const QAccessible::Id april = QAccessible::uniqueId(grid->tableInterface()->cellAt(0, 4));
    press(Qt::Key_PageDown);
    QCOMPARE(focusEvents.value(focusEvents.size() - 1), QStringLiteral("2025年5月1日 木曜日"));
    QVERIFY(!QAccessible::accessibleInterface(april));
    // Back into April: the day reached alone, not first the day the refill selects (today).
    focusEvents.clear();
    press(Qt::Key_Left);
    QCOMPARE(focusEvents, QStringList{QStringLiteral("2025年4月30日 水曜日")});
}

// Under a dark desktop theme the grid and the lists keep their own backgrounds, and every text
// stays legible on them.
void tst_MainForm::darkPalette() {
    const QPalette saved = QApplication::palette();
    const auto restore = qScopeGuard([saved] { QApplication::setPalette(saved); });
    QApplication::setPalette(DarkTheme());

    // Every layer: holidays on every background, each weekday colour, current and not.
    m_data->write(HolidayFileName, crlf({"03/03,休日,0,0", "03/04,休日,0,0", "03/05,休日,0,0",
                                         "03/09,休日,0,0", "03/10,休日,0,0"}));
    m_data->write(EventFileName, crlf({"03/04,行事,0,0", "03/12,行事,0,0", "03/15,行事,0,0"}));
    m_data->write(AnniversaryFileName, crlf({"2000/03/05,記念日,", "2000/03/13,記念日,"}));
    m_data->write(QStringLiteral("2025.csv"), crlf({"20250311,1,,,会議,,"}));
    showAt(QDate(2025, 3, 10));
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    const QImage image = MainForm->gridCal->grab().toImage();
    QSet<QRgb> inks;
    for (int col = 0; col < 7; ++col)
        for (int row = 0; row < 7; ++row) {
            if (MainForm->gridCal->Cells().cell(col, row).isEmpty())
                continue;
            const QRect r = MainForm->gridCal->CellRect(col, row);
            const QColor background = image.pixelColor(r.right() - 2, r.bottom() - 2);
            const QColor ink = inkOf(image, r, background);
            inks << ink.rgb();
            QVERIFY2(contrastRatio(ink, background) >= 4.5,
                     qPrintable(QStringLiteral("%1,%2: %3 on %4")
                                    .arg(col)
                                    .arg(row)
                                    .arg(ink.name(), background.name())));
        }
    QCOMPARE(inks.size(), 4); // the weekday, Sunday, Saturday and holiday colours were all seen

    MainEditForm->setWindowTitle(QStringLiteral("2025/03/11"));
    MainEditForm->LoadDaySchedule();
    MainEditForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainEditForm));
    MainEditForm->btnAddNew->setFocus();
    const QImage list = MainEditForm->gridEdit->grab().toImage();
    const QHeaderView* header = MainEditForm->gridEdit->horizontalHeader();
    const int title = 4;
    for (const QRect& r :
         {QRect(header->sectionViewportPosition(title), 0, header->sectionSize(title),
                header->height()),
          MainEditForm->gridEdit->visualRect(MainEditForm->gridEdit->model()->index(0, title))
              .translated(0, header->height())}) {
        const QColor background = list.pixelColor(r.right() - 2, r.bottom() - 2);
        QVERIFY2(contrastRatio(inkOf(list, r, background), background) >= 4.5,
                 qPrintable(background.name()));
    }
}

void tst_MainForm::hintStaysOnScreen_data() {
    QTest::addColumn<int>("corner");
    QTest::addColumn<bool>("above");   // the hint of the last row opens above its cell
    QTest::addColumn<bool>("shifted"); // the wide hint of the last column moves left
    QTest::addColumn<int>("lines31");  // holidays on the 31st
    QTest::newRow("top left") << int(Qt::TopLeftCorner) << false << false << 4;
    QTest::newRow("top right") << int(Qt::TopRightCorner) << false << true << 4;
    QTest::newRow("bottom left") << int(Qt::BottomLeftCorner) << true << false << 4;
    QTest::newRow("bottom right") << int(Qt::BottomRightCorner) << true << true << 4;
    // More lines than the screen holds: as many as fit, the last saying how many more.
    QTest::newRow("busy day") << int(Qt::TopLeftCorner) << false << false << 3000;
}

void tst_MainForm::hintStaysOnScreen() {
    QFETCH(int, corner);
    QFETCH(int, lines31);
    // March 2025: the 1st stands in the last column, the 31st in the last row.
    const QByteArray wide(60, 'W');
    // The 31st's hint is four lines high: no room for it under the last row at the bottom.
    QByteArray holidays = "03/01," + wide + ",0,0\r\n";
    for (int line = 0; line < lines31; ++line)
        holidays += "03/31,W,0,0\r\n";
    m_data->write(HolidayFileName, holidays);
    showAt(QDate(2025, 3, 7));
    const QRect screen = WholePixelArea(MainForm->screen());
    // The screen's width in its own pixels, from which its logical width was rounded (run at
    // scale 1.5 too, as tst_mainform_hint_scaled).
    const qreal ratio = MainForm->screen()->devicePixelRatio();
    const int pixelsWide =
        int(std::floor((MainForm->screen()->availableGeometry().right() + 1) * ratio));
    const QSize frame = MainForm->frameGeometry().size();
    const bool right = corner == Qt::TopRightCorner || corner == Qt::BottomRightCorner;
    const bool bottom = corner == Qt::BottomLeftCorner || corner == Qt::BottomRightCorner;
    MainForm->move(right ? screen.right() + 1 - frame.width() : screen.left(),
                   bottom ? screen.bottom() + 1 - frame.height() : screen.top());
    QTRY_COMPARE(MainForm->frameGeometry().bottomRight(),
                 QPoint(right ? screen.right() : screen.left() + frame.width() - 1,
                        bottom ? screen.bottom() : screen.top() + frame.height() - 1));
    TCalendarGrid* grid = MainForm->gridCal;
    THintHook* hook = MainForm->HintHook();
    for (int day : {1, 31}) {
        const QRect r = cell(day);
        hook->RequestHint(grid, r.center());
        QVERIFY(hook->HintShowing());
        const QRect hint = hook->HintWindow()->frameGeometry();
        QVERIFY2(screen.contains(hint), qPrintable(QString::number(day)));
        // Each edge rounded to the screen's pixels apart, as the window system places it.
        QVERIFY2(qRound(hint.x() * ratio) + qRound(hint.width() * ratio) <= pixelsWide,
                 qPrintable(QString::number(day)));
        if (day == 31 && lines31 > 4) {
            const QStringList shown = hook->HintWindow()->text().split(QLatin1Char('\n'));
            QVERIFY(shown.size() > 4);
            QCOMPARE(shown.last(), QStringLiteral("他%1件").arg(lines31 - (shown.size() - 1)));
            continue;
        }
        const QPoint cellBottomLeft = grid->mapToGlobal(QPoint(r.left(), r.bottom() + 1));
        const bool above = day == 31 && bottom;
        const bool shifted = day == 1 && right;
        if (day == 31)
            QTEST(above, "above");
        if (day == 1)
            QTEST(shifted, "shifted");
        // Where it fits, it stays exactly under the cell, on its left edge.
        QCOMPARE(hint.top(),
                 above ? grid->mapToGlobal(r.topLeft()).y() - hint.height() : cellBottomLeft.y());
        if (shifted)
            QCOMPARE(hint.right(), screen.right());
        else
            QCOMPARE(hint.left(), cellBottomLeft.x());
    }
}

void tst_MainForm::endSignals_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("open"); // 0 nothing, 1 the day list with a change, 2 also its editor
    QTest::newRow("SIGTERM") << SIGTERM << 0;
    QTest::newRow("SIGHUP over the day list") << SIGHUP << 1;
    QTest::newRow("SIGINT over the editor") << SIGINT << 2;
    QTest::newRow("SIGTERM over the editor") << SIGTERM << 2;
}

// An end signal closes Kalendo as the user would: the position is kept, and nothing that was
// not confirmed with OK is written.
void tst_MainForm::endSignals() {
    QFETCH(int, signal);
    QFETCH(int, open);
    const QByteArray before = crlf({"20250307,1,,,会議,,"});
    m_data->write(QStringLiteral("2025.csv"), before);
    showAt(QDate(2025, 3, 7));
    qobject_cast<KalendoApplication*>(qApp)->EndOnSignals(MainForm);
    MainForm->move(30, 40);
    if (open == 0) {
        ::raise(signal);
    } else {
        whenModal(MainEditForm, [signal, open] {
            MainEditForm->btnDelete->click();
            if (open == 1)
                ::raise(signal);
            else {
                whenModal(MainInputForm, [signal] {
                    typeText(MainInputForm->editSchedule, QStringLiteral("歯医者"));
                    ::raise(signal);
                });
                MainEditForm->btnAddNew->click();
            }
        });
        MainForm->gridCalDblClick();
        QVERIFY(!MainEditForm->isVisible());
    }
    QTRY_VERIFY(!MainForm->isVisible());
    QCOMPARE(ReadWindowPosition(), QPoint(30, 40));
    QCOMPARE(m_data->read(QStringLiteral("2025.csv")), before);
    QVERIFY(m_errors.isEmpty());
}

void tst_MainForm::toolkitSpeaksJapanese() {
    const std::unique_ptr<QMenu> menu(MainForm->editYear->createStandardContextMenu());
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << action->text();
    QVERIFY2(texts.join(u'|').contains(QStringLiteral("コピー(&C)")), qPrintable(texts.join(u' ')));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
}

void tst_MainForm::windowsTakeTheirFontWhenShown_data() {
    QTest::addColumn<int>("window"); // in the order CreateForms makes them
    const char* names[] = {"version",     "anniversaries", "anniversary editor", "rule sets",
                           "rule editor", "day list",      "day entry editor"};
    for (int i = 0; i < int(std::size(names)); ++i)
        QTest::newRow(names[i]) << i;
}

// The windows are made at start-up without their font; each has it, down to its controls, as
// soon as it shows.
void tst_MainForm::windowsTakeTheirFontWhenShown() {
    QFETCH(int, window);
    showAt(QDate(2025, 3, 7));
    QWidget* shown =
        QList<QWidget*>{AboutForm,        AnniversaryForm, AnniversaryEditForm, ComWeeksForm,
                        ComWeeksEditForm, MainEditForm,    MainInputForm}[window];
    shown->show();
    const auto hide = qScopeGuard([shown] { shown->hide(); });
    const QFont expected = GothicFont(15);
    QCOMPARE(shown->font().family(), expected.family());
    QCOMPARE(shown->font().pixelSize(), 15);
    for (const QWidget* control : shown->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!control->testAttribute(Qt::WA_SetFont) && !control->isWindow())
            QVERIFY2(control->font() == shown->font(), qPrintable(control->objectName()));
}

void tst_MainForm::standardIcons_data() {
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("onMenuBar");
    QTest::newRow("menu bar overflow") << int(QStyle::SP_ToolBarHorizontalExtensionButton) << true;
    QTest::newRow("toolbar overflow") << int(QStyle::SP_ToolBarVerticalExtensionButton) << false;
    QTest::newRow("warning") << int(QStyle::SP_MessageBoxWarning) << false;
}

// The application's style makes some icons only when they are first drawn; they are then the
// desktop style's own.
void tst_MainForm::standardIcons() {
    QFETCH(int, icon);
    QFETCH(bool, onMenuBar);
    const auto which = QStyle::StandardPixmap(icon);
    const auto* style = qobject_cast<const QProxyStyle*>(QApplication::style());
    QVERIFY(style);
    const std::unique_ptr<QStyle> desktop(QStyleFactory::create(style->baseStyle()->name()));
    const QImage expected = desktop->standardIcon(which).pixmap(16).toImage();
    QVERIFY(!expected.isNull());
    QCOMPARE(style->standardIcon(which).pixmap(16).toImage(), expected);
    if (onMenuBar) {
        const auto* overflow = MainForm->MainMenu->findChild<QToolButton*>();
        QVERIFY(overflow);
        QCOMPARE(overflow->icon().pixmap(16).toImage(), expected);
    }
}

int main(int argc, char** argv) {
    KalendoApplication app(argc, argv);
    tst_MainForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainform.moc"
