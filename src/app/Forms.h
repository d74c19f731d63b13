#pragma once

#include <functional>

class TAboutForm;
class TAnniversaryEditForm;
class TAnniversaryForm;
class TComWeeksEditForm;
class TComWeeksForm;
class TMainEditForm;
class TMainForm;
class TMainInputForm;
class TNotificationForm;
class TSplashForm;

// The windows of the program, one each, created once at start and kept, hidden between showings,
// until the process ends.
extern TMainForm* MainForm;
extern TAboutForm* AboutForm;
extern TAnniversaryForm* AnniversaryForm;
extern TAnniversaryEditForm* AnniversaryEditForm;
extern TComWeeksForm* ComWeeksForm;
extern TComWeeksEditForm* ComWeeksEditForm;
extern TMainEditForm* MainEditForm;
extern TMainInputForm* MainInputForm;
extern TNotificationForm* NotificationForm;
extern TSplashForm* SplashForm;

// Creates every window in order (the main window first, so it is the application's main
// window) and connects the main window to the windows it opens: CreateFirstForms, the main and
// the splash window its first show needs, then CreateOtherForms (once; later calls do nothing).
void CreateForms();
void CreateFirstForms();
void CreateOtherForms();
// Destroys them, last created first.
void DestroyForms();

// The program: refuses a second instance of the same program file name or on the same data
// folder (exit code 0; the running instance is asked to show its window), creates the windows,
// starts the reminders, shows the main window and runs until it closes. With --background no
// window shows: closing the window only hides it again, and only 終了 or a signal ends the
// program. --help prints the options; any other argument is refused (exit code 2). afterCreate runs
// once the main and splash windows exist, before the main window is shown (the start-up benchmark
// hooks in there).
int RunKalendo(int argc, char** argv, const std::function<void()>& afterCreate = {});
