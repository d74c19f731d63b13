#include "rules/DataPlaces.h"

#include "data/Backup.h"
#include "data/FileLock.h"
#include "data/KalendoError.h"
#include "rules/ComType.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

// Newest last. A release that changes client/holiday.csv adds the new file's size and sum here,
// or the next release could not tell that copy from one the user changed (tst_dataplaces checks
// it).
const QList<ShippedVersion> ShippedHolidayVersions = {
    {292, "c65bf00b2f8b17fe1e3ce4953c50b8aeb872c5cadce756961ac09214ce6f6ce5"},
};

namespace {

QString withSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString withoutSeparator(const QString& folder) {
    return QDir::cleanPath(folder);
}

QByteArray native(const QString& path) {
    return QFile::encodeName(withoutSeparator(path));
}

// Whether path is folder or lies inside it.
bool within(const QString& path, const QString& folder) {
    const QString inner = QDir::cleanPath(path);
    const QString outer = QDir::cleanPath(folder);
    return inner == outer || inner.startsWith(withSeparator(outer));
}

// A first start copies into a work folder ".client-" + six letters or digits beside the user's
// folder. Every start that makes, fills or removes one holds the lock of copyLockPath, so a
// work folder found while holding it belongs to a copy that was cut short.
QString copyLockPath(const QString& parent) {
    return QDir(parent).filePath(QStringLiteral(".kalendo-copy.lock"));
}

QStringList workFolders(const QString& parent) {
    static const QRegularExpression name(QStringLiteral("^\\.client-[A-Za-z0-9]{6}$"));
    QStringList found;
    for (const QFileInfo& entry :
         QDir(parent).entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        // Kalendo never makes a link there: one with that name is someone else's.
        if (!entry.isSymLink() && name.match(entry.fileName()).hasMatch())
            found << entry.absoluteFilePath();
    }
    return found;
}

// Removes the work folders of copies cut short, only while no copy can be running.
void removeCutShortCopies(const QString& parent, const FileLock& lock) {
    if (!lock.held())
        return;
    for (const QString& folder : workFolders(parent))
        QDir(folder).removeRecursively();
}

// Copies a folder's regular files and subfolders (never a FIFO or device) into a new folder,
// which appears at `to` whole or not at all. The copy is made in a sibling of `to`, which may lie
// inside `from` (shipped data installed around the user's folder): what to copy is listed before
// that sibling exists, and neither it nor `to` is ever copied into itself.
void copyFolder(const QString& from, const QString& to) {
    const QDir source(from);
    const QString target = QFileInfo(to).absoluteFilePath();
    const QString workPrefix = QFileInfo(to).absolutePath() + QStringLiteral("/.client-");
    QStringList entries;
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = QFileInfo(it.next()).absoluteFilePath();
        // A copy cut short before left its sibling too.
        if (!within(entry, target) && !QDir::cleanPath(entry).startsWith(workPrefix))
            entries << entry;
    }
    QTemporaryDir work(workPrefix + QStringLiteral("XXXXXX"));
    if (!work.isValid())
        throw KalendoError::io(errno ? errno : EIO, to);
    for (const QString& path : std::as_const(entries)) {
        const QFileInfo entry(path);
        const QString copy = work.path() + QLatin1Char('/') + source.relativeFilePath(path);
        if (entry.isDir() && !entry.isSymLink()) {
            if (!QDir().mkpath(copy))
                throw KalendoError::io(errno ? errno : EIO, copy);
        } else if (entry.isFile()) {
            CopyFileAtomically(path, copy);
        }
    }
    if (::rename(native(work.path()).constData(), native(to).constData()) != 0)
        throw KalendoError::io(errno, to);
    work.setAutoRemove(false);
}

void moveFolder(const QString& from, const QString& to) {
    if (::rename(native(from).constData(), native(to).constData()) == 0)
        return;
    if (errno != EXDEV)
        throw KalendoError::io(errno, from);
    copyFolder(from, to);
    QDir(from).removeRecursively();
}

} // namespace

DataPlaces ProgramDataPlaces() {
    const QString program = withSeparator(QCoreApplication::applicationDirPath());
    return {program,
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                QStringLiteral("/kalendo/") + DataFolderName,
            withSeparator(QDir::cleanPath(program + QStringLiteral(KALENDO_SHIPPED_FROM_PROGRAM)))};
}

DataFolderChoice ChooseDataFolder(const DataPlaces& places) {
    const QString beside = places.programFolder + DataFolderName;
    if (!QFileInfo(beside).isDir())
        return {places.userFolder, places.shippedFolder, {}};
    if (QFileInfo::exists(places.programFolder +
                          QStringLiteral(KALENDO_ROOT_FROM_PROGRAM "/CMakeCache.txt")))
        return {places.userFolder, places.shippedFolder, beside};
    if (::access(native(beside).constData(), W_OK | X_OK) != 0)
        return {places.userFolder, beside, {}};
    return {beside, {}, {}};
}

QStringList PrepareDataFolder(const DataFolderChoice& choice, const QString& shippedFolder) {
    QStringList notices;
    const QString folder = withoutSeparator(choice.folder);
    try {
        const QString parent = QFileInfo(folder).absolutePath();
        // Held from before a first start's copy until the copy is in place.
        FileLock copying;
        if (!QFileInfo(folder).isDir()) {
            if (!QDir().mkpath(parent))
                throw KalendoError::io(errno ? errno : EIO, folder);
            // Another first start (another program name or runtime folder, so the instance
            // guard let both through) may be copying: wait for it, then use what it made.
            copying.take(copyLockPath(parent), true);
        } else if ((!choice.seedFolder.isEmpty() || !choice.buildFolder.isEmpty()) &&
                   !workFolders(parent).isEmpty()) {
            // Only a folder made by copying has work folders beside it; a portable one has none.
            copying.take(copyLockPath(parent), false);
        }
        removeCutShortCopies(parent, copying);
        if (!QFileInfo(folder).isDir()) {
            if (!choice.buildFolder.isEmpty()) {
                moveFolder(choice.buildFolder, folder);
                notices << QStringLiteral("データフォルダを移しました。\n%1\n→ %2\n\n"
                                          "これからのデータはこちらに保存されます。")
                               .arg(QDir::toNativeSeparators(withoutSeparator(choice.buildFolder)),
                                    QDir::toNativeSeparators(folder));
            } else {
                copyFolder(choice.seedFolder, folder);
            }
        } else if (!choice.buildFolder.isEmpty()) {
            // A build's folder is never merged into one in use; deleting the build would delete
            // its entries without a word. Said once: the mark goes with the folder.
            const QString said = QDir(choice.buildFolder).filePath(QStringLiteral(".kalendo-said"));
            if (!QFileInfo::exists(said)) {
                notices << QStringLiteral(
                               "ビルドのフォルダに前のデータフォルダが残っています。ビルドを消すと"
                               "一緒に消えます。\n%1\n\nいまのデータフォルダ:\n%2\n\n"
                               "残っている予定を使うには、Kalendo を終了してから、必要な行を"
                               "いまのデータフォルダのファイルに写してください。")
                               .arg(QDir::toNativeSeparators(withoutSeparator(choice.buildFolder)),
                                    QDir::toNativeSeparators(folder));
                QFile mark(said);
                mark.open(QIODevice::WriteOnly);
            }
        }
    } catch (const KalendoError& e) {
        notices << QStringLiteral("データフォルダを用意できませんでした。\n%1\n%2")
                       .arg(QDir::toNativeSeparators(folder), e.message());
        return notices;
    }
    try {
        UpdateShippedFile(HolidayFilePath(choice.folder), HolidayFilePath(shippedFolder),
                          ShippedHolidayVersions);
    } catch (const KalendoError& e) {
        notices << QStringLiteral("新しい休日の設定を入れられませんでした。\n%1\n%2")
                       .arg(QDir::toNativeSeparators(HolidayFilePath(choice.folder)), e.message());
    }
    return notices;
}

bool UpdateShippedFile(const QString& userFile, const QString& shippedFile,
                       const QList<ShippedVersion>& shippedVersions) {
    // Only small regular files are read: a FIFO or device under the name must not hang the start.
    constexpr qint64 largest = 1 << 20;
    const QFileInfo user(userFile);
    const QFileInfo shipped(shippedFile);
    if (!user.isFile() || !shipped.isFile() || user.size() > largest || shipped.size() > largest)
        return false;
    QFile userBytes(userFile);
    QFile shippedBytes(shippedFile);
    if (!userBytes.open(QIODevice::ReadOnly) || !shippedBytes.open(QIODevice::ReadOnly))
        return false;
    const QByteArray mine = userBytes.readAll();
    if (mine == shippedBytes.readAll())
        return false;
    // Hashed only when a shipped version has its size: an edited copy seldom has, and the
    // check runs at every start.
    if (std::none_of(shippedVersions.begin(), shippedVersions.end(),
                     [&mine](const ShippedVersion& v) { return v.size == mine.size(); }) ||
        !shippedVersions.contains(
            {mine.size(), QCryptographicHash::hash(mine, QCryptographicHash::Sha256).toHex()}))
        return false;
    CopyFileAtomically(shippedFile, userFile, int(user.permissions()));
    return true;
}
