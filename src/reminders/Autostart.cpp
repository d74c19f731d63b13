#include "reminders/Autostart.h"

#include "data/KalendoError.h"
#include "data/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

// Exec= quoting of the desktop entry format: an argument with reserved characters goes in
// double quotes, with the quote, backquote, dollar and backslash escaped by a backslash; the
// value's own escapes then double every backslash.
QString execArgument(const QString& path) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString argument = path;
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (std::any_of(path.cbegin(), path.cend(), [](QChar c) { return reserved.contains(c); })) {
        QString quoted;
        for (const QChar c : std::as_const(argument)) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        argument = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
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
