#include "data/Codec.h"

#include "data/KalendoError.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <utility>

namespace {

// Microsoft's code page 932, through ICU: 0x8160 is U+FF5E and 0x5C is a backslash.
constexpr const char* kEncoding = "windows-31j";

} // namespace

namespace Codec {

QString mapTyped(const QString& text) {
    static constexpr std::pair<char16_t, char16_t> kMapped[] = {
        {u'\u301C', u'\uFF5E'}, {u'\u2016', u'\u2225'}, {u'\u2212', u'\uFF0D'},
        {u'\u00A2', u'\uFFE0'}, {u'\u00A3', u'\uFFE1'}, {u'\u00AC', u'\uFFE2'},
        {u'\u2014', u'\u2015'}, {u'\u00A5', u'\uFFE5'}, // not 0x5C, which reads back as a backslash
    };
    QString out = text;
    for (QChar& ch : out)
        for (const auto& [from, to] : kMapped)
            if (ch.unicode() == from)
                ch = QChar(to);
    return out;
}

QString toUnicode(const QByteArray& bytes) {
    QStringDecoder decoder(kEncoding);
    // The decoder holds a lead byte at the very end back for a trail byte that never comes: it
    // shows as U+001A as any other byte that is no character.
    qsizetype i = 0;
    while (i + 1 < bytes.size())
        i += isDoubleByteAt(bytes, i) ? 2 : 1;
    if (i + 1 == bytes.size() && isLeadByte(static_cast<unsigned char>(bytes.back())))
        return QString(decoder.decode(QByteArrayView(bytes).chopped(1))) + QChar(0x1A);
    return decoder.decode(bytes);
}

std::optional<QByteArray> fromUnicode(const QString& text) {
    QStringEncoder encoder(kEncoding);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

QByteArray encodeOrThrow(const QString& text) {
    if (auto bytes = fromUnicode(text))
        return *bytes;
    throw KalendoError::notEncodable(firstUnencodable(text));
}

bool canEncode(const QString& text) {
    return fromUnicode(text).has_value();
}

QString firstUnencodable(const QString& text) {
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString one = text.mid(i, len);
        if (!canEncode(one))
            return one;
        i += len;
    }
    return QString();
}

int byteLength(const QString& text) {
    int total = 0;
    QStringEncoder encoder(kEncoding);
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        if (text.at(i).unicode() < 0x80) {
            total += 1;
        } else {
            const QByteArray b = encoder.encode(QStringView(text).mid(i, len));
            total += encoder.hasError() ? 2 : int(b.size());
            encoder.resetState();
        }
        i += len;
    }
    return total;
}

QString truncateToBytes(const QString& text, int maxBytes) {
    int total = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const int bytes = byteLength(text.mid(i, len));
        if (total + bytes > maxBytes)
            return text.left(i);
        total += bytes;
        i += len;
    }
    return text;
}

} // namespace Codec
