#include "rules/ListFile.h"

Row LineRow(QByteArrayView line, int columns, const QByteArray* owner) {
    Row row(columns);
    ListLineToRow(line, row, owner);
    return row;
}

QList<Row> ListFile::load(const QString& path, int columns) {
    m_read.clear();
    m_columns = columns;
    const TextLines lines = LoadTextLines(path, &m_stamp);
    const QList<Row> rows = take(lines);
    for (qsizetype i = 0; i < rows.size(); ++i)
        m_read.append({rows.at(i), lines.at(i)});
    return rows;
}

QList<Row> ListFile::take(const TextLines& lines) {
    QList<Row> rows;
    rows.reserve(lines.size());
    for (const QByteArray& line : lines)
        rows.append(LineRow(line, m_columns));
    return rows;
}

ChangedFileSave ListFile::save(const QString& path, const QList<Row>& rows, const QByteArray& tail,
                               QList<Row>& shown) {
    const TextLines mine = lines(rows, tail);
    ChangedFileSave result;
    try {
        result.backupFailure = SaveTextLines(path, mine, &m_stamp);
        return result;
    } catch (const FileChangedError&) {
    }
    TextLines before;
    before.reserve(m_read.size());
    for (const auto& read : m_read)
        before.append(read.second);
    result = SaveOverChangedFile(path, LineChanges(before, mine), [&](const AddLine& add) {
        for (const QByteArray& line : mine)
            add(line);
    });
    if (result.outcome == ChangedFileSave::Conflict) {
        const TextLines now = result.file.toLines();
        const QList<Row> nowRows = take(now);
        m_read.clear();
        for (qsizetype i = 0; i < nowRows.size(); ++i)
            m_read.append({nowRows.at(i), now.at(i)});
        m_stamp = result.file.stamp();
        shown = take(result.merged);
    }
    return result;
}

void ReadLines::add(const Row& row, const QByteArray& line) {
    const qsizetype i = m_lines.size();
    m_lines.append(line);
    m_taken.append(false);
    m_exact[row].append(i);
    if (m_looseColumn >= 0)
        m_loose[loose(row)].append(i);
}

Row ReadLines::loose(Row row) const {
    if (m_looseColumn < row.size())
        row[m_looseColumn].clear();
    return row;
}

std::optional<qsizetype> ReadLines::takeFrom(QHash<Row, QList<qsizetype>>& lines, const Row& row) {
    auto it = lines.find(row);
    if (it == lines.end())
        return std::nullopt;
    while (!it->isEmpty()) {
        const qsizetype i = it->takeFirst();
        if (!m_taken[i]) {
            m_taken[i] = true;
            return i;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> ReadLines::take(const Row& row) {
    if (const auto i = takeFrom(m_exact, row))
        return m_lines[*i];
    return std::nullopt;
}

std::optional<QByteArray> ReadLines::takeRenumbered(const Row& row) {
    if (m_looseColumn < 0 || m_looseColumn >= row.size())
        return std::nullopt;
    const auto i = takeFrom(m_loose, loose(row));
    if (!i)
        return std::nullopt;
    // A line whose bytes cannot take the new cell as a field of its own (a quote left open
    // swallows the rest) is written from the row instead, so that it still reads as the row.
    QByteArray line = ReplaceCommaField(m_lines[*i], m_looseColumn, row[m_looseColumn]);
    if (LineRow(line, int(row.size())) != row)
        return std::nullopt;
    return line;
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
