#include "sync/LocalEntries.h"

#include "data/Codec.h"
#include "data/TextFile.h"
#include "exchange/TextFit.h"
#include "rules/ComType.h"
#include "rules/ListFile.h"
#include "rules/YearFileEdit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>

namespace {

// The day of a key "yyyyMMdd", or an invalid date.
QDate dayOfKey(const QByteArray& key) {
    if (key.size() != 8)
        return {};
    int value[3] = {0, 0, 0};
    for (int i = 0; i < 8; ++i) {
        const char c = key.at(i);
        if (c < '0' || c > '9')
            return {};
        int& part = value[i < 4 ? 0 : i < 6 ? 1 : 2];
        part = part * 10 + (c - '0');
    }
    return QDate(value[0], value[1], value[2]);
}

LocalEntry entryOf(const Row& row, int year, bool& ok) {
    const QByteArray key = row.at(ScheduleColumn::Date).trimmed();
    const QDate day = dayOfKey(key);
    LocalEntry e;
    e.day = day;
    e.entry = {row.at(ScheduleColumn::Start).trimmed(), row.at(ScheduleColumn::End).trimmed(),
               row.at(ScheduleColumn::Title).trimmed(), row.at(ScheduleColumn::Place).trimmed(),
               row.at(ScheduleColumn::Memo).trimmed()};
    ok = day.isValid() && day.year() == year && !e.entry.title.isEmpty();
    if (ok)
        e.hash = LocalEntryHash(day, e.entry);
    return e;
}

QList<int> yearFiles(const QString& dataFolder) {
    static const QRegularExpression name(QStringLiteral("^[0-9]{4}\\.csv$"));
    QList<int> years;
    for (const QString& file : QDir(dataFolder).entryList({QStringLiteral("*.csv")}, QDir::Files))
        if (name.match(file).hasMatch())
            years << file.left(4).toInt();
    return years;
}

// Whether the field would be stored as it is: no comma, no control byte, within its bytes.
bool fitsAsIs(const QByteArray& text, int maxBytes) {
    if (text.size() > maxBytes)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (Codec::isDoubleByteAt(text, i)) {
            ++i;
            continue;
        }
        const auto b = static_cast<unsigned char>(text.at(i));
        if (b < 0x20 || b == 0x7F || b == ',')
            return false;
    }
    return true;
}

} // namespace

QByteArray FittedField(const QByteArray& text, int maxBytes) {
    const QByteArray trimmed = text.trimmed();
    if (fitsAsIs(trimmed, maxBytes))
        return trimmed;
    return FitToCp932(Codec::toUnicode(trimmed), maxBytes).bytes;
}

QByteArray DayKeyOf(const QDate& day) {
    int y = 0, m = 0, d = 0;
    day.getDate(&y, &m, &d);
    if (!day.isValid() || y < 1 || y > 9999)
        return day.toString(QStringLiteral("yyyyMMdd")).toLatin1();
    char key[8];
    for (int i = 3; i >= 0; --i, y /= 10)
        key[i] = char('0' + y % 10);
    key[4] = char('0' + m / 10);
    key[5] = char('0' + m % 10);
    key[6] = char('0' + d / 10);
    key[7] = char('0' + d % 10);
    return QByteArray(key, 8);
}

QByteArray LocalEntryHash(const QDate& day, const DayEntry& entry) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QByteArray& part : {DayKeyOf(day), entry.start.trimmed(), entry.end.trimmed(),
                                   FittedField(entry.title, ScheduleFieldBytes::Title),
                                   FittedField(entry.place, ScheduleFieldBytes::Place),
                                   FittedField(entry.memo, ScheduleFieldBytes::Memo)}) {
        hash.addData(part);
        hash.addData(QByteArrayView("\0", 1));
    }
    return hash.result().toHex().left(32);
}

QList<LocalEntry> ReadLocalEntries(const QString& dataFolder, bool identities) {
    QList<LocalEntry> entries;
    for (const int year : yearFiles(dataFolder)) {
        if (!identities) {
            TextBuffer lines;
            lines.load(ScheduleFilePath(dataFolder, year));
            for (qsizetype i = 0; i < lines.size(); ++i) {
                bool ok = false;
                LocalEntry e = entryOf(LineRow(lines.line(i), ScheduleColumn::Count), year, ok);
                if (ok)
                    entries << e;
            }
            continue;
        }
        const YearIdentities ids = YearIdentities::read(dataFolder, year);
        for (qsizetype i = 0; i < ids.size(); ++i) {
            bool ok = false;
            LocalEntry e = entryOf(LineRow(ids.line(i), ScheduleColumn::Count), year, ok);
            e.identity = ids.identity(i);
            if (ok)
                entries << e;
        }
    }
    return entries;
}

QStringList ApplyLocalChanges(const QString& dataFolder, const LocalChanges& changes) {
    QList<int> years = changes.removals.keys();
    for (const int year : changes.additions.keys())
        if (!years.contains(year))
            years << year;
    return EditYearFiles(dataFolder, years, [&](int year, YearRows& file) {
        QList<Row>& rows = file.rows;
        QByteArrayList remove = changes.removals.value(year);
        for (qsizetype r = rows.size() - 1; r >= 0 && !remove.isEmpty(); --r) {
            bool ok = false;
            const LocalEntry e = entryOf(rows.at(r), year, ok);
            if (ok && remove.removeOne(e.hash))
                rows.removeAt(r);
        }
        QHash<QByteArray, int> lastNumber;
        for (const Row& row : rows) {
            int& number = lastNumber[row.at(ScheduleColumn::Date).trimmed()];
            number = std::max(number, row.at(ScheduleColumn::Number).trimmed().toInt());
        }
        for (const LocalEntry& e : changes.additions.value(year)) {
            const QByteArray key = DayKeyOf(e.day);
            const DayEntry& d = e.entry;
            rows << Row{
                key,   QByteArray::number(++lastNumber[key]), d.start, d.end, d.title, d.place,
                d.memo};
            file.known.insert(rows.size() - 1, e.identity);
        }
    });
}
