#pragma once

#include <QString>

// An exclusive lock on a file, made when missing. Taking it is one atomic step, and the system
// drops it when the process ends however it ends, so a crash leaves no stale lock behind.
class FileLock {
public:
    // Blocked: something that is no file (a folder) stands where the lock file belongs.
    // Unavailable: no lock file could be made or locked.
    enum Outcome { Acquired, HeldElsewhere, Unavailable, Blocked };

    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // With wait, waits while another process holds it.
    Outcome take(const QString& path, bool wait = false);
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
