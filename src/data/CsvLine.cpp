#include "data/CsvLine.h"

#include "data/Codec.h"

#include <cstring>

namespace {

bool needsQuotes(const QByteArray& cell) {
    for (qsizetype i = 0; i < cell.size(); ++i) {
        if (Codec::isDoubleByteAt(cell, i)) {
            ++i;
            continue;
        }
        const auto b = static_cast<unsigned char>(cell.at(i));
        if (b <= 0x20 || b == '"' || b == ',')
            return true;
    }
    return false;
}

bool isSkippable(unsigned char b) {
    return b >= 0x01 && b <= 0x20;
}

// A line as the readers take it: its bytes up to the first NUL, which ends the text, and, for
// the lists' reading, one comma after them that no copy of the line has to hold.
struct LineText {
    QByteArrayView bytes;
    qsizetype n;             // bytes.size(), plus the comma when there is one
    const QByteArray* owner; // holds bytes, for large fields to share

    LineText(QByteArrayView line, bool withComma, const QByteArray* holder = nullptr)
        : bytes(line.first(nulAt(line))), n(bytes.size()), owner(holder) {
        // A comma appended after a NUL is never read, as the NUL ends the text before it.
        if (withComma && bytes.size() == line.size())
            ++n;
    }
    static qsizetype nulAt(QByteArrayView line) {
        const void* nul = std::memchr(line.data(), '\0', size_t(line.size()));
        return nul ? static_cast<const char*>(nul) - line.data() : line.size();
    }
    char at(qsizetype i) const { return i < bytes.size() ? bytes[i] : ','; }
    // Neither NUL nor the comma is a trail byte, so a character never runs past bytes.
    bool doubleByteAt(qsizetype i) const {
        return i + 1 < bytes.size() && Codec::isLeadByte(static_cast<unsigned char>(bytes[i])) &&
               Codec::isTrailByte(static_cast<unsigned char>(bytes[i + 1]));
    }
    QByteArray part(qsizetype from, qsizetype size) const {
        const QByteArrayView piece = bytes.sliced(from, size);
        return owner ? SharedBytes(*owner, piece) : piece.toByteArray();
    }
};

// Reads one field starting at pos; returns it and moves pos past it.
QByteArray readField(const LineText& line, qsizetype& pos) {
    const qsizetype n = line.n;
    if (line.at(pos) == '"') {
        const qsizetype begin = ++pos;
        qsizetype contentEnd = n;
        bool doubled = false;
        while (pos < n) {
            if (line.doubleByteAt(pos)) {
                pos += 2;
                continue;
            }
            if (line.at(pos) == '"') {
                if (pos + 1 < n && line.at(pos + 1) == '"') {
                    doubled = true;
                    pos += 2;
                    continue;
                }
                contentEnd = pos;
                ++pos; // the closing quote
                break;
            }
            ++pos;
        }
        // Most quoted fields are their bytes as they stand.
        if (!doubled && contentEnd <= line.bytes.size())
            return line.part(begin, contentEnd - begin);
        QByteArray field;
        for (qsizetype i = begin; i < contentEnd;) {
            if (line.doubleByteAt(i)) {
                field.append(line.bytes.sliced(i, 2));
                i += 2;
                continue;
            }
            field.append(line.at(i));
            i += line.at(i) == '"' ? 2 : 1;
        }
        return field;
    }
    // An unquoted field runs to the next comma: a blank inside it is the text's own, as a hand
    // edit writes "Zoom 会議"; blanks before the comma are no part of it.
    const qsizetype start = pos;
    qsizetype end = pos;
    while (pos < n) {
        if (line.doubleByteAt(pos)) {
            pos += 2;
            end = pos;
            continue;
        }
        const auto b = static_cast<unsigned char>(line.at(pos));
        if (b == ',')
            break;
        ++pos;
        if (b > 0x20)
            end = pos;
    }
    return line.part(start, end - start);
}

} // namespace

QByteArray SharedBytes(const QByteArray& owner, QByteArrayView part) {
    const char* begin = owner.constData();
    if (part.size() < SharedCellBytes || part.size() < owner.size() / 2 || part.data() < begin ||
        part.data() + part.size() > begin + owner.size())
        return part.toByteArray();
    // Another reference to the owner's storage, narrowed to the part: Qt frees the storage with
    // its last reference, and a change to either copies first.
    QByteArray shared = owner;
    QByteArray::DataPointer& d = shared.data_ptr();
    d.setBegin(const_cast<char*>(part.data()));
    d.size = part.size();
    return shared;
}

QByteArray RowToCommaLine(const Row& row) {
    if (row.size() == 1 && row.at(0).isEmpty())
        return QByteArrayLiteral("\"\"");
    // Sized once: a cell may be megabytes, and growing the line would copy it again.
    qsizetype size = row.size();
    for (const QByteArray& cell : row)
        size += cell.size() + 2;
    QByteArray line;
    line.reserve(size);
    for (qsizetype c = 0; c < row.size(); ++c) {
        if (c > 0)
            line.append(',');
        const QByteArray& cell = row.at(c);
        if (needsQuotes(cell)) {
            line.append('"');
            for (qsizetype from = 0;;) {
                const qsizetype quote = cell.indexOf('"', from);
                if (quote < 0) {
                    line.append(QByteArrayView(cell).sliced(from));
                    break;
                }
                line.append(QByteArrayView(cell).sliced(from, quote + 1 - from)).append('"');
                from = quote + 1;
            }
            line.append('"');
        } else {
            line.append(cell);
        }
    }
    return line;
}

namespace {

// Calls onField(field, start, end) for each field of the line in order, by CommaLineToRow's
// reading, until it returns false: start..end are the field's bytes in the line as written
// (quotes included).
template <typename OnField> void forEachField(const LineText& line, OnField&& onField) {
    qsizetype pos = 0;
    const qsizetype n = line.n;
    auto skip = [&] {
        while (pos < n && isSkippable(static_cast<unsigned char>(line.at(pos))))
            ++pos;
    };
    skip();
    while (pos < n) {
        const qsizetype before = pos;
        QByteArray field = readField(line, pos);
        if (!onField(std::move(field), before, pos))
            return;
        skip();
        if (pos < n && line.at(pos) == ',') {
            ++pos;
            skip();
        }
        if (pos == before) // cannot happen; keeps the loop finite whatever the input
            ++pos;
    }
}

void fillRow(const LineText& line, Row& row) {
    for (auto& cell : row)
        cell.clear();
    qsizetype next = 0; // the first cell still empty
    // Fields past the last cell are not read: nothing of them is kept.
    if (row.isEmpty())
        return;
    forEachField(line, [&](QByteArray field, qsizetype, qsizetype) {
        row[next++] = field.isEmpty() ? QByteArrayLiteral(" ") : std::move(field);
        return next < row.size();
    });
}

} // namespace

void CommaLineToRow(const QByteArray& line, Row& row) {
    fillRow(LineText(line, false), row);
}

void ListLineToRow(QByteArrayView line, Row& row, const QByteArray* owner) {
    fillRow(LineText(line, true, owner), row);
}

QByteArray ReplaceCommaField(const QByteArray& line, int field, const QByteArray& text) {
    // Read as the lists read it, with a comma appended, so that a last field left empty counts.
    int count = 0;
    qsizetype start = -1, end = -1, lastEnd = 0;
    forEachField(LineText(line, true), [&](const QByteArray&, qsizetype from, qsizetype to) {
        if (count++ == field) {
            start = from;
            end = to;
        }
        lastEnd = to;
        return true;
    });
    const QByteArray written = RowToCommaLine(Row{text});
    if (start >= 0)
        return line.left(start) + written + (end < line.size() ? line.mid(end) : QByteArray());
    // Past the last field: the missing ones go before any NUL, which ends what is read.
    const qsizetype nul = line.indexOf('\0');
    const qsizetype at = nul < 0 ? line.size() : nul;
    const bool separated = count > 0 && line.mid(lastEnd, at - lastEnd).contains(',');
    const qsizetype commas = field - count + (count > 0 && !separated ? 1 : 0);
    return line.left(at) + QByteArray(commas, ',') + written + line.mid(at);
}

QByteArray FirstCommaField(const QByteArray& line) {
    const LineText text(line, false);
    qsizetype pos = 0;
    while (pos < text.n && isSkippable(static_cast<unsigned char>(text.at(pos))))
        ++pos;
    if (pos >= text.n)
        return QByteArray();
    return readField(text, pos);
}
