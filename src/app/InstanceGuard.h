#pragma once

#include <QString>

// One running instance per program file name and user: an exclusive lock on a file named after
// the program file, in the user's runtime folder. Taking it is one atomic step, and the system
// drops it when the process ends however it ends, so a crash leaves no stale lock behind.
class InstanceGuard {
public:
    enum Outcome { Acquired, HeldElsewhere, Unavailable };

    InstanceGuard() = default;
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Unavailable (no lock file could be made) lets the program run without a guard.
    Outcome acquire(const QString& programFileName);

    // The lock file of a program file name.
    static QString LockPath(const QString& programFileName);

private:
    int m_fd = -1;
};

// The file name of the running program, as the system reports its path, folder excluded.
QString ProgramFileName();
