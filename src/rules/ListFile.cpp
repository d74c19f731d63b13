#include "rules/ListFile.h"

Row LineRow(QByteArrayView line, int columns) {
    Row row(columns);
    QByteArray withComma;
    withComma.reserve(line.size() + 1);
    withComma.append(line).append(',');
    CommaLineToRow(withComma, row);
    return row;
}

QList<Row> ListFile::load(const QString& path, int columns) {
    m_read.clear();
    QList<Row> rows;
    for (const QByteArray& line : LoadTextLines(path)) {
        const Row row = LineRow(line, columns);
        rows.append(row);
        m_read.append({row, line});
    }
    return rows;
}

std::optional<QByteArray> ReadLines::take(const Row& row) {
    auto it = m_lines.find(row);
    if (it == m_lines.end() || it->isEmpty())
        return std::nullopt;
    return it->takeFirst();
}

TextLines ListFile::lines(const QList<Row>& rows, const QByteArray& tail) const {
    ReadLines unused;
    for (const auto& [row, line] : m_read)
        unused.add(row, line);
    TextLines out;
    out.reserve(rows.size());
    for (const Row& row : rows) {
        if (auto line = unused.take(row))
            out.append(!tail.isEmpty() && line->count(',') < 2 ? *line + tail : *line);
        else
            out.append(RowToCommaLine(row) + tail);
    }
    return out;
}

int FindLineRow(const StringGrid& grid, QByteArrayView line) {
    const Row row = LineRow(line, grid.columnCount());
    for (int r = grid.fixedRows(); r < grid.rowCount(); ++r)
        if (grid.row(r) == row)
            return r;
    return -1;
}

void FillListRows(StringGrid& grid, const QList<Row>& rows) {
    const int first = grid.fixedRows();
    grid.setRowCount(first);
    grid.setRowCount(first + std::max(int(rows.size()), 1));
    for (int i = 0; i < rows.size(); ++i)
        grid.setRow(first + i, rows.at(i));
    grid.setCurrentRow(first);
}

QList<Row> ListFile::entries(const StringGrid& grid, int keyColumn) const {
    QHash<Row, int> unclaimed;
    for (const auto& read : m_read)
        ++unclaimed[read.first];
    QList<Row> rows;
    for (int r = grid.fixedRows(); r < grid.rowCount(); ++r) {
        const auto it = unclaimed.find(grid.row(r));
        if (it != unclaimed.end() && *it > 0)
            --*it;
        else if (grid.cell(keyColumn, r).trimmed().isEmpty())
            continue;
        rows.append(grid.row(r));
    }
    return rows;
}

void DeleteListRow(StringGrid& grid) {
    if (grid.rowCount() - grid.fixedRows() <= 1)
        grid.clearRow(grid.fixedRows());
    else
        grid.removeRow(grid.currentRow());
}

void PrepareNewListRow(StringGrid& grid, int titleColumn) {
    const int current = grid.currentRow();
    if (grid.cell(titleColumn, current).trimmed().isEmpty())
        return;
    grid.insertRow(current);
    grid.setCurrentRow(current);
}
