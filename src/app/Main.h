#pragma once

#include "app/KalendoApplication.h"
#include "monthview/CalendarGrid.h"
#include "monthview/HintHook.h"
#include "rules/YearTables.h"
#include "widgets/UpDown.h"

#include <QDate>
#include <QMainWindow>
#include <QSet>
#include <array>
#include <functional>

class QAction;
class QDialog;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;
class TGuidePanel;
class TSearchForm;
struct SearchMatch;

// The main window position kept in the user's settings (Vantree/Kalendo, group Windows, Left
// and Top as decimal text); a missing value or one that is not a number reads as 0.
QPoint ReadWindowPosition();
void WriteWindowPosition(const QPoint& position);
// Whether any part of a window frame lies on a screen. A stored position that would put the
// main window, which has no system menu to bring it back, wholly off every screen (a screen
// that is gone) opens it at the top-left corner instead.
bool OnSomeScreen(const QRect& frame);

// The main window: one month in the grid, the navigation above it, the clock below it.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    QPushButton* btnPrev;
    QLineEdit* editYear;
    TUpDown* btnYear;
    QLineEdit* editMonth;
    TUpDown* btnMonth;
    QPushButton* btnNext;
    TCalendarGrid* gridCal;
    TGuidePanel* GuidePanel;
    QTimer* TimerMain;
    QMenuBar* MainMenu;
    QMenu* File1;
    QAction* menuSearch;
    QAction* NSearch;
    QAction* menuExport;
    QAction* menuImport;
    QAction* menuSyncNow;
    QAction* N5;
    QAction* menuPrint;
    QAction* menuPdf;
    QAction* N6;
    QAction* menuExit;
    QMenu* Setting;
    QAction* menuAnivasary;
    QAction* N2;
    QAction* menuHoliday;
    QAction* N4;
    QAction* menuEvent;
    QAction* N7;
    QAction* menuNotify;
    QAction* menuSync;
    QMenu* Help1;
    QAction* menuManual;
    QAction* menuHomePage;
    QAction* N1;
    QAction* menuAbout;

    // Opens the day schedule for a date "YYYY/MM/DD" and returns its modal result (1 OK).
    std::function<int(const QString& date)> OpenDaySchedule;
    // Opens 設定 → 通知.
    std::function<void()> OpenNotificationSettings;
    // The day schedule window, placed over this window's corner at the first show.
    QWidget* DayScheduleWindow = nullptr;

    int ShownYear() const { return m_year; }
    // The current day as the day list's caption "YYYY/MM/DD".
    QString CurrentDayDate() const;
    int ShownMonth() const { return m_month; }
    int DayToSelect() const { return m_dayToSelect; }
    const YearTables& Tables() const { return m_tables; }
    THintHook* HintHook() const { return m_hintHook; }

    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void TimerMainTimer();

    // Rebuilds the year tables for the shown year, then refills the grid.
    void RefreshMonth();
    // A day list's OK saved a day: the tables take its lines as written, so that the next
    // refresh neither reads the year again nor repaints more than that day.
    void DaySaved(const SavedDay& saved);

signals:
    // The user went to a month of this year (the sync brings its occurrences of recurring
    // events from the server).
    void YearShown(int year);

public:
    void FillMonthGrid();
    void gridCalDrawCell(TGridCanvas& canvas, int col, int row, const QRect& rect,
                         TGridDrawState state);
    bool gridCalSelectCell(int col, int row);
    void btnPrevClick();
    void btnNextClick();
    void btnYearClick();
    void btnMonthClick();
    // A year or month typed into its field: shown once both are in range, else put back.
    void editMonthTyped();

    // The month view from the keyboard: arrows move the current day (into the next or previous
    // month past its ends), Page Up/Down step months, with Ctrl years (as the year spinner),
    // Home returns to today, Enter opens the current day, the menu key or Shift+F10 shows the
    // day's hint. Returns whether it took the key.
    bool gridCalKeyDown(QKeyEvent* event);
    // Wheel steps over the grid and the spinners: positive steps go forward in time.
    void MouseWheelMonths(int steps);

    void ApplicationShowHint(THintInfo& info);
    void gridCalDblClick();
    void GuidePanelDblClick();
    // A reminder's 「開く」: the window comes forward at the day's month with the day's list open.
    void ShowDay(const QDate& date);

    // The search window (made when first asked for), its field ready for typing.
    void menuSearchClick();
    TSearchForm* SearchForm() const { return m_searchForm; }
    // A search's match: its month with its day selected and the day's list open on it; an
    // anniversary or a rule opens its list on its row.
    void ShowSearchMatch(const SearchMatch& match);
    // While a search's match opens its day: its line as stored, for the day list to select.
    const QByteArray& EntryToSelect() const { return m_entryToSelect; }
    void menuExportClick();
    // Refreshes the month when the preview's OK wrote entries.
    void menuImportClick();
    void menuPrintClick();
    void menuPdfClick();
    void menuExitClick();
    void menuAnivasaryClick();
    void menuHolidayClick();
    void menuEventClick();
    void menuNotifyClick();
    void menuManualClick();
    void menuHomePageClick();
    void menuAboutClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showMonth(int year, int month);
    void moveDay(int days);
    // The hint of the current day, as the mouse resting on it shows it (the menu key).
    void showCurrentDayHint();
    // Shows a list window over this window's corner; its OK brings the edits into the month.
    void openList(QDialog* list);
    // A slot that runs a handler and reports what it throws.
    template <typename Method> auto guarded(Method method) {
        return [this, method] { Guarded([this, method] { (this->*method)(); }); };
    }

    THintHook* m_hintHook;
    YearTables m_tables;
    bool m_inexactMarked = false; // the tables know the entries shown with 「※」
    // The rule line errors already said, by message and file version: a month step that meets
    // the same line of the same file again says nothing more.
    QSet<QString> m_saidRuleErrors;
    int m_year = 0;
    int m_month = 1;
    int m_dayToSelect = 1;
    // What the grid was last filled with (year, month, the tables' changes), and the days saved
    // since: while the first stays, only those days can look different.
    std::array<quint64, 3> m_filled{};
    QList<QDate> m_savedDays;
    bool m_shown = false;
    bool m_clockShown = false; // the clock has been shown once
    int m_wheelRest = 0; // eighths of a degree not yet a whole step
    TSearchForm* m_searchForm = nullptr;
    QByteArray m_entryToSelect;
};
