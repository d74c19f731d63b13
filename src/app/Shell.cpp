#include "app/Shell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
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

// Installed (and in the build tree) the manual is under share/doc; a portable copy keeps it
// beside the program.
QString ManualPath() {
    const QString program = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QString installed = QDir::cleanPath(program + QStringLiteral(KALENDO_DOC_FROM_PROGRAM) +
                                              QStringLiteral("/操作手順書.pdf"));
    const QString beside = program + QStringLiteral("操作手順書.pdf");
    return QFileInfo::exists(installed) || !QFileInfo::exists(beside) ? installed : beside;
}
