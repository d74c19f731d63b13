#include "app/InstanceGuard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString InstanceGuard::LockPath(const QString& programFileName) {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QLatin1Char('/') +
           programFileName + QStringLiteral(".instance");
}

QString InstanceGuard::DataFolderLockPath(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral(".kalendo.lock"));
}

InstanceGuard::Outcome InstanceGuard::acquire(const QString& programFileName) {
    return m_lock.take(LockPath(programFileName));
}

InstanceGuard::Outcome InstanceGuard::acquireDataFolder(const QString& dataFolder) {
    return m_lock.take(DataFolderLockPath(dataFolder));
}

QString ProgramFileName() {
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName();
}
