#include "data/TextFile.h"

#include "data/Backup.h"
#include "data/KalendoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <optional>
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

namespace {

// The CR and LF bits of the count (at most 64) bytes at p, one at a time: the tail of a file.
void crLfBytes(const char* p, qsizetype count, quint64& cr, quint64& lf) {
    cr = 0;
    lf = 0;
    for (qsizetype i = 0; i < count; ++i) {
        cr |= quint64(p[i] == kCR) << i;
        lf |= quint64(p[i] == kLF) << i;
    }
}

// The first place from `from` where the needle stands, comparing byte by byte.
qsizetype findBytes(const char* data, qsizetype size, qsizetype from, QByteArrayView needle) {
    for (qsizetype i = from; i + needle.size() <= size; ++i)
        if (std::memcmp(data + i, needle.data(), size_t(needle.size())) == 0)
            return i;
    return -1;
}

// Whether bytes [from, to) keep a save's line rules against the byte before each, one at a time.
bool savedPairs(const char* data, qsizetype from, qsizetype to) {
    for (qsizetype i = from; i < to; ++i) {
        const char c = data[i];
        const char before = data[i - 1];
        if ((c == kLF) != (before == kCR) ||
            (before == kLF && static_cast<unsigned char>(c) <= 0x20))
            return false;
    }
    return true;
}

// Finding line ends and searching walk every byte of every file read, so they compare as many
// bytes at a time as the processor can: 64 with AVX-512, 32 with AVX2 (decided once, at run
// time), else 16. bits64 gives a bit for each of the 64 bytes at p that equals c.
template <typename Bits> quint64 bits64(const char* p, char c);

#if !defined(__x86_64__)
// Any processor: a byte at a time.
struct Bytes {};
template <> inline quint64 bits64<Bytes>(const char* p, char c) {
    quint64 bits = 0;
    for (int i = 0; i < 64; ++i)
        bits |= quint64(p[i] == c) << i;
    return bits;
}
#endif

template <typename Bits>
inline void lineEndMasksWith(const char* data, qsizetype count, bool afterCR, quint64* masks) {
    quint64 carry = afterCR ? 1 : 0;
    for (qsizetype from = 0; from < count; from += 64) {
        quint64 cr = 0;
        quint64 lf = 0;
        if (from + 64 <= count) {
            cr = bits64<Bits>(data + from, kCR);
            lf = bits64<Bits>(data + from, kLF);
        } else {
            crLfBytes(data + from, count - from, cr, lf);
        }
        // An LF right after a CR ends nothing: the CR ended the piece.
        masks[from / 64] = cr | (lf & ~((cr << 1) | carry));
        carry = cr >> 63;
    }
}

// Where the needle's last three bytes stand, 64 places at a time; only those places are
// compared whole. The last bytes tell most: of a day key YYYYMMDD, the month's and the day's.
template <typename Bits>
inline qsizetype findWith(const char* data, qsizetype size, qsizetype from, QByteArrayView needle) {
    const qsizetype k = needle.size();
    const char* tail = needle.data() + k - 3;
    qsizetype i = from;
    for (; i + k - 3 + 66 <= size; i += 64) {
        const char* p = data + i + k - 3;
        for (quint64 at = bits64<Bits>(p, tail[0]) & bits64<Bits>(p + 1, tail[1]) &
                          bits64<Bits>(p + 2, tail[2]);
             at != 0; at &= at - 1) {
            const qsizetype place = i + std::countr_zero(at);
            if (std::memcmp(data + place, needle.data(), size_t(k - 3)) == 0)
                return place;
        }
    }
    return findBytes(data, size, i, needle);
}

// The first place from `from` where one of the needles stands: each probe's bytes are compared
// 64 places at a time, and only places where both probes of some needle hold are compared whole.
template <typename Bits>
inline qsizetype findAnyWith(const AnyNeedle& needles, const char* data, qsizetype size,
                             qsizetype from) {
    const std::vector<AnyNeedle::Probe>& probes = needles.probes();
    const std::vector<std::array<int, 2>>& pairs = needles.probePairs();
    quint64 bits[AnyNeedle::MaxProbes];
    qsizetype i = from;
    for (; !probes.empty() && i + needles.reach() + 64 <= size; i += 64) {
        const char* p = data + i;
        for (size_t k = 0; k < probes.size(); ++k) {
            quint64 held = 0;
            for (const char byte : probes[k].bytes)
                held |= bits64<Bits>(p + probes[k].offset, byte);
            bits[k] = held;
        }
        quint64 any = 0;
        for (const std::array<int, 2>& pair : pairs)
            any |= bits[pair[0]] & bits[pair[1]];
        for (; any != 0; any &= any - 1) {
            const qsizetype place = i + std::countr_zero(any);
            if (needles.standsAt(data, size, place))
                return place;
        }
    }
    for (; i < size; ++i)
        if (needles.standsAt(data, size, i))
            return i;
    return -1;
}

#if defined(__x86_64__)
enum class Simd { Sse2, Avx2, Avx512 };

// KALENDO_SIMD=sse2 or avx2 holds the level below what the processor has, so that the tests
// can check every level on one machine.
Simd simd() {
    static const Simd level = [] {
        const QByteArray most = qgetenv("KALENDO_SIMD");
        if (most != "sse2" && most != "avx2" && __builtin_cpu_supports("avx512bw"))
            return Simd::Avx512;
        if (most != "sse2" && __builtin_cpu_supports("avx2"))
            return Simd::Avx2;
        return Simd::Sse2;
    }();
    return level;
}

struct Sse2 {};
struct Avx2 {};
struct Avx512 {};

template <> inline quint64 bits64<Sse2>(const char* p, char c) {
    const __m128i cs = _mm_set1_epi8(c);
    quint64 bits = 0;
    for (int part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + part * 16));
        bits |= quint64(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cs)))) << (part * 16);
    }
    return bits;
}

template <> __attribute__((target("avx2"))) inline quint64 bits64<Avx2>(const char* p, char c) {
    const __m256i cs = _mm256_set1_epi8(c);
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    return quint64(unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, cs)))) |
           quint64(unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, cs)))) << 32;
}

template <>
__attribute__((target("avx512bw"))) inline quint64 bits64<Avx512>(const char* p, char c) {
    return _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p), _mm512_set1_epi8(c));
}

// Flattened: everything it calls is inlined into it, so that the AVX2 loads and compares are.
__attribute__((target("avx2"), flatten)) void lineEndMasksAvx2(const char* data, qsizetype count,
                                                               bool afterCR, quint64* masks) {
    lineEndMasksWith<Avx2>(data, count, afterCR, masks);
}

__attribute__((target("avx512bw"), flatten)) void
lineEndMasksAvx512(const char* data, qsizetype count, bool afterCR, quint64* masks) {
    lineEndMasksWith<Avx512>(data, count, afterCR, masks);
}

__attribute__((target("avx2"), flatten)) qsizetype findAvx2(const char* data, qsizetype size,
                                                            qsizetype from, QByteArrayView needle) {
    return findWith<Avx2>(data, size, from, needle);
}

__attribute__((target("avx512bw"), flatten)) qsizetype
findAvx512(const char* data, qsizetype size, qsizetype from, QByteArrayView needle) {
    return findWith<Avx512>(data, size, from, needle);
}

__attribute__((target("avx2"), flatten)) qsizetype
findAnyAvx2(const AnyNeedle& needles, const char* data, qsizetype size, qsizetype from) {
    return findAnyWith<Avx2>(needles, data, size, from);
}

__attribute__((target("avx512bw"), flatten)) qsizetype
findAnyAvx512(const AnyNeedle& needles, const char* data, qsizetype size, qsizetype from) {
    return findAnyWith<Avx512>(needles, data, size, from);
}

// Whether bytes [1, size) keep a save's line rules against the byte before each (see
// linesEndAsSaved), Width at a time: 16 with SSE2, 32 with AVX2.
template <int Width> inline bool savedPairsBy(const char* data, qsizetype size) {
    typedef signed char Bytes __attribute__((vector_size(Width)));
    typedef unsigned char Unsigned __attribute__((vector_size(Width)));
    Bytes bad{};
    qsizetype i = 1;
    for (; i + Width <= size; i += Width) {
        Bytes v;
        Bytes before;
        std::memcpy(&v, data + i, Width);
        std::memcpy(&before, data + i - 1, Width);
        bad |= (v == kLF) ^ (before == kCR);
        bad |= (before == kLF) & (Unsigned(v) <= 0x20);
    }
    quint64 words[Width / 8];
    std::memcpy(words, &bad, Width);
    quint64 any = 0;
    for (const quint64 word : words)
        any |= word;
    return any == 0 && savedPairs(data, i, size);
}

bool savedPairsSse2(const char* data, qsizetype size) {
    return savedPairsBy<16>(data, size);
}

__attribute__((target("avx2"), flatten)) bool savedPairsAvx2(const char* data, qsizetype size) {
    return savedPairsBy<32>(data, size);
}

// Of the same work built for each level, the one for this processor's.
template <typename F> F bySimd(F avx512, F avx2, F sse2) {
    switch (simd()) {
    case Simd::Avx512:
        return avx512;
    case Simd::Avx2:
        return avx2;
    case Simd::Sse2:
        break;
    }
    return sse2;
}
#endif

} // namespace

void TextFileDetail::lineEndMasks(const char* data, qsizetype count, bool afterCR, quint64* masks) {
#if defined(__x86_64__)
    bySimd(lineEndMasksAvx512, lineEndMasksAvx2, lineEndMasksWith<Sse2>)(data, count, afterCR,
                                                                         masks);
#else
    lineEndMasksWith<Bytes>(data, count, afterCR, masks);
#endif
}

bool TextFileDetail::linesEndAsSaved(const char* data, qsizetype size) {
    if (size == 0)
        return true;
    if (data[0] == kLF || data[size - 1] == kCR)
        return false;
#if defined(__x86_64__)
    return bySimd(savedPairsAvx2, savedPairsAvx2, savedPairsSse2)(data, size);
#else
    return savedPairs(data, 1, size);
#endif
}

qsizetype TextFileDetail::find(const char* data, qsizetype size, qsizetype from,
                               QByteArrayView needle) {
#if defined(__x86_64__)
    if (needle.size() >= 3)
        return bySimd(findAvx512, findAvx2, findWith<Sse2>)(data, size, from, needle);
#endif
    return findBytes(data, size, from, needle);
}

AnyNeedle::AnyNeedle(std::vector<Needle> needles, const ByteShare& share)
    : m_needles(std::move(needles)) {
    std::erase_if(m_needles, [](const Needle& n) {
        return n.empty() ||
               std::any_of(n.begin(), n.end(), [](const QByteArray& c) { return c.isEmpty(); });
    });
    // Each needle's first places, rarest first.
    std::vector<std::vector<int>> rarest;
    for (const Needle& needle : m_needles) {
        std::vector<std::pair<double, int>> places;
        for (int offset = 0; offset < std::min<int>(8, int(needle.size())); ++offset) {
            double sum = 0;
            for (const char byte : needle[size_t(offset)])
                sum += share ? share(byte) : 1;
            places.emplace_back(sum, offset);
        }
        std::stable_sort(places.begin(), places.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<int> offsets;
        for (const auto& place : places)
            offsets.push_back(place.second);
        rarest.push_back(std::move(offsets));
    }
    for (size_t n = 0; n < m_needles.size(); ++n) {
        std::array<int, 2> pair{};
        for (size_t r = 0; r < 2; ++r) {
            const int offset = rarest[n][std::min(r, rarest[n].size() - 1)];
            const QByteArray& bytes = m_needles[n][size_t(offset)];
            size_t k = 0;
            while (k < m_probes.size() &&
                   (m_probes[k].offset != offset || m_probes[k].bytes != bytes))
                ++k;
            if (k == MaxProbes) {
                // Too many different places: every place is compared whole.
                m_probes.clear();
                m_pairs.clear();
                m_reach = 0;
                return;
            }
            if (k == m_probes.size())
                m_probes.push_back({offset, bytes});
            pair[r] = int(k);
            m_reach = std::max(m_reach, offset + 1);
        }
        m_pairs.push_back(pair);
    }
}

bool AnyNeedle::standsAt(const char* data, qsizetype size, qsizetype place) const {
    for (const Needle& needle : m_needles) {
        if (place + qsizetype(needle.size()) > size)
            continue;
        size_t j = 0;
        while (j < needle.size() && needle[j].contains(data[place + qsizetype(j)]))
            ++j;
        if (j == needle.size())
            return true;
    }
    return false;
}

qsizetype AnyNeedle::find(const char* data, qsizetype size, qsizetype from) const {
    if (m_needles.empty())
        return -1;
#if defined(__x86_64__)
    using Find = qsizetype (*)(const AnyNeedle&, const char*, qsizetype, qsizetype);
    return bySimd<Find>(findAnyAvx512, findAnyAvx2, findAnyWith<Sse2>)(*this, data, size, from);
#else
    return findAnyWith<Bytes>(*this, data, size, from);
#endif
}

TextLines SplitTextLines(const QByteArray& bytes) {
    TextLines lines;
    ForEachTextLine(bytes.constData(), bytes.size(),
                    [&](qsizetype start, qsizetype size) { lines.append(bytes.mid(start, size)); });
    return lines;
}

namespace {

qint64 wallClockNs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

FileStamp stampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.exists = true;
    stamp.device = quint64(st.st_dev);
    stamp.inode = quint64(st.st_ino);
    stamp.size = qint64(st.st_size);
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changedNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

// Blocks of a quarter of a megabyte: large enough that the calls cost nothing, small enough to
// stay in the cache while what reads them uses them.
constexpr qsizetype ReadBlock = qsizetype(1) << 18;

// Reads the open file a block at a time, again after a signal, up to its end or, with
// stopAtCtrlZ, its first Ctrl-Z: place() gives where the next block goes and how large it may
// be, take(at, n) the block's bytes that count (those before a Ctrl-Z) and whether to read on.
// False, with errno, when a read fails.
template <typename Place, typename Take>
bool readBlocks(int fd, bool stopAtCtrlZ, const Place& place, const Take& take) {
    for (;;) {
        const auto [at, want] = place();
        const ssize_t got = ::read(fd, at, size_t(want));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        const void* ctrlZ = stopAtCtrlZ ? std::memchr(at, kCtrlZ, size_t(got)) : nullptr;
        if (!take(at, ctrlZ ? static_cast<const char*>(ctrlZ) - at : qsizetype(got)) || ctrlZ)
            return true;
    }
}

// Reads a file whole into bytes, reusing their storage; a missing file is no bytes when
// missingIsEmpty, else a failure. With stopAtCtrlZ, the bytes end before the first Ctrl-Z and
// reading ends at the block that holds it: nothing after it is ever used.
// With onRead, the file is read a block at a time and onRead(n) called after each block with the
// number of bytes read so far (those before a Ctrl-Z), so that they can be used while they are
// still in the processor's cache.
// With stamp, what the file was is kept there, with the bytes read for a small file.
using OnRead = std::function<void(qsizetype)>;

void readFile(const QString& path, bool missingIsEmpty, bool stopAtCtrlZ, QByteArray& bytes,
              const OnRead& onRead = {}, FileStamp* stamp = nullptr,
              qint64 limitBytes = MaxTextFileBytes) {
    // The stamp may share the bytes' storage: let go of it first, so that it is reused.
    if (stamp)
        *stamp = FileStamp();
    bytes.resize(0);
    const QByteArray native = QFile::encodeName(path);
    // Without O_NONBLOCK, opening a pipe would wait for a writer that never comes.
    Fd fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (missingIsEmpty && (errno == ENOENT || errno == ENOTDIR))
            return;
        throw KalendoError::io(errno, path);
    }
    const qint64 takenNs = wallClockNs();
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw KalendoError::io(errno, path);
    if (S_ISDIR(st.st_mode))
        throw KalendoError::io(EISDIR, path);
    if (!S_ISREG(st.st_mode))
        throw KalendoError::notRegularFile(path);
    if (st.st_size > limitBytes)
        throw KalendoError::tooLarge(path, limitBytes);
    // Straight into the buffer: one byte more than the size, so that the end shows at once.
    bytes.resize(qsizetype(st.st_size) + 1);
    qsizetype used = 0;
    const auto place = [&] {
        if (used == bytes.size())
            bytes.resize(bytes.size() * 2);
        const qsizetype room = bytes.size() - used;
        return std::pair{bytes.data() + used, onRead ? std::min(ReadBlock, room) : room};
    };
    const auto take = [&](const char*, qsizetype n) {
        // A file that grows while it is read is held to the same limit.
        if (used + n > limitBytes) {
            bytes.resize(0);
            throw KalendoError::tooLarge(path, limitBytes);
        }
        used += n;
        if (onRead)
            onRead(used);
        return true;
    };
    if (!readBlocks(fd.get(), stopAtCtrlZ, place, take)) {
        const int error = errno;
        bytes.resize(0);
        throw KalendoError::io(error, path);
    }
    bytes.resize(used);
    if (stamp) {
        *stamp = stampOf(st);
        stamp->takenNs = takenNs;
        if (stamp->size <= StampedBytes)
            stamp->bytes = bytes;
    }
}

QByteArray readFile(const QString& path, bool missingIsEmpty, bool stopAtCtrlZ, qint64 limitBytes) {
    QByteArray bytes;
    readFile(path, missingIsEmpty, stopAtCtrlZ, bytes, {}, nullptr, limitBytes);
    return bytes;
}

} // namespace

TextLines LoadTextLines(const QString& path, FileStamp* stamp, qint64 limitBytes) {
    QByteArray bytes;
    readFile(path, true, true, bytes, {}, stamp, limitBytes);
    return SplitTextLines(bytes);
}

FileChangedError::FileChangedError(const QString& path)
    : KalendoError(QStringLiteral("他のプログラムがファイルを書き換えたため、保存しませんでした") +
                   QLatin1Char('\n') + path) {}

std::optional<FileStamp> StatFileStamp(const QString& path) {
    const qint64 takenNs = wallClockNs();
    struct stat st {};
    FileStamp stamp;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        stamp = stampOf(st);
    else if (errno != ENOENT && errno != ENOTDIR)
        return std::nullopt;
    stamp.takenNs = takenNs;
    return stamp;
}

bool SameFileTimes(const FileStamp& a, const FileStamp& b) {
    return a.exists == b.exists && a.size == b.size && a.modifiedNs == b.modifiedNs &&
           a.changedNs == b.changedNs && a.inode == b.inode && a.device == b.device;
}

bool CertainlyUnchanged(const FileStamp& read, const FileStamp& now) {
    if (!read.exists || !now.exists)
        return !read.exists && !now.exists; // a file made meanwhile exists
    if (!SameFileTimes(read, now))
        return false;
    if (read.ownWrite)
        return true;
    // Every write sets the change time from the kernel's clock, which runs up to a tick behind
    // the wall clock (a few milliseconds); file systems whose times have no fractions of a second
    // (FAT) count in steps of up to two seconds. A change older than that when the file was read
    // differs from the change time of any write after it.
    const bool wholeSeconds = read.changedNs % 1000000000 == 0;
    const qint64 tick = wholeSeconds ? qint64(3000) * 1000000 : qint64(100) * 1000000;
    return read.takenNs > 0 && read.changedNs <= read.takenNs - tick;
}

namespace {

// Whether the file at path is still the one stamped: the same file, size and times, and the
// same bytes where they were kept, unless the times alone tell.
bool stillAsStamped(const QString& path, const FileStamp& expected) {
    const std::optional<FileStamp> stat = StatFileStamp(path);
    if (!stat)
        return false;
    FileStamp now = *stat;
    if (CertainlyUnchanged(expected, now))
        return true;
    if (!expected.exists || !now.exists || !SameFileTimes(expected, now))
        return false;
    if (now.size > StampedBytes)
        return true;
    try {
        QByteArray bytes;
        readFile(path, false, true, bytes, {}, &now);
    } catch (const KalendoError&) {
        return false;
    }
    return now == expected;
}

} // namespace

bool FileHoldsBytes(const QString& path, QByteArrayView bytes, FileStamp& read) {
    read = FileStamp();
    Fd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return false;
    const qint64 takenNs = wallClockNs();
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < bytes.size())
        return false;
    std::vector<char> buffer(size_t(std::min<qsizetype>(ReadBlock, qsizetype(st.st_size) + 1)));
    qsizetype used = 0;
    bool same = true;
    const auto place = [&] { return std::pair{buffer.data(), qsizetype(buffer.size())}; };
    const auto take = [&](const char* at, qsizetype n) {
        same = used + n <= bytes.size() && std::memcmp(at, bytes.data() + used, size_t(n)) == 0;
        used += n;
        return same;
    };
    if (!readBlocks(fd.get(), true, place, take) || !same || used != bytes.size())
        return false;
    read = stampOf(st);
    read.takenNs = takenNs;
    return true;
}

TextLines TextBuffer::toLines() const {
    TextLines lines;
    lines.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        lines.append(line(i).toByteArray());
    return lines;
}

void TextBuffer::clear() {
    m_stamp = FileStamp(); // first, so that the bytes' storage is no longer shared
    m_bytes.resize(0);
    m_made.resize(0);
    m_lines.clear();
}

void TextBuffer::loadBytes(const QString& path, qint64 limitBytes) {
    clear();
    readFile(path, true, true, m_bytes, {}, &m_stamp, limitBytes);
}

void TextBuffer::loadBytes(const QString& path, const OnLines& onLines) {
    clear();
    qsizetype done = 0;    // bytes handed on
    qsizetype scanned = 0; // bytes looked at for a line end
    try {
        readFile(
            path, true, true, m_bytes,
            [&](qsizetype read) {
                // Up to the last line end read, so that a line is handed on whole; only the bytes
                // just read are looked at, or a long line would be scanned again at every block.
                const char* bytes = m_bytes.constData();
                qsizetype end = read;
                while (end > scanned && bytes[end - 1] != kCR && bytes[end - 1] != kLF)
                    --end;
                scanned = read;
                if (end > done && (bytes[end - 1] == kCR || bytes[end - 1] == kLF)) {
                    onLines(done, end);
                    done = end;
                }
            },
            &m_stamp);
    } catch (...) {
        clear();
        throw;
    }
    if (m_bytes.size() > done)
        onLines(done, m_bytes.size());
}

void TextBuffer::load(const QString& path) {
    loadBytes(path);
    forEachFileLine([this](qsizetype start, qsizetype size) { addFileLine(start, size); });
}

void TextBuffer::addMade(QByteArrayView line) {
    m_lines.push_back({quint32(m_made.size()), quint32(line.size()), 1});
    m_made.append(line);
}

bool TextBuffer::rewriteAsSaved(const std::vector<qsizetype>& dropped, const TextLines& added,
                                const FileStamp& stamp) {
    if (!m_made.isEmpty())
        return false;
    // Each added line must read back as itself: no line end, no Ctrl-Z, nothing a reader drops.
    qsizetype size = 0;
    for (const QByteArray& line : added) {
        if (line.isEmpty() || static_cast<unsigned char>(line.front()) <= 0x20 ||
            line.contains(kCR) || line.contains(kLF) || line.contains(kCtrlZ))
            return false;
        size += line.size() + 2;
    }
    // The lines before the first one left out that already stand as written keep their places.
    const char* const read = m_bytes.constData();
    const size_t firstDropped = dropped.empty() ? m_lines.size() : size_t(dropped.front());
    size_t unmoved = 0;
    qsizetype unmovedEnd = 0;
    for (; unmoved < firstDropped && unmoved < m_lines.size(); ++unmoved) {
        const Span span = m_lines[unmoved];
        const qsizetype end = qsizetype(span.start) + span.size;
        if (qsizetype(span.start) != unmovedEnd || end + 1 >= m_bytes.size() || read[end] != kCR ||
            read[end + 1] != kLF)
            break;
        unmovedEnd = end + 2;
    }
    // Every line kept moves down (or stays): its new place is never past its old one, so the
    // bytes are moved in place, front to back.
    qsizetype to = unmovedEnd;
    size_t d = 0;
    for (size_t i = unmoved; i < m_lines.size(); ++i) {
        if (d < dropped.size() && dropped[d] == qsizetype(i)) {
            ++d;
            continue;
        }
        if (to > qsizetype(m_lines[i].start))
            return false;
        to += m_lines[i].size + 2;
    }
    if (d != dropped.size() || to + size > MaxTextFileBytes)
        return false;
    m_stamp = FileStamp(); // first, so that the bytes' storage is no longer shared
    const qsizetype oldSize = m_bytes.size();
    if (to + size > m_bytes.size())
        m_bytes.resize(to + size);
    char* bytes = m_bytes.data();
    to = unmovedEnd;
    d = 0;
    size_t kept = unmoved;
    // Lines that follow each other with CR LF between them are moved as one run (most of a year
    // saved by Kalendo): one move for the run rather than one for each line. A move only writes
    // below the place of the next line kept, so the bytes still to be moved stay as read.
    qsizetype runFrom = 0;
    qsizetype runSize = 0;
    qsizetype runTo = 0;
    const auto moveRun = [&] {
        if (runSize > 0 && runFrom != runTo)
            std::memmove(bytes + runTo, bytes + runFrom, size_t(runSize));
        runSize = 0;
    };
    for (size_t i = unmoved; i < m_lines.size(); ++i) {
        if (d < dropped.size() && dropped[d] == qsizetype(i)) {
            ++d;
            continue;
        }
        const Span span = m_lines[i];
        const qsizetype end = qsizetype(span.start) + span.size;
        if (runSize == 0 || qsizetype(span.start) != runFrom + runSize) {
            moveRun();
            runFrom = span.start;
            runTo = to;
        }
        m_lines[kept++] = {quint32(to), span.size, 0};
        to += span.size + 2;
        if (end + 1 < oldSize && bytes[end] == kCR && bytes[end + 1] == kLF) {
            runSize += span.size + 2;
        } else {
            runSize += span.size;
            moveRun();
            bytes[to - 2] = kCR;
            bytes[to - 1] = kLF;
        }
    }
    moveRun();
    m_lines.resize(kept);
    for (const QByteArray& line : added) {
        std::memcpy(bytes + to, line.constData(), size_t(line.size()));
        addFileLine(to, line.size());
        to += line.size();
        bytes[to++] = kCR;
        bytes[to++] = kLF;
    }
    m_bytes.resize(to);
    m_stamp = stamp;
    m_stamp.bytes = QByteArray();
    return true;
}

QByteArray LoadFileBytes(const QString& path, qint64 limitBytes) {
    return readFile(path, false, false, limitBytes);
}

QString SaveTextLines(const QString& path, const TextLines& lines, const FileStamp* expected) {
    return SaveTextLinesFrom(
        path,
        [&lines](const AddLine& add) {
            for (const QByteArray& line : lines)
                add(line);
        },
        expected);
}

QString SaveTextLinesFrom(const QString& path, const std::function<void(const AddLine&)>& lines,
                          const FileStamp* expected, FileStamp* written) {
    return SaveTextPiecesFrom(
        path, [&](const AddPiece& add) { lines([&](QByteArrayView text) { add(text, true); }); },
        expected, written);
}

QString SaveTextPiecesFrom(const QString& path, const std::function<void(const AddPiece&)>& pieces,
                           const FileStamp* expected, FileStamp* written) {
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
                          SaveTempSuffix + "XXXXXX";
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
    buffer.reserve((1 << 16) + 4096);
    try {
        const auto flush = [&] {
            if (!writeAll(fd.get(), buffer.constData(), size_t(buffer.size())))
                fail(errno);
            buffer.resize(0);
        };
        pieces([&](QByteArrayView text, bool lineEnds) {
            if (text.size() >= 1 << 16) {
                // A long run goes out as it stands, without a copy.
                flush();
                if (!writeAll(fd.get(), text.data(), size_t(text.size())))
                    fail(errno);
            } else {
                buffer.append(text);
            }
            if (lineEnds)
                buffer.append("\r\n", 2);
            if (buffer.size() >= 1 << 16)
                flush();
        });
    } catch (...) {
        // Whatever stopped the lines, no half-written temporary file stays behind.
        if (fd.get() >= 0) {
            ::close(fd.release());
            ::unlink(tempName.constData());
        }
        throw;
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
    // The file's modification time set a nanosecond before the one its last write gave it: any
    // later write gives a time no earlier than that one, so while the file keeps this time it
    // is the one written here, even within the same tick of the file system's clock. Where the
    // file system cannot hold the time exactly, the stamp below tells nothing of the kind.
    struct stat made {};
    std::optional<qint64> markedNs;
    if (written && ::fstat(fd.get(), &made) == 0) {
        struct timespec times[2] = {{0, UTIME_OMIT}, made.st_mtim};
        if (times[1].tv_nsec > 0) {
            --times[1].tv_nsec;
        } else {
            --times[1].tv_sec;
            times[1].tv_nsec = 999999999;
        }
        if (::futimens(fd.get(), times) == 0)
            markedNs = qint64(times[1].tv_sec) * 1000000000 + times[1].tv_nsec;
    }
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
    // As late as can be: whatever another program wrote until now is seen.
    if (expected && !stillAsStamped(path, *expected)) {
        ::unlink(tempName.constData());
        throw FileChangedError(path);
    }
    const bool replaces = ::access(nativeTarget.constData(), F_OK) == 0;
    const QString backupFailure = replaces ? KeepBackup(path) : QString();
    if (::rename(tempName.constData(), nativeTarget.constData()) != 0) {
        const int error = errno;
        ::unlink(tempName.constData());
        throw KalendoError::io(error, path);
    }
    if (written) {
        struct stat now {};
        const qint64 takenNs = wallClockNs();
        *written = FileStamp();
        written->takenNs = takenNs;
        if (::stat(nativeTarget.constData(), &now) == 0) {
            *written = stampOf(now);
            written->takenNs = takenNs;
            written->ownWrite = markedNs && now.st_ino == made.st_ino &&
                                now.st_dev == made.st_dev && written->modifiedNs == *markedNs;
        }
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

namespace {

// Removes the regular files of a folder whose names match, never following a link. Every name
// the pattern matches holds part: the others (the folder's lock, the data files) are passed over
// without the pattern, which is only compiled once a name is matched against it.
void removeMatching(const QString& folder, const QRegularExpression& pattern,
                    QLatin1StringView part) {
    QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!name.contains(part) || !pattern.match(name).hasMatch())
            continue;
        const QByteArray native = QFile::encodeName(dir.filePath(name));
        struct stat st {};
        if (::lstat(native.constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(native.constData());
    }
}

} // namespace

void RemoveLeftoverSaves(const QString& folder) {
    // "." + the data file's name + SaveTempSuffix + the six characters mkostemp() puts for
    // XXXXXX: a name no other program chooses.
    const QString suffix = QRegularExpression::escape(QLatin1String(SaveTempSuffix)) +
                           QStringLiteral("[A-Za-z0-9]{6}$");
    removeMatching(folder, QRegularExpression(QStringLiteral("^\\..+") + suffix),
                   QLatin1StringView(SaveTempSuffix));
    // Earlier releases named them ".2025.csv.Ab3xYz": such a name is Kalendo's only when the
    // file it was for is one of Kalendo's own.
    static const QRegularExpression earlier(QStringLiteral(
        "^\\.(holiday|event|anniversary|\\d{4}|\\d{4}\\.uid)\\.csv\\.[A-Za-z0-9]{6}$"));
    removeMatching(folder, earlier, QLatin1StringView(".csv."));
    RemoveLeftoverBackups(folder);
    // A data file that is a link is saved through it, beside the file it names.
    static const QRegularExpression dataFile(
        QStringLiteral("^(holiday|event|anniversary|\\d{4}|\\d{4}\\.uid)\\.csv$"));
    QDir dir(folder);
    for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::System)) {
        if (!info.isSymLink() || !dataFile.match(info.fileName()).hasMatch())
            continue;
        const QFileInfo target(info.canonicalFilePath());
        if (target.filePath().isEmpty() ||
            target.absolutePath() == QFileInfo(folder).canonicalFilePath())
            continue;
        removeMatching(
            target.absolutePath(),
            QRegularExpression(QLatin1Char('^') +
                               QRegularExpression::escape(QLatin1Char('.') + target.fileName()) +
                               suffix),
            QLatin1StringView(SaveTempSuffix));
    }
}
