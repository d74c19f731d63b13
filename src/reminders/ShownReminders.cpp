#include "reminders/ShownReminders.h"

#include "data/CsvLine.h"
#include "data/TextFile.h"

#include <QDir>

#include <algorithm>

namespace {

const QByteArray SnoozeMark = "snooze";
const QString Stamp = QStringLiteral("yyyyMMddHHmmss");
const QString Day = QStringLiteral("yyyyMMdd");

// A snoozed reminder's fields, in the order they are written.
enum SnoozeField { Mark, At, Kind, Key, Date, Due, Passes, Start, End, Title, Place, Years, Count };

QByteArray stamp(const QDateTime& t) {
    return t.toString(Stamp).toLatin1();
}

QDateTime stamped(const QByteArray& field) {
    return QDateTime::fromString(QString::fromLatin1(field.trimmed()), Stamp);
}

QByteArray snoozeLine(const ShownReminders::Snoozed& s) {
    const Reminder& r = s.reminder;
    Row row(Count);
    row[Mark] = SnoozeMark;
    row[At] = stamp(s.at);
    row[Kind] = QByteArray::number(int(r.kind));
    row[Key] = r.key;
    row[Date] = r.date.toString(Day).toLatin1();
    row[Due] = stamp(r.due);
    row[Passes] = stamp(r.passes);
    row[Start] = r.start;
    row[End] = r.end;
    row[Title] = r.title;
    row[Place] = r.place;
    row[Years] = QByteArray::number(r.years);
    return RowToCommaLine(row);
}

// A line that is not a whole snoozed reminder (an edit by hand) is no reminder.
bool readSnooze(const QByteArray& line, ShownReminders::Snoozed& s) {
    Row row(Count);
    CommaLineToRow(line, row);
    for (QByteArray& field : row)
        field = field.trimmed();
    Reminder& r = s.reminder;
    bool kindOk = false;
    const int kind = row[Kind].toInt(&kindOk);
    s.at = stamped(row[At]);
    r.kind = Reminder::Kind(kind);
    r.key = row[Key];
    r.date = QDate::fromString(QString::fromLatin1(row[Date]), Day);
    r.due = stamped(row[Due]);
    r.passes = stamped(row[Passes]);
    r.start = row[Start];
    r.end = row[End];
    r.title = row[Title];
    r.place = row[Place];
    r.years = row[Years].toInt();
    return kindOk && kind >= Reminder::Timed && kind <= Reminder::Anniversary && s.at.isValid() &&
           !r.key.isEmpty() && r.date.isValid() && r.due.isValid() && r.passes.isValid();
}

} // namespace

ShownReminders::ShownReminders(const QString& dataFolder)
    : m_path(dataFolder.isEmpty() ? QString() : FilePath(dataFolder)) {}

QString ShownReminders::FilePath(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("reminded.csv"));
}

void ShownReminders::load() {
    m_shown.clear();
    m_snoozed.clear();
    for (const QByteArray& line : LoadTextLines(m_path)) {
        const qsizetype comma = line.indexOf(',');
        if (line.left(comma) == SnoozeMark) {
            Snoozed s;
            if (readSnooze(line, s))
                m_snoozed.append(s);
            continue;
        }
        const QDate date = QDate::fromString(QString::fromLatin1(line.left(comma)), Day);
        const QByteArray key = line.mid(comma + 1).trimmed();
        if (comma == 8 && date.isValid() && !key.isEmpty())
            m_shown.insert(key, date);
    }
}

QList<Reminder> ShownReminders::takeSnoozed(const QDateTime& now, const QDateTime& oldest) {
    QList<Reminder> due;
    for (auto it = m_snoozed.begin(); it != m_snoozed.end();) {
        if (it->at > now) {
            ++it;
            continue;
        }
        if (it->at >= oldest)
            due.append(it->reminder);
        it = m_snoozed.erase(it);
    }
    return due;
}

QString ShownReminders::save(const QDate& keepFrom) {
    QList<std::pair<QDate, QByteArray>> kept;
    for (auto it = m_shown.cbegin(); it != m_shown.cend(); ++it)
        if (it.value() >= keepFrom)
            kept.append({it.value(), it.key()});
    std::sort(kept.begin(), kept.end());
    TextLines lines;
    m_shown.clear();
    for (const auto& [date, key] : kept) {
        m_shown.insert(key, date);
        lines.append(date.toString(Day).toLatin1() + ',' + key);
    }
    for (const Snoozed& s : std::as_const(m_snoozed))
        lines.append(snoozeLine(s));
    return SaveTextLines(m_path, lines);
}
