// The extras (Extras.h): built as the module the program loads after its first paint, and
// linked into the tests.
#include "app/Extras.h"
#include "app/Forms.h"
#include "app/GuidePanel.h"
#include "app/Main.h"
#include "calendarexchange/CalendarExport.h"
#include "calendarexchange/CalendarImport.h"
#include "monthview/MonthPrint.h"
#include "rules/ComType.h"
#include "syncsettings/SyncRunner.h"
#include "widgets/FormParts.h"

namespace {

TSyncRunner* syncRunner = nullptr;

// The sync with a CalDAV server runs beside the windows; its state shows on the status bar.
void startSync(QObject* owner) {
    syncRunner = new TSyncRunner(DataFolder(), MainForm);
    QObject::connect(owner, &QObject::destroyed, syncRunner, [] { syncRunner = nullptr; });
    QObject::connect(MainForm->menuSyncNow, &QAction::triggered, syncRunner,
                     [] { Guarded([] { syncRunner->SyncNow(); }); });
    QObject::connect(MainForm->menuSync, &QAction::triggered, syncRunner,
                     [] { Guarded([] { syncRunner->OpenSettings(); }); });
    QObject::connect(syncRunner, &TSyncRunner::Status, MainForm, [](const QString& text) {
        // The window is of fixed size: it grows by the note's row.
        const int before = MainForm->GuidePanel->height();
        MainForm->GuidePanel->setNote(text);
        MainForm->setFixedSize(MainForm->width(),
                               MainForm->height() + MainForm->GuidePanel->height() - before);
    });
    QObject::connect(MainForm, &TMainForm::YearShown, syncRunner,
                     [](int year) { syncRunner->ShowYear(year); });
    QObject::connect(syncRunner, &TSyncRunner::DataChanged, MainForm,
                     [] { Guarded([] { MainForm->RefreshMonth(); }); });
    syncRunner->Start();
}

void syncSoon() {
    if (syncRunner)
        syncRunner->SyncSoon();
}

const KalendoExtras extras = {startSync,         syncSoon,   RunCalendarExport,
                              RunCalendarImport, PrintMonth, SaveMonthPdf};

} // namespace

extern "C" __attribute__((visibility("default"))) const KalendoExtras* KalendoExtrasEntry() {
    return &extras;
}
