#include "rules/StringGrid.h"

#include <algorithm>

StringGrid::StringGrid(int columns, int rows, int fixedRows, int fixedColumns)
    : m_columns(std::max(columns, 1)), m_fixedRows(std::max(fixedRows, 0)),
      m_fixedColumns(std::max(fixedColumns, 0)), m_currentRow(m_fixedRows) {
    setRowCount(rows);
}

void StringGrid::setRowCount(int rows) {
    rows = std::max(rows, m_fixedRows);
    while (m_rows.size() > rows)
        m_rows.removeLast();
    while (m_rows.size() < rows)
        m_rows.append(Row(m_columns));
    setCurrentRow(m_currentRow);
}

const QByteArray& StringGrid::cell(int column, int row) const {
    return m_rows.at(row).at(column);
}

void StringGrid::setCell(int column, int row, const QByteArray& text) {
    m_rows[row][column] = text;
}

void StringGrid::setRow(int row, const Row& cells) {
    Row& target = m_rows[row];
    for (int c = 0; c < m_columns; ++c)
        target[c] = c < cells.size() ? cells.at(c) : QByteArray();
}

void StringGrid::clearRow(int row) {
    for (auto& cell : m_rows[row])
        cell.clear();
}

void StringGrid::insertRow(int index) {
    index = std::clamp(index, m_fixedRows, int(m_rows.size()));
    m_rows.insert(index, Row(m_columns));
}

void StringGrid::removeRow(int index) {
    if (index < m_fixedRows || index >= m_rows.size())
        return;
    m_rows.removeAt(index);
    setCurrentRow(m_currentRow);
}

void StringGrid::moveRow(int from, int to) {
    const int last = int(m_rows.size()) - 1;
    if (from < m_fixedRows || to < m_fixedRows || from > last || to > last || from == to)
        return;
    m_rows.move(from, to);
}

void StringGrid::setCurrentRow(int row) {
    const int last = std::max(int(m_rows.size()) - 1, m_fixedRows);
    m_currentRow = std::clamp(row, m_fixedRows, last);
}

int CompareGridText(const QByteArray& a, const QByteArray& b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a.at(i));
        auto y = static_cast<unsigned char>(b.at(i));
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void SortGridRows(StringGrid& grid, int column, bool descending) {
    const int first = grid.fixedRows();
    const int count = grid.rowCount() - first;
    if (count <= 0 || column < 0 || column >= grid.columnCount())
        return;
    QList<Row> rows;
    rows.reserve(count);
    for (int r = first; r < grid.rowCount(); ++r)
        rows.append(grid.row(r));
    std::stable_sort(rows.begin(), rows.end(), [column](const Row& x, const Row& y) {
        return CompareGridText(x.at(column), y.at(column)) < 0;
    });
    for (int i = 0; i < count; ++i)
        grid.row(first + i) = descending ? rows.at(count - 1 - i) : rows.at(i);
}
