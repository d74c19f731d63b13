#pragma once

#include <QByteArray>

#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs work in a forked child and returns what it reported, so that limits, a dropped user or
// a kill touch only the child. "child failed" when it did not finish normally.
inline QByteArray runInChild(const std::function<QByteArray()>& work) {
    int fds[2];
    if (pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        const QByteArray report = work();
        [[maybe_unused]] const auto n = write(fds[1], report.constData(), size_t(report.size()));
        _exit(0);
    }
    ::close(fds[1]);
    QByteArray out;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child failed";
    return out;
}

// Permissions do not stop root: a child that must meet them drops to an unprivileged user.
inline bool dropPrivileges() {
    if (geteuid() != 0)
        return true;
    return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}
