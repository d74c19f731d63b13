#include "reminders/Autostart.h"

#include "data/KalendoError.h"
#include "data/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

// Exec= quoting of the desktop entry format: reserved characters inside double quotes, with
// the quote, backquote, dollar and backslash escaped.
QString execArgument(const QString& path) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (std::none_of(path.cbegin(), path.cend(), [](QChar c) { return reserved.contains(c); }))
        return path;
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return QLatin1Char('"') + quoted.replace(QLatin1Char('%'), QStringLiteral("%%")) +
           QLatin1Char('"');
}

} // namespace

QString AutostartPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/" KALENDO_APP_ID ".desktop");
}

bool AutostartEnabled() {
    return QFile::exists(AutostartPath());
}

void SetAutostart(bool enabled, const QString& programPath) {
    const QString path = AutostartPath();
    if (!enabled) {
        if (QFile::exists(path) && !QFile::remove(path))
            throw KalendoError(
                QStringLiteral("ログイン時の起動を取り消せませんでした。\n%1").arg(path));
        return;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw KalendoError(
            QStringLiteral("ログイン時の起動を設定できませんでした。\n%1").arg(path));
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Kalendo\n"
                                         "Comment=予定のお知らせ\n"
                                         "Exec=%1 --background\n"
                                         "Icon=" KALENDO_APP_ID "\n"
                                         "Terminal=false\n"
                                         "NoDisplay=true\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execArgument(programPath));
    SaveExportFile(path, entry.toUtf8());
}
