#include "data/Backup.h"

#include "data/KalendoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>

namespace {

// Backups may hold private entries: their folders are the user's alone.
void makeFolder(const QString& path) {
    if (QFileInfo(path).isDir())
        return;
    errno = 0;
    if (!QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        throw KalendoError::io(errno ? errno : EEXIST, path);
}

// Removes the copies of one file beyond the newest BackupsKept, and the day folders left empty.
void prune(const QString& root, const QString& fileName) {
    static const QRegularExpression dayName(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    QDir dir(root);
    const QStringList days =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    int seen = 0;
    for (const QString& day : days) {
        if (!dayName.match(day).hasMatch() ||
            !QFileInfo::exists(dir.filePath(day + QLatin1Char('/') + fileName)))
            continue;
        if (++seen <= BackupsKept)
            continue;
        QFile::remove(dir.filePath(day + QLatin1Char('/') + fileName));
        dir.rmdir(day); // only when nothing else is left in it
    }
}

} // namespace

void CopyFileAtomically(const QString& from, const QString& to, int permissions) {
    QFile source(from);
    errno = 0;
    if (!source.open(QIODevice::ReadOnly))
        throw KalendoError::io(errno ? errno : EIO, from);
    QSaveFile copy(to);
    if (!copy.open(QIODevice::WriteOnly))
        throw KalendoError::io(errno ? errno : EIO, to);
    char buffer[65536];
    for (;;) {
        const qint64 got = source.read(buffer, sizeof buffer);
        if (got < 0)
            throw KalendoError::io(errno ? errno : EIO, from);
        if (got == 0)
            break;
        if (copy.write(buffer, got) != got)
            throw KalendoError::io(errno ? errno : EIO, to);
    }
    const auto mode = permissions >= 0 ? QFile::Permissions(permissions) : source.permissions();
    if (!copy.setPermissions(mode) || !copy.commit())
        throw KalendoError::io(errno ? errno : EIO, to);
}

QString KeepBackup(const QString& path, const QDate& day) {
    const QFileInfo info(path);
    const QString root = info.absolutePath() + QLatin1Char('/') + BackupFolderName;
    const QString dayFolder = root + QLatin1Char('/') + day.toString(QStringLiteral("yyyy-MM-dd"));
    const QString copy = dayFolder + QLatin1Char('/') + info.fileName();
    if (QFileInfo::exists(copy))
        return {};
    try {
        makeFolder(root);
        makeFolder(dayFolder);
        CopyFileAtomically(path, copy);
        prune(root, info.fileName());
    } catch (const KalendoError& e) {
        return QStringLiteral("保存しましたが、前の版をバックアップに残せませんでした。\n%1\n%2")
            .arg(QDir::toNativeSeparators(copy), e.message());
    }
    return {};
}
