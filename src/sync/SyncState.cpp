#include "sync/SyncState.h"

#include "data/CsvLine.h"
#include "data/TextFile.h"

QString SyncStatePath(const QString& dataFolder) {
    return dataFolder + QStringLiteral("sync-state.csv");
}

namespace {
constexpr int Columns = 7;
// A third cell of the anniversaries' line, which earlier versions pass over.
constexpr char YearsChecked[] = "years-checked";
} // namespace

SyncState SyncState::load(const QString& dataFolder, FileStamp* stamp) {
    SyncState state;
    for (const QByteArray& line : LoadTextLines(SyncStatePath(dataFolder), stamp)) {
        Row row(Columns);
        CommaLineToRow(line + ',', row);
        for (QByteArray& cell : row)
            cell = cell.trimmed();
        const QByteArray& kind = row.at(0);
        if (kind == "calendar") {
            state.calendar = row.at(1);
        } else if (kind == "token") {
            state.syncToken = row.at(1);
        } else if (kind == "years") {
            state.firstYear = row.at(1).toInt();
            state.lastYear = row.at(2).toInt();
        } else if (kind == "report") {
            state.noSyncReport = row.at(1) == "calendar-query";
        } else if (kind == "anniversaries") {
            state.anniversariesSynced = row.at(1) == "on";
            state.anniversaryYearsChecked = row.at(2) == YearsChecked;
        } else if ((kind == "event" || kind == "anniversary") && !row.at(1).isEmpty()) {
            SyncRecord& record = (kind == "event" ? state.records : state.anniversaries)[row.at(1)];
            record.href = row.at(1);
            record.etag = row.at(2);
            record.uid = row.at(3);
            if (!row.at(5).isEmpty())
                record.occurrences << SyncOccurrence{row.at(6), row.at(4), row.at(5)};
        }
    }
    return state;
}

QString SyncState::save(const QString& dataFolder) const {
    TextLines lines;
    lines << RowToCommaLine({"calendar", calendar});
    if (!syncToken.isEmpty())
        lines << RowToCommaLine({"token", syncToken});
    if (noSyncReport)
        lines << RowToCommaLine({"report", "calendar-query"});
    if (firstYear > 0)
        lines << RowToCommaLine(
            {"years", QByteArray::number(firstYear), QByteArray::number(lastYear)});
    if (anniversariesSynced)
        lines << (anniversaryYearsChecked ? RowToCommaLine({"anniversaries", "on", YearsChecked})
                                          : RowToCommaLine({"anniversaries", "on"}));
    for (const auto& [kind, map] : {std::pair{"event", &records}, {"anniversary", &anniversaries}})
        for (const SyncRecord& record : *map) {
            // An event without lines here (one outside the years shown) still keeps its etag.
            if (record.occurrences.isEmpty())
                lines << RowToCommaLine({kind, record.href, record.etag, record.uid});
            for (const SyncOccurrence& o : record.occurrences)
                lines << RowToCommaLine(
                    {kind, record.href, record.etag, record.uid, o.dayKey, o.hash, o.occurrence});
        }
    // A sync that changed nothing leaves the file as it is: no write, no fsync, no backup.
    if (LoadTextLines(SyncStatePath(dataFolder)) == lines)
        return {};
    return SaveTextLines(SyncStatePath(dataFolder), lines);
}
