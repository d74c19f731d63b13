#include "app/Forms.h"

#include "app/About.h"
#include "app/InstanceGuard.h"
#include "app/KalendoApplication.h"
#include "app/Main.h"
#include "app/Splash.h"
#include "schedule/MainEdit.h"
#include "schedule/MainInput.h"

#include <memory>
#include <vector>

TMainForm* MainForm = nullptr;
TAboutForm* AboutForm = nullptr;
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
    create(MainEditForm);
    create(MainInputForm, MainEditForm);
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
    MainEditForm = nullptr;
    MainInputForm = nullptr;
    SplashForm = nullptr;
}

int RunKalendo(int argc, char** argv, const std::function<void()>& afterCreate) {
    InstanceGuard guard;
    if (guard.acquire(ProgramFileName()) == InstanceGuard::HeldElsewhere)
        return 0;
    KalendoApplication app(argc, argv);
    CreateForms();
    if (afterCreate)
        afterCreate();
    MainForm->show();
    KalendoApplication::exec();
    DestroyForms();
    return 0;
}
