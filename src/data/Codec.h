#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The one place where code page 932 bytes and Unicode text meet. Files, lines and cells stay
// bytes; text is decoded only to be shown and encoded only when the user typed it.
namespace Codec {

// Bytes to text for display. Bytes that are not code page 932 show as U+001A; the bytes
// themselves are never changed by showing them.
QString toUnicode(const QByteArray& bytes);

// Typed or pasted text with the characters that input methods and web pages give in another
// form than code page 932 (〜 U+301C, ‖, −, ¢, £, ¬, —, ¥) turned into the characters code page
// 932 holds for them (～ U+FF5E, ∥, －, ￠, ￡, ￢, ―, ￥).
QString mapTyped(const QString& text);

// Text to bytes, or nothing when the text holds a character code page 932 cannot hold.
std::optional<QByteArray> fromUnicode(const QString& text);

// Like fromUnicode, but throws KalendoError::notEncodable naming the first such character.
QByteArray encodeOrThrow(const QString& text);

bool canEncode(const QString& text);

// The first character (a whole code point) that code page 932 cannot hold, or empty text.
QString firstUnencodable(const QString& text);

// Length of the text in code page 932 bytes; a double-byte character counts 2. Characters
// that cannot be encoded count 2 each.
int byteLength(const QString& text);

// The longest head of the text that fits into maxBytes bytes, cut between whole characters.
QString truncateToBytes(const QString& text, int maxBytes);

inline bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
inline bool isTrailByte(unsigned char b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

// True when the byte at index i starts a double-byte character (a lead byte followed by a
// valid trail byte). Inline: the comma readers ask it of every byte they read.
inline bool isDoubleByteAt(const QByteArray& bytes, qsizetype i) {
    return i + 1 < bytes.size() && isLeadByte(static_cast<unsigned char>(bytes.at(i))) &&
           isTrailByte(static_cast<unsigned char>(bytes.at(i + 1)));
}

} // namespace Codec
