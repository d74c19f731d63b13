#pragma once

#include <QString>
#include <functional>

// Where a failure that escapes an event handler goes: the application shows its message and
// the user carries on. The toolkit's own frames are built without exception support, so
// handlers connected to widgets run through Guarded() and never let an exception unwind
// through them.
namespace ErrorReport {

// Shows a message through the reporter (the application's message box); without one it is
// logged.
void report(const QString& message);
// Reports the exception being handled; call only inside a catch block.
void reportCurrentException();
void setReporter(std::function<void(const QString&)> reporter);

} // namespace ErrorReport

// Runs an event handler and reports whatever it throws.
template <typename Handler> void Guarded(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        ErrorReport::reportCurrentException();
    }
}

// After a save that succeeded: tells the user when the version it replaced could not be kept
// (the message SaveTextLines returned; nothing when it is empty).
inline void ReportBackupFailure(const QString& message) {
    if (!message.isEmpty())
        ErrorReport::report(message);
}
