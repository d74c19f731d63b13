#include "app/Forms.h"

#include "anniversary/Anniversary.h"
#include "app/About.h"
#include "app/Extras.h"
#include "app/GuidePanel.h"
#include "app/InstanceDoor.h"
#include "app/InstanceGuard.h"
#include "app/KalendoApplication.h"
#include "app/Main.h"
#include "app/Splash.h"
#include "data/TextFile.h"
#include "reminders/NotificationClient.h"
#include "reminders/ReminderScheduler.h"
#include "reminderwindows/NotificationForm.h"
#include "reminderwindows/ReminderDelivery.h"
#include "rules/ComType.h"
#include "rules/DataPlaces.h"
#include "rulesets/ComWeeks.h"
#include "schedule/MainEdit.h"
#include "schedule/MainInput.h"
#include "widgets/FormParts.h"

#include <QDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

TMainForm* MainForm = nullptr;
TAboutForm* AboutForm = nullptr;
TAnniversaryForm* AnniversaryForm = nullptr;
TAnniversaryEditForm* AnniversaryEditForm = nullptr;
TComWeeksForm* ComWeeksForm = nullptr;
TComWeeksEditForm* ComWeeksEditForm = nullptr;
TMainEditForm* MainEditForm = nullptr;
TMainInputForm* MainInputForm = nullptr;
TNotificationForm* NotificationForm = nullptr;
TSplashForm* SplashForm = nullptr;

namespace {

// Right after the other windows, in the same idle time after the main window's first paint: a
// pause between them would be idle time in which the program still has work queued.
constexpr int DayListPrepareDelayMs = 0;
// The longest the reminders and the sync wait for the main window's first paint.
constexpr int NotShownStartMs = 2000;

std::vector<std::unique_ptr<QWidget>> created;

// Calls back once the window has been shown on the screen, which paints it at once.
class AfterFirstExpose : public QObject {
public:
    AfterFirstExpose(QWindow* window, std::function<void()> then)
        : QObject(window), m_then(std::move(then)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent() && event->type() == QEvent::Expose &&
            static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            m_then();
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> m_then;
};

template <typename Form, typename... Args> Form* create(Form*& global, Args... args) {
    auto form = std::make_unique<Form>(args...);
    global = form.get();
    created.push_back(std::move(form));
    return global;
}

const char* const OptionsText =
    "使い方: kalendo [オプション]\n"
    "  --background  ウィンドウを開かずに起動し、予定のお知らせだけを行います\n"
    "  -h, --help    このオプションの一覧を表示します\n";

struct Options {
    bool background = false;
    bool help = false;
    QByteArray unknown;
};

Options readOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--background")
            options.background = true;
        else if (arg == "--help" || arg == "-h")
            options.help = true;
        else if (options.unknown.isEmpty())
            options.unknown = arg;
    }
    return options;
}

// The reminders run beside the windows for as long as the program does.
void StartReminders(QObject* owner) {
    auto* scheduler = new ReminderScheduler(DataFolder(), owner);
    scheduler->setSettings(ReadReminderSettings());
    auto* delivery = new ReminderDelivery(
        scheduler, new NotificationClient(QDBusConnection::sessionBus(), owner), owner);
    QObject::connect(delivery, &ReminderDelivery::openDay, MainForm,
                     [](const QDate& date) { Guarded([date] { MainForm->ShowDay(date); }); });
    // Told without waiting: the service answers whenever it does, perhaps while the main window
    // is on its way to the screen, which a box waiting for its OK would hold back.
    const auto tell = [](const QString& text) {
        ShowNotice(MainForm->isVisible() ? MainForm : nullptr, QMessageBox::Information,
                   ApplicationTitle, text);
    };
    QObject::connect(delivery, &ReminderDelivery::notice, MainForm, tell);
    QObject::connect(scheduler, &ReminderScheduler::failed, MainForm, tell);
    QObject::connect(NotificationForm, &TNotificationForm::settingsChanged, scheduler,
                     &ReminderScheduler::setSettings);
    scheduler->start();
}

// The sync runs beside the windows, from the extras module.
void StartSync(QObject* owner) {
    if (const KalendoExtras* extras = Extras())
        extras->startSync(owner);
}

void ShowMainWindow() {
    MainForm->showNormal();
    MainForm->raise();
    MainForm->activateWindow();
}

} // namespace

void CreateForms() {
    CreateFirstForms();
    CreateOtherForms();
}

void CreateFirstForms() {
    create(MainForm);
    create(SplashForm);
}

void CreateOtherForms() {
    if (AboutForm)
        return;
    create(AboutForm);
    // Each list makes its editor, its child, right after itself.
    create(AnniversaryForm);
    AnniversaryEditForm = AnniversaryForm->editForm();
    // Anniversaries may sync too.
    QObject::connect(AnniversaryForm, &QDialog::finished, [](int result) {
        if (result == ListForm::Ok && Extras())
            Extras()->syncSoon();
    });
    create(ComWeeksForm);
    ComWeeksEditForm = ComWeeksForm->editForm();
    create(MainEditForm);
    create(MainInputForm, MainEditForm->gridEdit);
    create(NotificationForm, static_cast<QWidget*>(MainForm));

    MainEditForm->setInputForm(MainInputForm);
    MainForm->DayScheduleWindow = MainEditForm;
    // Made after the main window's first show, where it would have been placed.
    if (MainForm->isVisible())
        MainEditForm->move(MainForm->pos());
    MainForm->OpenDaySchedule = [](const QString& date) {
        MainEditForm->setWindowTitle(date);
        MainEditForm->LoadDaySchedule();
        MainEditForm->SelectLine(MainForm->EntryToSelect());
        const int result = MainEditForm->exec();
        if (const std::optional<SavedDay> saved = MainEditForm->TakeSavedDay())
            MainForm->DaySaved(*saved);
        if (result == 1 && Extras())
            Extras()->syncSoon();
        return result;
    };
    MainForm->OpenNotificationSettings = [] {
        NotificationForm->move(MainForm->pos());
        NotificationForm->exec();
    };
}

void DestroyForms() {
    while (!created.empty())
        created.pop_back();
    MainForm = nullptr;
    AboutForm = nullptr;
    AnniversaryForm = nullptr;
    AnniversaryEditForm = nullptr;
    ComWeeksForm = nullptr;
    ComWeeksEditForm = nullptr;
    MainEditForm = nullptr;
    MainInputForm = nullptr;
    SplashForm = nullptr;
    NotificationForm = nullptr;
}

int RunKalendo(int argc, char** argv, const std::function<void()>& afterCreate) {
    const Options options = readOptions(argc, argv);
    if (options.help) {
        std::fputs(OptionsText, stdout);
        return 0;
    }
    if (!options.unknown.isEmpty()) {
        std::fprintf(stderr, "kalendo: 使えないオプションです: %s\n%s", options.unknown.constData(),
                     OptionsText);
        return 2;
    }
    // A start from the menu while Kalendo runs (in the background) brings its window forward.
    const auto running = [&options](const QString& lockPath) {
        if (!options.background)
            InstanceDoor::AskToShow(lockPath);
        return 0;
    };
    InstanceGuard guard;
    const QString programLock = InstanceGuard::LockPath(ProgramFileName());
    const InstanceGuard::Outcome program = guard.acquire(ProgramFileName());
    if (program == InstanceGuard::HeldElsewhere)
        return running(programLock);
    KalendoApplication app(argc, argv);
    const DataPlaces places = ProgramDataPlaces();
    const DataFolderChoice data = ChooseDataFolder(places);
    // Two copies that share a data folder would overwrite each other's saves, whatever their
    // names or environments. A folder made only now, on the first start, is locked once made.
    // Unguarded, the folder is not touched at all: another copy may be saving into it.
    InstanceGuard folderGuard;
    InstanceGuard::Outcome folder = folderGuard.acquireDataFolder(data.folder);
    QStringList notices;
    if (folder == InstanceGuard::Acquired || folder == InstanceGuard::Unavailable)
        notices = PrepareDataFolder(data, places.shippedFolder);
    if (folder == InstanceGuard::Unavailable)
        folder = folderGuard.acquireDataFolder(data.folder);
    if (folder == InstanceGuard::HeldElsewhere)
        return running(InstanceGuard::DataFolderLockPath(data.folder));
    if (folder == InstanceGuard::Blocked) {
        // Without the guard a second copy would save over this one's entries.
        ShowMessageBox(
            nullptr, QMessageBox::Critical, ApplicationTitle,
            QStringLiteral("データフォルダーのロックファイルの場所に、ファイルでないもの"
                           "（フォルダーなど）があるため起動できません。取り除いてから"
                           "起動してください。\n%1")
                .arg(QDir::toNativeSeparators(InstanceGuard::DataFolderLockPath(data.folder))));
        return 1;
    }
    SetDataFolder(data.folder);
    // Only with the folder's guard held is no other instance saving into it.
    if (folder == InstanceGuard::Acquired)
        RemoveLeftoverSaves(DataFolder());
    // The main window's first paint needs only it and the splash window; the others are made
    // right after that paint (at once when started in the background).
    CreateFirstForms();
    if (afterCreate)
        afterCreate();
    app.EndOnSignals(MainForm);
    InstanceDoor door;
    QObject::connect(&door, &InstanceDoor::showRequested, MainForm, ShowMainWindow);
    // Opening a door makes and removes a folder, which the disk may be waiting on: not before
    // the first paint. A start from the menu meanwhile finds no door and leaves the showing to
    // this one, whose window is on its way.
    const auto openDoors = [&] {
        if (program == InstanceGuard::Acquired)
            door.open(programLock);
        if (folder == InstanceGuard::Acquired)
            door.open(InstanceGuard::DataFolderLockPath(data.folder));
    };
    bool besideStarted = false;
    const auto startBeside = [&app, &besideStarted, openDoors] {
        if (std::exchange(besideStarted, true))
            return;
        openDoors();
        CreateOtherForms();
        StartReminders(&app);
        StartSync(&app);
    };
    if (options.background) {
        KalendoApplication::setQuitOnLastWindowClosed(false);
        startBeside();
    } else {
        MainForm->show();
        // The first paint needs neither the other windows, nor the reminders (their plan reads
        // the data files), nor the sync: they come once the month is on the screen, after what
        // its painting left to do. The day list is what users open first and most: made ready
        // while they look at the month.
        new AfterFirstExpose(MainForm->windowHandle(), [&app, startBeside] {
            QTimer::singleShot(0, &app, [&app, startBeside] {
                QTimer::singleShot(0, &app, [startBeside] {
                    startBeside();
                    QTimer::singleShot(DayListPrepareDelayMs, MainEditForm, [] {
                        MainEditForm->Prepare(MainForm->CurrentDayDate());
                        // The first paint needed the shown months' lines only.
                        MainForm->Tables().takeInEveryMonth();
                    });
                });
            });
        });
        // A window the screen never shows still gets them.
        QTimer::singleShot(NotShownStartMs, &app, startBeside);
    }
    for (const QString& notice : notices) {
        if (KalendoApplication::EndRequested())
            break;
        ShowMessageBox(MainForm, QMessageBox::Information, ApplicationTitle, notice);
    }
    if (!KalendoApplication::EndRequested())
        KalendoApplication::exec();
    DestroyForms();
    return 0;
}
