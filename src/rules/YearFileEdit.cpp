#include "rules/YearFileEdit.h"

#include "data/KalendoError.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/ListFile.h"

QStringList EditYearFiles(const QString& dataFolder, const QList<int>& years,
                          const EditYearRows& edit) {
    QStringList messages;
    for (const int year : years) {
        const QString path = ScheduleFilePath(dataFolder, year);
        // A program that keeps writing the file gives way after a few tries.
        constexpr int Tries = 5;
        for (int attempt = 0;; ++attempt) {
            ListFile file;
            YearRows rows{file.load(path, ScheduleColumn::Count), {}};
            edit(year, rows);
            const TextLines lines = file.lines(rows.rows);
            QString backupFailure;
            try {
                backupFailure = SaveTextLines(path, lines, &file.stamp());
            } catch (const FileChangedError&) {
                if (attempt + 1 < Tries)
                    continue;
                throw KalendoError(
                    QStringLiteral(
                        "他のプログラムが書き込みを続けているため、保存できませんでした") +
                    QLatin1Char('\n') + path);
            }
            if (!backupFailure.isEmpty())
                messages << backupFailure;
            QList<KnownIdentity> known;
            for (auto it = rows.known.cbegin(); it != rows.known.cend(); ++it)
                if (it.key() >= 0 && it.key() < lines.size() && !it->uid.isEmpty())
                    known << KnownIdentity{lines.at(it.key()), *it};
            messages << RecordYearIdentities(dataFolder, year, known);
            break;
        }
    }
    return messages;
}
