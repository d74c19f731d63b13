#include "data/Backup.h"

#include "data/KalendoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>
#include <cstdlib>

namespace {

// Backups may hold private entries: their folders are the user's alone.
void makeFolder(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        return;
    if (info.exists() || info.isSymLink())
        throw KalendoError(
            QStringLiteral("バックアップのフォルダーを作れません。同じ名前のファイルがあります") +
            QLatin1Char('\n') + QDir::toNativeSeparators(path));
    errno = 0;
    if (!QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        throw KalendoError::io(errno ? errno : EEXIST, path);
}

// The hidden folder a new day's copy is made in before it takes the day's name, so that a kill
// never leaves an empty day folder.
const QString dayInMakingPrefix = QStringLiteral(".kalendo-day-");

// Copies the file into the day's folder; a day without one gets it whole, with the copy in it.
void copyIntoDay(const QString& path, const QString& root, const QString& dayFolder,
                 const QString& fileName) {
    if (QFileInfo(dayFolder).isDir()) {
        CopyFileAtomically(path, dayFolder + QLatin1Char('/') + fileName);
        return;
    }
    QByteArray making = QFile::encodeName(root + QLatin1Char('/') + dayInMakingPrefix) + "XXXXXX";
    if (!::mkdtemp(making.data()))
        throw KalendoError::io(errno, root);
    const QString made = QFile::decodeName(making);
    try {
        CopyFileAtomically(path, made + QLatin1Char('/') + fileName);
    } catch (...) {
        QDir(made).removeRecursively();
        throw;
    }
    if (::rename(making.constData(), QFile::encodeName(dayFolder).constData()) != 0) {
        // Made meanwhile by another save: the copy goes into that one.
        QDir(made).removeRecursively();
        CopyFileAtomically(path, dayFolder + QLatin1Char('/') + fileName);
    }
}

bool isDayName(const QString& name) {
    static const QRegularExpression dayName(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    return dayName.match(name).hasMatch();
}

// Removes the copies of one file beyond the newest BackupsKept, and the day folders left empty.
// The day just saved always stays, and folders named after it (a clock once ahead) are neither
// counted nor removed: they must not push out the versions the saves of today keep.
void prune(const QString& root, const QString& fileName, const QString& today) {
    QDir dir(root);
    const QStringList days =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    int seen = 0;
    for (const QString& day : days) {
        if (!isDayName(day) || day > today ||
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
        copyIntoDay(path, root, dayFolder, info.fileName());
        prune(root, info.fileName(), QFileInfo(dayFolder).fileName());
    } catch (const KalendoError& e) {
        return QStringLiteral("保存しましたが、前の版をバックアップに残せませんでした。\n%1\n%2")
            .arg(QDir::toNativeSeparators(copy), e.message());
    }
    return {};
}

void RemoveLeftoverBackups(const QString& dataFolder) {
    QDir root(QDir(dataFolder).filePath(BackupFolderName));
    static const QRegularExpression making(QLatin1Char('^') +
                                           QRegularExpression::escape(dayInMakingPrefix) +
                                           QStringLiteral("[A-Za-z0-9]{6}$"));
    for (const QString& name : root.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (QFileInfo(root.filePath(name)).isSymLink())
            continue;
        if (making.match(name).hasMatch())
            QDir(root.filePath(name)).removeRecursively();
        else if (isDayName(name))
            root.rmdir(name); // a prune cut short between a day's last copy and its folder
    }
}
