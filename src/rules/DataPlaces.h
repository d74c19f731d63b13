#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Where the data folder can be. Portable: a folder client/ beside the program is used as it is,
// so a folder copied from another machine keeps working. Installed: the user's own folder,
// $XDG_DATA_HOME/kalendo/client/, made on first start from the data shipped with the program.
// Folder paths end with a separator.
struct DataPlaces {
    QString programFolder; // the running program's folder
    QString userFolder;    // the per-user data folder
    QString shippedFolder; // the shipped data: <prefix>/share/kalendo/shipped/, or the build's copy
};

// The places of the running program; needs the application object.
DataPlaces ProgramDataPlaces();

struct DataFolderChoice {
    QString folder;      // the data folder to use
    QString seedFolder;  // what a new data folder is filled from
    QString buildFolder; // client/ left beside a program in a build tree: moved into folder once
};

// A client/ beside the program is the data folder unless the user cannot write it (a copy
// installed for everyone; it then seeds the user's folder) or the program runs in a build tree,
// which must never hold data: deleting the build would delete it.
DataFolderChoice ChooseDataFolder(const DataPlaces& places);

// Makes the chosen folder ready: on first start it is made and filled whole (or the build
// tree's folder is moved into it), and holiday.csv follows the shipped one (UpdateShippedFile).
// Returns what the user must be told, nothing when all went as usual.
QStringList PrepareDataFolder(const DataFolderChoice& choice, const QString& shippedFolder);

// A file as a release shipped it: its size and its SHA-256 (hex). The size lets a copy of
// another size pass without being hashed.
struct ShippedVersion {
    qint64 size = 0;
    QByteArray sha256;
    bool operator==(const ShippedVersion&) const = default;
};

// Every holiday.csv a release has shipped.
extern const QList<ShippedVersion> ShippedHolidayVersions;

// Replaces userFile by shippedFile when it differs and is, byte for byte, one of the shipped
// versions (so the user never changed it). A changed or unknown copy is left alone. True when
// replaced; throws KalendoError when the replacement fails.
bool UpdateShippedFile(const QString& userFile, const QString& shippedFile,
                       const QList<ShippedVersion>& shippedVersions);
