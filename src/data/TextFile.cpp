#include "data/TextFile.h"

#include "data/Backup.h"
#include "data/KalendoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

qsizetype TextFileDetail::bytesBeforeCtrlZ(const char* data, qsizetype size) {
    const void* ctrlZ = std::memchr(data, kCtrlZ, size_t(size));
    return ctrlZ ? static_cast<const char*>(ctrlZ) - data : size;
}

void TextFileDetail::lineEndMasks(const char* data, qsizetype count, bool afterCR, quint64* masks) {
    // The CRs and LFs of 64 bytes, each as bits.
    const auto crLf = [data, count](qsizetype from, quint64& cr, quint64& lf) {
        cr = 0;
        lf = 0;
#ifdef __SSE2__
        if (from + 64 <= count) {
            const __m128i crs = _mm_set1_epi8(kCR);
            const __m128i lfs = _mm_set1_epi8(kLF);
            for (int part = 0; part < 4; ++part) {
                const __m128i v =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from + part * 16));
                cr |= quint64(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, crs)))) << (part * 16);
                lf |= quint64(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lfs)))) << (part * 16);
            }
            return;
        }
#endif
        for (qsizetype i = 0; i < 64 && from + i < count; ++i) {
            cr |= quint64(data[from + i] == kCR) << i;
            lf |= quint64(data[from + i] == kLF) << i;
        }
    };
    quint64 carry = afterCR ? 1 : 0;
    for (qsizetype from = 0; from < count; from += 64) {
        quint64 cr = 0;
        quint64 lf = 0;
        crLf(from, cr, lf);
        masks[from / 64] = cr | (lf & ~((cr << 1) | carry));
        carry = cr >> 63;
    }
}

TextLines SplitTextLines(const QByteArray& bytes) {
    TextLines lines;
    ForEachTextLine(bytes.constData(), bytes.size(),
                    [&](qsizetype start, qsizetype size) { lines.append(bytes.mid(start, size)); });
    return lines;
}

namespace {

// Reads a file whole into bytes, reusing their storage; a missing file is no bytes when
// missingIsEmpty, else a failure. With stopAtCtrlZ, the bytes end before the first Ctrl-Z and
// reading ends at the block that holds it: nothing after it is ever used.
void readFile(const QString& path, bool missingIsEmpty, bool stopAtCtrlZ, QByteArray& bytes) {
    bytes.resize(0);
    const QByteArray native = QFile::encodeName(path);
    // Without O_NONBLOCK, opening a pipe would wait for a writer that never comes.
    Fd fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (missingIsEmpty && (errno == ENOENT || errno == ENOTDIR))
            return;
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
    // Straight into the buffer: one byte more than the size, so that the end shows at once.
    bytes.resize(qsizetype(st.st_size) + 1);
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size())
            bytes.resize(bytes.size() * 2);
        const ssize_t got = ::read(fd.get(), bytes.data() + used, size_t(bytes.size() - used));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            bytes.resize(0);
            throw KalendoError::io(error, path);
        }
        if (got == 0)
            break;
        // A file that grows while it is read is held to the same limit.
        if (used + got > MaxTextFileBytes) {
            bytes.resize(0);
            throw KalendoError::tooLarge(path, MaxTextFileBytes);
        }
        const void* ctrlZ =
            stopAtCtrlZ ? memchr(bytes.constData() + used, kCtrlZ, size_t(got)) : nullptr;
        used += got;
        if (ctrlZ) {
            used = static_cast<const char*>(ctrlZ) - bytes.constData();
            break;
        }
    }
    bytes.resize(used);
}

QByteArray readFile(const QString& path, bool missingIsEmpty, bool stopAtCtrlZ) {
    QByteArray bytes;
    readFile(path, missingIsEmpty, stopAtCtrlZ, bytes);
    return bytes;
}

} // namespace

TextLines LoadTextLines(const QString& path) {
    return SplitTextLines(readFile(path, true, true));
}

TextLines TextBuffer::toLines() const {
    TextLines lines;
    lines.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        lines.append(line(i).toByteArray());
    return lines;
}

void TextBuffer::clear() {
    m_bytes.resize(0);
    m_made.resize(0);
    m_lines.clear();
}

void TextBuffer::loadBytes(const QString& path) {
    clear();
    readFile(path, true, true, m_bytes);
}

void TextBuffer::load(const QString& path) {
    loadBytes(path);
    forEachFileLine([this](qsizetype start, qsizetype size) { addFileLine(start, size); });
}

void TextBuffer::addMade(QByteArrayView line) {
    m_lines.push_back({quint32(m_made.size()), quint32(line.size()), 1});
    m_made.append(line);
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
