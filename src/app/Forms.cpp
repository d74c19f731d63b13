#include "app/Forms.h"

#include "anniversary/Anniversary.h"
#include "app/About.h"
#include "app/InstanceGuard.h"
#include "app/KalendoApplication.h"
#include "app/Main.h"
#include "app/Splash.h"
#include "data/TextFile.h"
#include "rules/ComType.h"
#include "rules/DataPlaces.h"
#include "rulesets/ComWeeks.h"
#include "schedule/MainEdit.h"
#include "schedule/MainInput.h"
#include "widgets/FormParts.h"

#include <memory>
#include <vector>

TMainForm* MainForm = nullptr;
TAboutForm* AboutForm = nullptr;
TAnniversaryForm* AnniversaryForm = nullptr;
TAnniversaryEditForm* AnniversaryEditForm = nullptr;
TComWeeksForm* ComWeeksForm = nullptr;
TComWeeksEditForm* ComWeeksEditForm = nullptr;
TMainEditForm* MainEditForm = nullptr;
TMainInputForm* MainInputForm = nullptr;
TSplashForm* SplashForm = nullptr;

namespace {

std::vector<std::unique_ptr<QWidget>> created;

template <typename Form, typename... Args> Form* create(Form*& global, Args... args) {
    auto form = std::make_unique<Form>(args...);
    global = form.get();
    created.push_back(std::move(form));
    return global;
}

} // namespace

void CreateForms() {
    create(MainForm);
    create(AboutForm);
    // Each list makes its editor, its child, right after itself.
    create(AnniversaryForm);
    AnniversaryEditForm = AnniversaryForm->editForm();
    create(ComWeeksForm);
    ComWeeksEditForm = ComWeeksForm->editForm();
    create(MainEditForm);
    create(MainInputForm, MainEditForm->gridEdit);
    create(SplashForm);

    MainEditForm->setInputForm(MainInputForm);
    MainForm->DayScheduleWindow = MainEditForm;
    MainForm->OpenDaySchedule = [](const QString& date) {
        MainEditForm->setWindowTitle(date);
        MainEditForm->LoadDaySchedule();
        return MainEditForm->exec();
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
}

int RunKalendo(int argc, char** argv, const std::function<void()>& afterCreate) {
    InstanceGuard guard;
    if (guard.acquire(ProgramFileName()) == InstanceGuard::HeldElsewhere)
        return 0;
    KalendoApplication app(argc, argv);
    const DataPlaces places = ProgramDataPlaces();
    const DataFolderChoice data = ChooseDataFolder(places);
    // Two copies that share a data folder would overwrite each other's saves, whatever their
    // names or environments. A folder made only now, on the first start, is locked once made.
    InstanceGuard folderGuard;
    InstanceGuard::Outcome folder = folderGuard.acquireDataFolder(data.folder);
    if (folder == InstanceGuard::HeldElsewhere)
        return 0;
    const QStringList notices = PrepareDataFolder(data, places.shippedFolder);
    if (folder == InstanceGuard::Unavailable &&
        (folder = folderGuard.acquireDataFolder(data.folder)) == InstanceGuard::HeldElsewhere)
        return 0;
    SetDataFolder(data.folder);
    // Only with the folder's guard held is no other instance saving into it.
    if (folder == InstanceGuard::Acquired)
        RemoveLeftoverSaves(DataFolder());
    CreateForms();
    if (afterCreate)
        afterCreate();
    app.EndOnSignals(MainForm);
    MainForm->show();
    for (const QString& notice : notices)
        ShowMessageBox(MainForm, QMessageBox::Information, ApplicationTitle, notice);
    KalendoApplication::exec();
    DestroyForms();
    return 0;
}
