#include "data/ErrorReport.h"

#include "data/KalendoError.h"

#include <QDebug>

namespace {

std::function<void(const QString&)> reporter;
bool reporting = false;

} // namespace

namespace ErrorReport {

void report(const QString& message) {
    // A failure while the message is up (a repaint behind the box failing again) is not
    // stacked into a second box.
    if (reporting)
        return;
    reporting = true;
    if (reporter)
        reporter(message);
    else
        qWarning().noquote() << message;
    reporting = false;
}

void reportCurrentException() {
    try {
        throw;
    } catch (const KalendoError& error) {
        report(error.message());
    } catch (const std::exception& error) {
        report(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        report(QStringLiteral("不明なエラーが発生しました"));
    }
}

void setReporter(std::function<void(const QString&)> newReporter) {
    reporter = std::move(newReporter);
}

} // namespace ErrorReport
