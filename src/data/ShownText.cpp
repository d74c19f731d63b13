#include "data/ShownText.h"

#include "data/Codec.h"

#include <QTextBoundaryFinder>

#include <cstring>

namespace {

const QChar Ellipsis(0x2026);

// The head of the line that ends at or before maxChars on a boundary between user-perceived
// characters, so that no surrogate pair or combining sequence is split.
QStringView wholeCharacters(QStringView line, qsizetype maxChars) {
    // Looking at a few characters past the cut is enough to know the boundary.
    const QString near = line.left(maxChars + 8).toString();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, near);
    finder.setPosition(maxChars);
    const qsizetype cut = finder.isAtBoundary() ? maxChars : finder.toPreviousBoundary();
    return line.left(std::max<qsizetype>(cut, 0));
}

// The next CR LF at or after from, or -1; memchr runs through a long line at memory speed.
qsizetype lineEnd(const QByteArray& bytes, qsizetype from) {
    const char* const begin = bytes.constData();
    const char* const end = begin + bytes.size();
    for (const char* p = begin + from; p < end;) {
        p = static_cast<const char*>(std::memchr(p, '\r', size_t(end - p)));
        if (!p)
            break;
        if (p + 1 < end && p[1] == '\n')
            return p - begin;
        ++p;
    }
    return -1;
}

} // namespace

QString CutLongLines(const QString& text, qsizetype maxChars) {
    QString out;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        const QStringView line = QStringView(text).mid(start, end - start);
        if (line.size() > maxChars) {
            out += wholeCharacters(line, maxChars);
            out += Ellipsis;
        } else {
            out += line;
        }
        if (end < text.size())
            out += QLatin1Char('\n');
        start = end + 1;
    }
    return out;
}

QString ShownLine(const QByteArray& bytes, qsizetype maxChars) {
    // No character takes more than two bytes, so twice the characters is enough to decode.
    if (bytes.size() <= 2 * maxChars)
        return CutLongLines(Codec::toUnicode(bytes), maxChars);
    qsizetype end = 0;
    while (end < 2 * maxChars)
        end += Codec::isDoubleByteAt(bytes, end) ? 2 : 1;
    return CutLongLines(Codec::toUnicode(bytes.left(end)) + Ellipsis, maxChars);
}

QString ShownLines(const QByteArray& bytes, qsizetype maxChars, qsizetype maxLines) {
    QString out;
    qsizetype start = 0;
    for (qsizetype shown = 1;; ++shown) {
        const qsizetype end = lineEnd(bytes, start);
        if (maxLines > 0 && shown == maxLines && end >= 0) {
            qsizetype more = 1;
            for (qsizetype at = end; at >= 0; at = lineEnd(bytes, at + 2))
                ++more;
            return out + QStringLiteral("他%1件").arg(more);
        }
        const qsizetype stop = end < 0 ? bytes.size() : end;
        out +=
            ShownLine(QByteArray::fromRawData(bytes.constData() + start, stop - start), maxChars);
        if (end < 0)
            return out;
        out += QLatin1Char('\n');
        start = end + 2;
    }
}
