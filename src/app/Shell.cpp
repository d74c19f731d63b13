#include "app/Shell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {
std::function<void(const QString&)> shellOpener;
int documentsBeingOpened = 0;
} // namespace

// xdg-open is asked itself: its exit status says whether a program took the document, where the
// toolkit starts it detached and only knows that it started. Without a display it may run the
// viewer in the foreground, so the outcome comes when it ends; a run still going when Kalendo
// ends is left alone, with the viewer it started.
void OpenDocument(const QString& path, std::function<void()> notOpened) {
    const QUrl url = QUrl::fromLocalFile(path);
    if (shellOpener) {
        shellOpener(url.toString());
        return;
    }
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty()) {
        if (!QDesktopServices::openUrl(url) && notOpened)
            QMetaObject::invokeMethod(qApp, std::move(notOpened), Qt::QueuedConnection);
        return;
    }
    auto* process = new QProcess;
    process->setProgram(xdgOpen);
    process->setArguments({path});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    ++documentsBeingOpened;
    auto done = [process, notOpened](bool opened) {
        --documentsBeingOpened;
        process->deleteLater();
        if (!opened && notOpened)
            notOpened();
    };
    QObject::connect(process, &QProcess::finished, process,
                     [done](int code, QProcess::ExitStatus status) {
                         done(status == QProcess::NormalExit && code == 0);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [done](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             done(false);
                     });
    process->start();
}

int DocumentsBeingOpened() {
    return documentsBeingOpened;
}

// The desktop keeps no web cache of its own to drop first: the browser fetches afresh.
void OpenWebAddress(const QString& address) {
    if (shellOpener)
        shellOpener(address);
    else
        QDesktopServices::openUrl(QUrl(address)); // the result is not looked at
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
