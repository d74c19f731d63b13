#pragma once

#include "rules/EntryIdentity.h"
#include "rules/StringGrid.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

// A year's schedule rows as a program-driven change (an import, a sync) finds and leaves them.
struct YearRows {
    QList<Row> rows;
    // Identities the change knows for rows it wrote, by their index in rows once it is done.
    QMap<qsizetype, EntryIdentity> known;
};

// Changes the rows of the year's file as it is now; the rows given are the file's, in order.
using EditYearRows = std::function<void(int year, YearRows& rows)>;

// Writes each year's file as edit leaves its rows, then its identity file (RecordYearIdentities).
// A row still as read keeps its line byte for byte. Each file is replaced only while it is still
// the one read (the stamped save of the lists); when another program wrote it in between, the
// file is read again and edit made over that version, so that neither side's lines are lost.
// A file that keeps changing is refused with a KalendoError naming it, as is a file that cannot
// be read or written; the years saved before it stay saved. Returns the messages to tell
// (backups or identities not kept).
QStringList EditYearFiles(const QString& dataFolder, const QList<int>& years,
                          const EditYearRows& edit);
