#include "app/InstanceGuard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceGuard::~InstanceGuard() {
    if (m_fd >= 0)
        ::close(m_fd);
}

QString InstanceGuard::LockPath(const QString& programFileName) {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QLatin1Char('/') +
           programFileName + QStringLiteral(".instance");
}

QString InstanceGuard::DataFolderLockPath(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral(".kalendo.lock"));
}

InstanceGuard::Outcome InstanceGuard::acquire(const QString& programFileName) {
    return lock(LockPath(programFileName));
}

InstanceGuard::Outcome InstanceGuard::acquireDataFolder(const QString& dataFolder) {
    return lock(DataFolderLockPath(dataFolder));
}

InstanceGuard::Outcome InstanceGuard::lock(const QString& lockPath) {
    const QByteArray path = QFile::encodeName(lockPath);
    // Close-on-exec: a program started from here (a document viewer) must not inherit the lock
    // and keep it after Kalendo has ended.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return errno == EISDIR ? Blocked : Unavailable;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Blocked;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? HeldElsewhere : Unavailable;
    }
    m_fd = fd;
    return Acquired;
}

QString ProgramFileName() {
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName();
}
