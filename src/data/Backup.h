#pragma once

#include <QDate>
#include <QString>

// Earlier versions of the data files, in backup/ inside the data folder: before a save replaces
// a file, the version it replaces is copied to backup/<yyyy-MM-dd>/<file name>. The first save
// of a day keeps the state before that day's work; later saves that day keep nothing more. The
// newest BackupsKept copies of each file stay, older ones are removed.
inline constexpr int BackupsKept = 14;
inline const QString BackupFolderName = QStringLiteral("backup");

// Keeps the file at path (which exists) as the day's backup. Never throws: a backup that cannot
// be written must not stop the save, so the failure comes back as a message for the user
// (empty when the copy was kept or the day already had one).
QString KeepBackup(const QString& path, const QDate& day = QDate::currentDate());

// Removes what backups cut short left in backup/: the hidden folder a new day's copy is made
// in, and a day folder left empty. Only call it while no other process can be saving in the
// data folder.
void RemoveLeftoverBackups(const QString& dataFolder);

// Copies a file byte for byte; the copy appears whole or not at all, with the given permissions
// (the source's when none are given). Throws KalendoError on failure.
void CopyFileAtomically(const QString& from, const QString& to, int permissions = -1);
