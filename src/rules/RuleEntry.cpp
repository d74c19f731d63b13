#include "rules/RuleEntry.h"

#include "data/Codec.h"
#include "data/KalendoError.h"
#include "rules/ComType.h"

#include <algorithm>
#include <optional>
#include <tuple>

namespace {

std::optional<int> readInt(const QByteArray& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || text.trimmed().isEmpty())
        return std::nullopt;
    return value;
}

int intOrThrow(const QByteArray& text, int low, int high) {
    const auto value = readInt(text);
    // A value outside the editor's choices is as unreadable to it as a non-number.
    if (!value || *value < low || *value > high)
        throw KalendoError::notInteger(Codec::toUnicode(text));
    return *value;
}

QByteArray cellAt(const Row& row, int column) {
    return column < row.size() ? row.at(column) : QByteArray();
}

} // namespace

int NearestLeapYear(int year) {
    for (int distance = 0;; ++distance) {
        if (IsLeapYear(year + distance))
            return year + distance;
        if (IsLeapYear(year - distance))
            return year - distance;
    }
}

RuleEntry RuleEntry::fromRow(const Row& row, const QDate& today) {
    const QByteArray date = cellAt(row, 0);
    RuleEntry entry;
    entry.weekNumber = intOrThrow(cellAt(row, 2), 0, 5);
    const auto month = readInt(date.left(2));
    if (!month)
        throw KalendoError::notInteger(Codec::toUnicode(date.left(2)));
    if (*month < 1 || *month > 12)
        throw KalendoError::notDate(Codec::toUnicode(date));
    entry.monthIndex = *month - 1;
    if (!entry.isFixedDate()) {
        entry.weekday = intOrThrow(cellAt(row, 3), 0, 6);
        entry.date = today;
        return entry;
    }
    const int day = date.size() == 5 && date.at(2) == '/' ? readInt(date.mid(3)).value_or(0) : 0;
    int year = today.year();
    if (*month == 2 && day == 29 && !IsLeapYear(year))
        year = NearestLeapYear(year);
    entry.date = QDate(year, *month, day);
    if (!entry.date.isValid())
        throw KalendoError::notDate(Codec::toUnicode(date));
    return entry;
}

QByteArray RuleEntry::dateText() const {
    if (isFixedDate())
        return date.toString(QStringLiteral("MM/dd")).toLatin1();
    return QString::asprintf("%.2d/--", monthIndex + 1).toLatin1();
}

QDate AnniversaryDateFromText(const QByteArray& text) {
    const QByteArray trimmed = text.trimmed();
    QDate date;
    const QList<QByteArray> parts = trimmed.split('/');
    if (parts.size() == 3) {
        const auto y = readInt(parts.at(0));
        const auto m = readInt(parts.at(1));
        const auto d = readInt(parts.at(2));
        if (y && m && d && parts.at(0).size() == 4)
            date = QDate(*y, *m, *d);
    }
    if (!date.isValid())
        throw KalendoError::notDate(Codec::toUnicode(text));
    return date;
}

QDate AnniversaryDayFromText(const QByteArray& text, bool& noYear) {
    QByteArray date = text.trimmed();
    noYear = date.startsWith(AnniversaryNoYear);
    if (noYear)
        date.replace(0, 4, QByteArray::number(AnniversaryNoYearIn));
    try {
        return AnniversaryDateFromText(date);
    } catch (const KalendoError&) {
        throw KalendoError::notDate(Codec::toUnicode(text));
    }
}

QByteArray AnniversaryDateText(const QDate& date) {
    return date.toString(QStringLiteral("yyyy/MM/dd")).toLatin1();
}

QByteArray AnniversaryMonthDayText(const QByteArray& stored) {
    const QByteArray date = stored.trimmed();
    if (!date.startsWith(AnniversaryNoYear))
        return {};
    bool noYear = false;
    try {
        AnniversaryDayFromText(stored, noYear);
    } catch (const KalendoError&) {
        return {};
    }
    return date.mid(date.indexOf('/') + 1);
}

void SortAnniversaryRows(StringGrid& grid, int dateColumn) {
    const int first = grid.fixedRows();
    if (grid.rowCount() - first <= 1 || dateColumn < 0 || dateColumn >= grid.columnCount())
        return;
    // (group, month, day): 0 dated, 1 without a year, 2 unreadable without a year, 3 no date.
    using Key = std::tuple<int, int, int>;
    const auto keyOf = [dateColumn](const Row& row) -> Key {
        const QByteArray& date = row.at(dateColumn);
        if (date.trimmed().isEmpty())
            return {3, 0, 0};
        if (!date.trimmed().startsWith(AnniversaryNoYear))
            return {0, 0, 0};
        bool noYear = false;
        try {
            const QDate day = AnniversaryDayFromText(date, noYear);
            return {1, day.month(), day.day()};
        } catch (const KalendoError&) {
            return {2, 0, 0};
        }
    };
    QList<std::pair<Key, Row>> rows;
    for (int r = first; r < grid.rowCount(); ++r)
        rows.append({keyOf(grid.row(r)), grid.row(r)});
    std::stable_sort(rows.begin(), rows.end(), [dateColumn](const auto& x, const auto& y) {
        if (x.first != y.first)
            return x.first < y.first;
        const int group = std::get<0>(x.first);
        if (group == 0)
            return CompareGridText(x.second.at(dateColumn), y.second.at(dateColumn)) > 0;
        return group == 2 && CompareGridText(x.second.at(dateColumn), y.second.at(dateColumn)) < 0;
    });
    for (int i = 0; i < rows.size(); ++i)
        grid.row(first + i) = rows.at(i).second;
}
