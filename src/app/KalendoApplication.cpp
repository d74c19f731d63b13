#include "app/KalendoApplication.h"

#include <QMessageBox>

namespace {

void showMessageBox(const QString& message) {
    QMessageBox::critical(QApplication::activeWindow(), ApplicationTitle, message);
}

} // namespace

KalendoApplication::KalendoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(ApplicationTitle);
    setOrganizationName(QStringLiteral("Vantree"));
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
