#pragma once

#include "data/FileLock.h"

#include <QString>

// One running instance per program file name and user, and one per data folder whoever runs
// it. Each rule is an exclusive lock on a file: for the program name in the user's runtime
// folder, for the data folder inside that folder itself, so that two starts that see different
// runtime folders still meet at the same lock. Taking a lock is one atomic step, and the system
// drops it when the process ends however it ends, so a crash leaves no stale lock behind.
class InstanceGuard {
public:
    // Blocked: something that is no file (a folder) stands where the lock file belongs, so the
    // guard can be neither made nor taken.
    using Outcome = FileLock::Outcome;
    static constexpr Outcome Acquired = FileLock::Acquired;
    static constexpr Outcome HeldElsewhere = FileLock::HeldElsewhere;
    static constexpr Outcome Unavailable = FileLock::Unavailable;
    static constexpr Outcome Blocked = FileLock::Blocked;

    // Unavailable (no lock file could be made) lets the program run without that guard.
    Outcome acquire(const QString& programFileName);
    // A missing data folder is Unavailable: nothing can be saved into it either.
    Outcome acquireDataFolder(const QString& dataFolder);

    // The lock file of a program file name, and that of a data folder.
    static QString LockPath(const QString& programFileName);
    static QString DataFolderLockPath(const QString& dataFolder);

private:
    FileLock m_lock;
};

// The file name of the running program, as the system reports its path, folder excluded.
QString ProgramFileName();
