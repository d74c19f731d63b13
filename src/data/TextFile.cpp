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

namespace {

bool isLineEnd(char c) {
    return c == kCR || c == kLF || c == kCtrlZ;
}

// One bit for each CR, LF or Ctrl-Z among the 64 bytes (or fewer at the end) from p.
quint64 lineEndBits(const char* p, qsizetype count) {
    quint64 bits = 0;
#ifdef __SSE2__
    if (count == 64) {
        const __m128i cr = _mm_set1_epi8(kCR);
        const __m128i lf = _mm_set1_epi8(kLF);
        const __m128i ctrlZ = _mm_set1_epi8(kCtrlZ);
        for (int part = 0; part < 4; ++part) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + part * 16));
            const __m128i hit =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                             _mm_cmpeq_epi8(v, ctrlZ));
            bits |= quint64(unsigned(_mm_movemask_epi8(hit))) << (part * 16);
        }
        return bits;
    }
#endif
    for (qsizetype i = 0; i < count; ++i)
        if (isLineEnd(p[i]))
            bits |= quint64(1) << i;
    return bits;
}

} // namespace

// Every CR, LF and Ctrl-Z ends a piece of the bytes; a piece that is empty once its leading
// blanks and control bytes are dropped is no line (so the LF of a CR LF, or an empty line, gives
// none), and Ctrl-Z ends everything.
bool TextLineScanner::next(qsizetype& start, qsizetype& size) {
    while (!m_done) {
        qsizetype end = m_size;
        while (m_ends == 0 && m_block + 64 < m_size) {
            m_block += 64;
            m_ends = lineEndBits(m_data + m_block, std::min<qsizetype>(64, m_size - m_block));
        }
        if (m_ends != 0) {
            end = m_block + __builtin_ctzll(m_ends);
            m_ends &= m_ends - 1;
            m_done = m_data[end] == kCtrlZ;
        } else {
            m_done = true;
        }
        qsizetype first = m_pos;
        m_pos = end + 1;
        while (first < end && static_cast<unsigned char>(m_data[first]) <= 0x20)
            ++first;
        if (first < end) {
            start = first;
            size = end - first;
            return true;
        }
    }
    return false;
}

TextLines SplitTextLines(const QByteArray& bytes) {
    TextLines lines;
    TextLineScanner scan(bytes.constData(), bytes.size());
    qsizetype start = 0;
    qsizetype size = 0;
    while (scan.next(start, size))
        lines.append(bytes.mid(start, size));
    return lines;
}

namespace {

// Reads a file whole into bytes, reusing their storage; a missing file is no bytes when
// missingIsEmpty, else a failure. With stopAtCtrlZ, reading ends at the block that holds one:
// nothing after it is ever used.
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
        const bool ctrlZ = stopAtCtrlZ && memchr(bytes.constData() + used, kCtrlZ, size_t(got));
        used += got;
        if (ctrlZ)
            break;
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
    TextLineScanner scan(m_bytes.constData(), m_bytes.size());
    qsizetype start = 0;
    qsizetype size = 0;
    while (scan.next(start, size))
        addFileLine(start, size);
}

void TextBuffer::addMade(QByteArrayView line) {
    m_lines.push_back({m_made.size(), line.size(), true});
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
