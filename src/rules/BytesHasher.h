#pragma once

#include <QByteArrayView>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>

// The hash an identity file notes of the year file it was matched to and of its own records
// (rules/EntryIdentity.h): a save that left the year's bytes as they were needs no matching again.
// A fast hash: it tells a change from none, no adversary is involved, and it is asked at
// every save of a large year. Its own, not Qt's: qHash differs with the processor's features,
// so a folder used on another computer would be matched again at every save.
// Bytes may come in pieces (the records of a file, or a year file, as they are written): the hash
// is the same as of the bytes whole.
class BytesHasher {
public:
    void add(QByteArrayView bytes) {
        const char* p = bytes.data();
        qsizetype n = bytes.size();
        m_length += quint64(n);
        if (m_pending > 0 && n > 0) {
            const qsizetype part = std::min<qsizetype>(32 - m_pending, n);
            std::memcpy(m_tail + m_pending, p, size_t(part));
            m_pending += int(part);
            p += part;
            n -= part;
            if (m_pending < 32)
                return;
            m_pending = 0;
            blocks(m_tail, 32);
        }
        const qsizetype whole = n & ~qsizetype(31);
        blocks(p, whole);
        if (n > whole) {
            std::memcpy(m_tail, p + whole, size_t(n - whole));
            m_pending = int(n - whole);
        }
    }

    quint64 finish() const {
        quint64 h = std::rotl(m_lanes[0], 1) + std::rotl(m_lanes[1], 7) +
                    std::rotl(m_lanes[2], 12) + std::rotl(m_lanes[3], 18) + m_length;
        const char* p = m_tail;
        qsizetype n = m_pending;
        for (; n >= 8; p += 8, n -= 8)
            h = std::rotl(h ^ mix(0, word(p)), 27) * k1 + k2;
        for (; n > 0; ++p, --n)
            h = std::rotl(h ^ (quint64(static_cast<unsigned char>(*p)) * k1), 11) * k2;
        h ^= h >> 33;
        h *= k2;
        h ^= h >> 29;
        h *= k1;
        return h ^ (h >> 32);
    }

private:
    static constexpr quint64 k1 = 0x9E3779B185EBCA87ULL;
    static constexpr quint64 k2 = 0xC2B2AE3D27D4EB4FULL;
    static quint64 word(const char* at) { return qFromLittleEndian<quint64>(at); }
    static quint64 mix(quint64 acc, quint64 value) { return std::rotl(acc + value * k2, 31) * k1; }
    // Four lanes of eight bytes, so that the multiplications overlap; kept in locals, since the
    // bytes (chars) could alias the members.
    // Written out lane by lane: as a loop over the lanes the compiler kept it a loop, at twice
    // the instructions.
    void blocks(const char* p, qsizetype n) {
        quint64 a = m_lanes[0], b = m_lanes[1], c = m_lanes[2], d = m_lanes[3];
        for (; n >= 32; p += 32, n -= 32) {
            a = mix(a, word(p));
            b = mix(b, word(p + 8));
            c = mix(c, word(p + 16));
            d = mix(d, word(p + 24));
        }
        m_lanes[0] = a;
        m_lanes[1] = b;
        m_lanes[2] = c;
        m_lanes[3] = d;
    }

    quint64 m_lanes[4] = {0x4B616C656E646FULL + k1 + k2, 0x4B616C656E646FULL + k2,
                          0x4B616C656E646FULL, 0x4B616C656E646FULL - k1};
    char m_tail[32] = {};
    int m_pending = 0;
    quint64 m_length = 0;
};
