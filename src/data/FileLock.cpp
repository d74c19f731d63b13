#include "data/FileLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

FileLock::~FileLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

FileLock::Outcome FileLock::take(const QString& path, bool wait) {
    if (m_fd >= 0)
        return Acquired;
    // Close-on-exec: a program started from here (a document viewer) must not inherit the lock
    // and keep it after Kalendo has ended.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return errno == EISDIR ? Blocked : Unavailable;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Blocked;
    }
    int taken;
    while ((taken = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (taken != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? HeldElsewhere : Unavailable;
    }
    m_fd = fd;
    return Acquired;
}
