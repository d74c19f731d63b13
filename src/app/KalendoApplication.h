#pragma once

#include "data/ErrorReport.h"

#include <QApplication>
#include <functional>

// The application title: the desktop lists the program under it and the main window's caption
// begins with it.
inline const QString ApplicationTitle = QStringLiteral("Kalendo");

// The application object. Its general error handler catches any exception that escapes an
// event handler, shows its message and lets the user carry on; the operation that threw stops
// where it failed. Handlers run through Guarded() report their errors before the exception can
// reach the toolkit's own frames: those are built without exception support, and unwinding
// through them would skip their clean-up. notify() is the net for everything else.
class KalendoApplication : public QApplication {
    Q_OBJECT
public:
    KalendoApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows an error's message to the user (a message box unless a reporter is set).
    static void ReportError(const QString& message);
    // Reports the exception being handled; call only inside a catch block.
    static void ReportCurrentException();
    // Replaces the message box (tests); an empty function restores it.
    static void SetErrorReporter(std::function<void(const QString&)> reporter);

    // From now on SIGTERM, SIGHUP and SIGINT end the program through EndAsUser.
    void EndOnSignals(QWidget* mainWindow);
    // Ends the program as the user closing it would: an open menu closes, every open dialog is
    // cancelled, the top one first (nothing is written without its OK), then the main window
    // is closed (which saves its position).
    static void EndAsUser(QWidget* mainWindow);
    // Whether EndAsUser has asked the program to end. A request made inside a message box shown
    // before the main event loop runs cannot quit a loop that has not started: the start checks.
    static bool EndRequested();
};
