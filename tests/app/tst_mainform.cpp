#include "TestSupport.h"
#include "anniversary/Anniversary.h"
#include "anniversary/AnniversaryEdit.h"
#include "app/About.h"
#include "app/Forms.h"
#include "app/GuidePanel.h"
#include "app/KalendoApplication.h"
#include "app/Main.h"
#include "app/Splash.h"
#include "data/KalendoError.h"
#include "monthview/MonthCellPaint.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rulesets/ComWeeks.h"
#include "rulesets/ComWeeksEdit.h"
#include "schedule/MainEdit.h"
#include "schedule/MainInput.h"

#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>
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

private:
    void showAt(const QDate& today);
    QRect cell(int day) const;
    void clickDay(int day);

    std::unique_ptr<TempDataFolder> m_data;
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

    // After the arrows have left the range, the spinner brings the year back to its end.
    QTest::mouseClick(MainForm->btnNext, Qt::LeftButton);
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("2100"));
    QTest::mouseClick(yearUp, Qt::LeftButton);
    QCOMPARE(MainForm->ShownYear(), 2099);
    QCOMPARE(MainForm->ShownMonth(), 1);
    QTest::mouseClick(MainForm->btnYear->downButton(), Qt::LeftButton);
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("2098"));
    QCOMPARE(shownDay(), QStringLiteral(" 1"));

    MainForm->editYear->setText(QStringLiteral("1980"));
    QTest::mouseClick(MainForm->btnYear->downButton(), Qt::LeftButton);
    QCOMPARE(MainForm->editYear->text(), QStringLiteral("1980"));
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
    QTest::keyClick(grid, Qt::Key_Left); // onto an empty cell
    QCOMPARE(shownDay(), QStringLiteral(" 1"));
    QTest::keyClick(grid, Qt::Key_Up); // onto the header
    QCOMPARE(shownDay(), QStringLiteral(" 1"));
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(shownDay(), QStringLiteral(" 8"));
    clickDay(31);
    QTest::keyClick(grid, Qt::Key_Right); // 1 April is not in the grid
    QCOMPARE(shownDay(), QStringLiteral("31"));
}

void tst_MainForm::painting() {
    // March 2025, today the 10th (Monday).
    m_data->write(HolidayFileName, crlf({"03/16,日曜の休日,0,0", "03/06,休日,0,0"}));
    m_data->write(EventFileName, crlf({"03/03,行事,0,0", "03/05,行事,0,0"}));
    m_data->write(AnniversaryFileName,
                  crlf({"2000/03/04,記念日,", "2001/03/05,記念日,", "2002/03/06,記念日,"}));
    m_data->write(QStringLiteral("2025.csv"), crlf({"20250307,1,,,会議,,"}));
    showAt(QDate(2025, 3, 10));
    const QColor window = MainForm->gridCal->palette().color(QPalette::Base);
    const QColor button = MainForm->gridCal->palette().color(QPalette::Button);

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
    for (int showing = 0; showing < 2; ++showing) {
        QTimer::singleShot(0, AboutForm, [] { QTest::keyClick(AboutForm, Qt::Key_Return); });
        QCOMPARE(AboutForm->exec(), 1);
        QCOMPARE(AboutForm->lblVersion->text(), QStringLiteral("Version 2.2.1.192"));
    }
    QTimer::singleShot(0, AboutForm, [] { QTest::keyClick(AboutForm, Qt::Key_Escape); });
    QCOMPARE(AboutForm->exec(), 2);
}

int main(int argc, char** argv) {
    KalendoApplication app(argc, argv);
    tst_MainForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainform.moc"
