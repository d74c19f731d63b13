#include "app/KalendoApplication.h"

#include "widgets/FormParts.h"

namespace {

void showMessageBox(const QString& message) {
    ShowMessageBox(QApplication::activeWindow(), QMessageBox::Critical, ApplicationTitle, message);
}

} // namespace

KalendoApplication::KalendoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(ApplicationTitle);
    setOrganizationName(QStringLiteral("Vantree"));
    // Desktops match the window to its menu entry by this name (Wayland) or by the window
    // class, which is the application name (X11: StartupWMClass=Kalendo).
    setDesktopFileName(QStringLiteral(KALENDO_APP_ID));
    ErrorReport::setReporter(showMessageBox);
}

bool KalendoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
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

void KalendoApplication::SetErrorReporter(std::function<void(const QString&)> reporter) {
    ErrorReport::setReporter(reporter ? std::move(reporter) : showMessageBox);
}
