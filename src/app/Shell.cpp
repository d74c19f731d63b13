#include "app/Shell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

namespace {
std::function<void(const QString&)> shellOpener;

void open(const QUrl& url) {
    if (shellOpener)
        shellOpener(url.toString());
    else
        QDesktopServices::openUrl(url); // the result is not looked at
}
} // namespace

void OpenDocument(const QString& path) {
    open(QUrl::fromLocalFile(path));
}

// The desktop keeps no web cache of its own to drop first: the browser fetches afresh.
void OpenWebAddress(const QString& address) {
    open(QUrl(address));
}

void SetShellOpener(std::function<void(const QString&)> opener) {
    shellOpener = std::move(opener);
}

QString ManualPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/操作手順書.pdf");
}
