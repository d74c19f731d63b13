#pragma once

// The floors' own work, with none of Kalendo's code: reading files, finding their line ends,
// a durable write.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace floors {

// The physical minimum of reading a file: its bytes into a buffer that is kept between runs.
inline qsizetype readBytes(const QString& path, std::vector<char>& buffer) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        qFatal("cannot read %s", qPrintable(path));
    size_t used = 0;
    for (;;) {
        if (buffer.size() < used + 65536)
            buffer.resize(std::max(buffer.size() * 2, used + 65536));
        const ssize_t got = ::read(fd, buffer.data() + used, buffer.size() - used);
        if (got <= 0)
            break;
        used += size_t(got);
    }
    ::close(fd);
    return qsizetype(used);
}

// ... and of finding its line ends (every line of these files ends with CR LF).
inline qsizetype readAndFindLineEnds(const QString& path, std::vector<char>& buffer) {
    const qsizetype size = readBytes(path, buffer);
    qsizetype ends = 0;
    const char* p = buffer.data();
    const char* const end = p + size;
    while ((p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p))))) {
        ++ends;
        ++p;
    }
    return ends;
}

// The physical minimum of a save: the same bytes written to a file and made durable.
inline void writeWithFsync(const QString& path, const QByteArray& bytes) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size() ||
        ::fsync(fd) != 0)
        qFatal("cannot write %s", qPrintable(path));
    ::close(fd);
}

// Every file read, and the needle's places counted.
inline qsizetype readAndSearch(const QStringList& paths, const QByteArray& needle,
                               std::vector<char>& buffer) {
    qsizetype found = 0;
    for (const QString& path : paths) {
        const qsizetype size = readBytes(path, buffer);
        const char* p = buffer.data();
        const char* const end = p + size;
        while (const void* at =
                   memmem(p, size_t(end - p), needle.constData(), size_t(needle.size()))) {
            ++found;
            p = static_cast<const char*>(at) + needle.size();
        }
    }
    return found;
}

} // namespace floors
