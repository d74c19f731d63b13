// The grid reading of a line and its writing: any line fills a row of the row's own size, a
// row read from a line reads the same after being written again, and any row of cells
// written and read back gives the same cells (an empty cell comes back as one blank).
#include "FuzzSupport.h"
#include "data/CsvLine.h"

#include <cstdint>

namespace {

QString show(const Row& row) {
    QString out;
    for (const QByteArray& cell : row)
        out += QString::fromLatin1(cell.toHex()) + QLatin1Char('|');
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses the width of the grid row, the rest is the line.
    const int columns = 1 + data[0] % 12;
    const QByteArray line(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));

    Row row(columns);
    CommaLineToRow(line, row);
    FUZZ_CHECK(row.size() == columns, QStringLiteral("row changed size"));
    for (const QByteArray& cell : row)
        FUZZ_CHECK(!cell.contains('\0'), QStringLiteral("NUL reached a cell"));

    // The first cell is the line's first field as FirstCommaField reads it.
    const QByteArray first = FirstCommaField(line);
    FUZZ_CHECK(row.at(0) == first || (first.isEmpty() && row.at(0) == " "),
               show(row) + QStringLiteral(" first ") + QString::fromLatin1(first.toHex()));

    // Once read, a row is a fixed point of writing and reading.
    const QByteArray rewritten = RowToCommaLine(row);
    Row back(columns);
    CommaLineToRow(rewritten, back);
    FUZZ_CHECK(asRead(back) == asRead(row), show(row) + QStringLiteral(" -> ") + show(back));

    // The same bytes cut at NUL bytes as the cells of a row (a cell never holds a NUL).
    const Row cells = line.split('\0');
    const QByteArray written = RowToCommaLine(cells);
    // Read as the list windows read: with one comma appended, so that an empty last field
    // still fills its cell.
    Row read(cells.size());
    CommaLineToRow(written + ',', read);
    FUZZ_CHECK(read == asRead(cells), show(cells) + QStringLiteral(" -> ") + show(read));

    // The lists' reading without a copy of the line is that reading of the line.
    Row listed(columns);
    ListLineToRow(line, listed, &line);
    Row appended(columns);
    CommaLineToRow(line + ',', appended);
    FUZZ_CHECK(listed == appended, show(appended) + QStringLiteral(" listed ") + show(listed));
    return 0;
}
