#include "app/KalendoApplication.h"

#include "data/KalendoError.h"

#include <QMessageBox>

namespace {

std::function<void(const QString&)> errorReporter;
bool reporting = false;

} // namespace

KalendoApplication::KalendoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(ApplicationTitle);
    setOrganizationName(QStringLiteral("Vantree"));
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
    try {
        throw;
    } catch (const KalendoError& error) {
        ReportError(error.message());
    } catch (const std::exception& error) {
        ReportError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ReportError(QStringLiteral("不明なエラーが発生しました"));
    }
}

void KalendoApplication::ReportError(const QString& message) {
    // A failure while the message is up (a repaint behind the box failing again) is not
    // stacked into a second box.
    if (reporting)
        return;
    reporting = true;
    if (errorReporter)
        errorReporter(message);
    else
        QMessageBox::critical(QApplication::activeWindow(), ApplicationTitle, message);
    reporting = false;
}

void KalendoApplication::SetErrorReporter(std::function<void(const QString&)> reporter) {
    errorReporter = std::move(reporter);
}
