#include "data/TextFile.h"

#include "data/Backup.h"
#include "data/KalendoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kCtrlZ = '\x1a';

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

TextLines SplitTextLines(const QByteArray& bytes) {
    TextLines lines;
    const char* p = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && static_cast<unsigned char>(p[i]) <= 0x20 && p[i] != kCR && p[i] != kLF &&
               p[i] != kCtrlZ)
            ++i;
        if (i >= n || p[i] == kCtrlZ)
            break;
        const qsizetype start = i;
        // CR, CR LF and a lone LF (files written on Linux) all end a line.
        while (i < n && p[i] != kCR && p[i] != kLF && p[i] != kCtrlZ)
            ++i;
        if (i > start)
            lines.append(bytes.mid(start, i - start));
        if (i < n && p[i] == kCR) {
            ++i;
            if (i < n && p[i] == kLF)
                ++i;
        } else if (i < n && p[i] == kLF) {
            ++i;
        }
    }
    return lines;
}

namespace {

// Reads a file whole; a missing file is no bytes when missingIsEmpty, else a failure. With
// stopAtCtrlZ, reading ends at the block that holds one: nothing after it is ever used.
QByteArray readFile(const QString& path, bool missingIsEmpty, bool stopAtCtrlZ) {
    const QByteArray native = QFile::encodeName(path);
    // Without O_NONBLOCK, opening a pipe would wait for a writer that never comes.
    Fd fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (missingIsEmpty && (errno == ENOENT || errno == ENOTDIR))
            return {};
        throw KalendoError::io(errno, path);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw KalendoError::io(errno, path);
    if (S_ISDIR(st.st_mode))
        throw KalendoError::io(EISDIR, path);
    if (!S_ISREG(st.st_mode))
        throw KalendoError::notRegularFile(path);
    if (st.st_size > MaxTextFileBytes)
        throw KalendoError::tooLarge(path, MaxTextFileBytes);
    QByteArray bytes;
    if (st.st_size > 0)
        bytes.reserve(qsizetype(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw KalendoError::io(errno, path);
        }
        if (got == 0)
            break;
        // A file that grows while it is read is held to the same limit.
        if (bytes.size() + got > MaxTextFileBytes)
            throw KalendoError::tooLarge(path, MaxTextFileBytes);
        bytes.append(buffer, got);
        if (stopAtCtrlZ && memchr(buffer, kCtrlZ, size_t(got)))
            break;
    }
    return bytes;
}

} // namespace

TextLines LoadTextLines(const QString& path) {
    return SplitTextLines(readFile(path, true, true));
}

QByteArray LoadFileBytes(const QString& path) {
    return readFile(path, false, false);
}

QString SaveTextLines(const QString& path, const TextLines& lines) {
    const QFileInfo info(path);
    // Write through a link to the file it names, so the link stays a link.
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
    const QByteArray nativeTarget = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());

    struct stat st {};
    const bool exists = ::stat(nativeTarget.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        throw KalendoError::io(EISDIR, path);
    if (exists && ::access(nativeTarget.constData(), W_OK) != 0)
        throw KalendoError::io(errno, path); // a read-only file stays read-only
    if (::access(folder.constData(), F_OK) != 0)
        throw KalendoError::io(ENOENT, path); // the data folder is never created

    QByteArray tempName = QFile::encodeName(QFileInfo(target).absolutePath() + QLatin1Char('/') +
                                            QLatin1Char('.') + QFileInfo(target).fileName()) +
                          ".XXXXXX";
    Fd fd(::mkostemp(tempName.data(), O_CLOEXEC));
    if (fd.get() < 0)
        throw KalendoError::io(errno, path);

    auto fail = [&](int error) {
        ::close(fd.release());
        ::unlink(tempName.constData());
        throw KalendoError::io(error, path);
    };

    // A file size limit must fail the write, not kill the program.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, &previous);
    struct RestoreSignal {
        struct sigaction* old;
        ~RestoreSignal() { ::sigaction(SIGXFSZ, old, nullptr); }
    } restore{&previous};

    QByteArray buffer;
    for (const QByteArray& line : lines) {
        buffer.append(line);
        buffer.append("\r\n", 2);
        if (buffer.size() >= 1 << 16) {
            if (!writeAll(fd.get(), buffer.constData(), size_t(buffer.size())))
                fail(errno);
            buffer.clear();
        }
    }
    if (!writeAll(fd.get(), buffer.constData(), size_t(buffer.size())))
        fail(errno);

    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd.get(), mode) != 0)
        fail(errno);
    if (exists && (st.st_uid != ::getuid() || st.st_gid != ::getgid())) {
        // Keep the owner of a file written on someone's behalf; only root can, and may fail.
        [[maybe_unused]] const int ignored = ::fchown(fd.get(), st.st_uid, st.st_gid);
    }
    if (::fsync(fd.get()) != 0)
        fail(errno);
    if (::close(fd.release()) != 0) {
        const int error = errno;
        ::unlink(tempName.constData());
        throw KalendoError::io(error, path);
    }
    const QString backupFailure = exists ? KeepBackup(path) : QString();
    if (::rename(tempName.constData(), nativeTarget.constData()) != 0) {
        const int error = errno;
        ::unlink(tempName.constData());
        throw KalendoError::io(error, path);
    }
    // Make the new name itself durable.
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return backupFailure;
}

void SaveExportFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw KalendoError::io(errno != 0 ? errno : EIO, path);
}

void RemoveLeftoverSaves(const QString& folder) {
    // "." + the data file's name + "." + the six characters mkostemp() puts for XXXXXX.
    static const QRegularExpression leftover(QStringLiteral("^\\..+\\.csv\\.[A-Za-z0-9]{6}$"));
    QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!leftover.match(name).hasMatch())
            continue;
        const QByteArray native = QFile::encodeName(dir.filePath(name));
        struct stat st {};
        if (::lstat(native.constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(native.constData());
    }
}
