#include "app/KalendoApplication.h"

#include "app/KalendoStyle.h"
#include "widgets/FormParts.h"
#include "widgets/OnScreen.h"

#include <QDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler only writes a byte here; the event loop reads it and does the work.
int endSignalFds[2] = {-1, -1};
bool endRequested = false;

void onEndSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(endSignalFds[0], &byte, 1);
}

void showMessageBox(const QString& message) {
    ShowMessageBox(QApplication::activeWindow(), QMessageBox::Critical, ApplicationTitle, message);
}

} // namespace

KalendoApplication::KalendoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The toolkit's own texts (a field's context menu, standard buttons) speak Japanese too.
    auto* toolkitTexts = new QTranslator(this);
    if (toolkitTexts->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                           QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(toolkitTexts);
    setApplicationName(ApplicationTitle);
    setOrganizationName(QStringLiteral("Vantree"));
    // Desktops match the window to its menu entry by this name (Wayland) or by the window
    // class, which is the application name (X11: StartupWMClass=Kalendo).
    setDesktopFileName(QStringLiteral(KALENDO_APP_ID));
    setStyle(new KalendoStyle);
    ErrorReport::setReporter(showMessageBox);
}

bool KalendoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        const bool handled = QApplication::notify(receiver, event);
        if (event->type() == QEvent::Show && receiver->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(receiver);
            // The control that has the focus shows it from the start, not from the first Tab.
            if (widget->isWindow())
                widget->setAttribute(Qt::WA_KeyboardFocusChange);
            // After the window's own handler: it may have placed itself relative to another.
            FitShownWindow(widget);
        }
        return handled;
    } catch (...) {
        ReportCurrentException();
    }
    return false;
}

void KalendoApplication::ReportCurrentException() {
    ErrorReport::reportCurrentException();
}

void KalendoApplication::ReportError(const QString& message) {
    ErrorReport::report(message);
}

void KalendoApplication::EndOnSignals(QWidget* mainWindow) {
    static QPointer<QWidget> window;
    window = mainWindow;
    if (endSignalFds[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, endSignalFds) != 0)
        return;
    auto* notifier = new QSocketNotifier(endSignalFds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [] {
        char bytes[16];
        while (::read(endSignalFds[1], bytes, sizeof bytes) > 0) {
        }
        if (window)
            Guarded([] { EndAsUser(window); });
    });
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

void KalendoApplication::EndAsUser(QWidget* mainWindow) {
    // A dialog's exec() returns only once the event loop runs again: cancel one, come back.
    QWidget* open = QApplication::activePopupWidget();
    if (open) {
        open->close();
    } else if ((open = QApplication::activeModalWidget())) {
        if (auto* dialog = qobject_cast<QDialog*>(open))
            dialog->reject();
        else
            open->close();
    } else {
        // Closing the window of a Kalendo started in the background only hides it.
        endRequested = true;
        mainWindow->close();
        QCoreApplication::quit();
        return;
    }
    // A window that refuses to go is hidden, or the program could not end.
    if (open->isVisible())
        open->hide();
    const QPointer<QWidget> window = mainWindow;
    QTimer::singleShot(0, mainWindow, [window] {
        if (window)
            EndAsUser(window);
    });
}

bool KalendoApplication::EndRequested() {
    return endRequested;
}

void KalendoApplication::SetErrorReporter(std::function<void(const QString&)> reporter) {
    ErrorReport::setReporter(reporter ? std::move(reporter) : showMessageBox);
}
