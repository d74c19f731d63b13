#include "data/CsvLine.h"

#include "data/Codec.h"

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

// Reads one field starting at pos; returns it and moves pos past it.
QByteArray readField(const QByteArray& line, qsizetype& pos, qsizetype n) {
    QByteArray field;
    if (line.at(pos) == '"') {
        ++pos;
        while (pos < n) {
            if (Codec::isDoubleByteAt(line, pos)) {
                field.append(line.mid(pos, 2));
                pos += 2;
                continue;
            }
            const char c = line.at(pos);
            if (c == '"') {
                if (pos + 1 < n && line.at(pos + 1) == '"') {
                    field.append('"');
                    pos += 2;
                    continue;
                }
                ++pos; // the closing quote
                break;
            }
            field.append(c);
            ++pos;
        }
        return field;
    }
    // An unquoted field runs to the next comma: a blank inside it is the text's own, as a hand
    // edit writes "Zoom 会議"; blanks before the comma are no part of it.
    const qsizetype start = pos;
    qsizetype end = pos;
    while (pos < n) {
        if (Codec::isDoubleByteAt(line, pos)) {
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
    return line.mid(start, end - start);
}

} // namespace

QByteArray RowToCommaLine(const Row& row) {
    if (row.size() == 1 && row.at(0).isEmpty())
        return QByteArrayLiteral("\"\"");
    QByteArray line;
    for (qsizetype c = 0; c < row.size(); ++c) {
        if (c > 0)
            line.append(',');
        const QByteArray& cell = row.at(c);
        if (needsQuotes(cell)) {
            line.append('"');
            QByteArray inner = cell;
            line.append(inner.replace("\"", "\"\""));
            line.append('"');
        } else {
            line.append(cell);
        }
    }
    return line;
}

namespace {

// Calls onField(field, start, end) for each field of the line in order, by CommaLineToRow's
// reading: start..end are the field's bytes in the line as written (quotes included).
template <typename OnField> void forEachField(const QByteArray& line, OnField&& onField) {
    qsizetype pos = 0;
    // A NUL byte ends the text, as it always has for this reading.
    const qsizetype nul = line.indexOf('\0');
    const qsizetype n = nul < 0 ? line.size() : nul;
    auto skip = [&] {
        while (pos < n && isSkippable(static_cast<unsigned char>(line.at(pos))))
            ++pos;
    };
    skip();
    while (pos < n) {
        const qsizetype before = pos;
        QByteArray field = readField(line, pos, n);
        onField(std::move(field), before, pos);
        skip();
        if (pos < n && line.at(pos) == ',') {
            ++pos;
            skip();
        }
        if (pos == before) // cannot happen; keeps the loop finite whatever the input
            ++pos;
    }
}

} // namespace

void CommaLineToRow(const QByteArray& line, Row& row) {
    for (auto& cell : row)
        cell.clear();
    qsizetype next = 0; // the first cell still empty
    forEachField(line, [&](QByteArray field, qsizetype, qsizetype) {
        if (next < row.size())
            row[next++] = field.isEmpty() ? QByteArrayLiteral(" ") : std::move(field);
    });
}

QByteArray ReplaceCommaField(const QByteArray& line, int field, const QByteArray& text) {
    // Read as the lists read it, with a comma appended, so that a last field left empty counts.
    const QByteArray withComma = line + ',';
    int count = 0;
    qsizetype start = -1, end = -1, lastEnd = 0;
    forEachField(withComma, [&](const QByteArray&, qsizetype from, qsizetype to) {
        if (count++ == field) {
            start = from;
            end = to;
        }
        lastEnd = to;
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
    const qsizetype nul = line.indexOf('\0');
    const qsizetype n = nul < 0 ? line.size() : nul;
    qsizetype pos = 0;
    while (pos < n && isSkippable(static_cast<unsigned char>(line.at(pos))))
        ++pos;
    if (pos >= n)
        return QByteArray();
    return readField(line, pos, n);
}
