#pragma once

#include "data/TextFile.h"

#include <optional>
#include <utility>

// What reading a file gave, kept with the file's stamp for a caller that reads the same file
// again and again (the sync, every few minutes): taken again without reading while the file is
// certainly the one read. Any write through the atomic writer replaces the file, and so reads
// it anew; so does a change too recent for the file's times to tell.
template <typename T> class KeptReading {
public:
    // read(FileStamp*) reads the file at path, leaving its stamp there; it may throw, and then
    // nothing stays kept.
    template <typename Read> T get(const QString& path, Read&& read) {
        if (m_stamp) {
            const std::optional<FileStamp> now = StatFileStamp(path);
            if (now && CertainlyUnchanged(*m_stamp, *now))
                return m_value;
        }
        forget();
        FileStamp stamp;
        m_value = std::forward<Read>(read)(&stamp);
        stamp.bytes.clear(); // the times tell
        m_stamp = stamp;
        return m_value;
    }
    void forget() {
        m_stamp.reset();
        m_value = T();
    }

private:
    std::optional<FileStamp> m_stamp;
    T m_value;
};
