#include "reminders/ShownReminders.h"

#include "data/TextFile.h"

#include <QDir>

#include <algorithm>

ShownReminders::ShownReminders(const QString& dataFolder)
    : m_path(dataFolder.isEmpty() ? QString() : FilePath(dataFolder)) {}

QString ShownReminders::FilePath(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("reminded.csv"));
}

void ShownReminders::load() {
    m_shown.clear();
    for (const QByteArray& line : LoadTextLines(m_path)) {
        const qsizetype comma = line.indexOf(',');
        const QDate date =
            QDate::fromString(QString::fromLatin1(line.left(comma)), QStringLiteral("yyyyMMdd"));
        const QByteArray key = line.mid(comma + 1).trimmed();
        if (comma == 8 && date.isValid() && !key.isEmpty())
            m_shown.insert(key, date);
    }
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
        lines.append(date.toString(QStringLiteral("yyyyMMdd")).toLatin1() + ',' + key);
    }
    return SaveTextLines(m_path, lines);
}
