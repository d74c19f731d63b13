#include "app/InstanceDoor.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray ShowRequest = "show\n";
const QByteArray Answer = "ok\n";

} // namespace

InstanceDoor::InstanceDoor(QObject* parent) : QObject(parent) {}

InstanceDoor::~InstanceDoor() {
    for (const int fd : std::as_const(m_listeners))
        ::close(fd);
    for (const QByteArray& path : std::as_const(m_paths))
        ::unlink(path.constData());
}

QString InstanceDoor::SocketPath(const QString& lockPath) {
    return lockPath + QStringLiteral(".door");
}

void InstanceDoor::answer(int fd) {
    // A request is one short line; anything longer or different is answered by closing.
    QByteArray& bytes = m_pending[fd];
    char request[16];
    const ssize_t got = ::recv(fd, request, sizeof request, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got > 0) {
        bytes.append(request, int(got));
        if (!bytes.contains('\n') && bytes.size() < ShowRequest.size())
            return; // the rest of the line is still on its way
    }
    const bool show = bytes == ShowRequest;
    m_pending.remove(fd);
    if (show)
        (void)!::send(fd, Answer.constData(), size_t(Answer.size()), MSG_NOSIGNAL);
    // Its notifier goes with it.
    for (QSocketNotifier* notifier : findChildren<QSocketNotifier*>())
        if (notifier->socket() == fd && notifier->isEnabled()) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    ::close(fd);
    // Shown from the loop, once this socket is done with: showing the window runs events of its
    // own.
    if (show)
        QMetaObject::invokeMethod(this, &InstanceDoor::showRequested, Qt::QueuedConnection);
}

void InstanceDoor::accept(int listener) {
    int fd;
    while ((fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0) {
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, fd] { answer(fd); });
        // The request may have come with the connection.
        answer(fd);
    }
}

bool InstanceDoor::open(const QString& lockPath) {
    const QByteArray path = QFile::encodeName(SocketPath(lockPath));
    // Bound in a private folder beside it and moved into place, so that no other user can
    // connect to it meanwhile.
    QByteArray folder = path + ".XXXXXX";
    if (!::mkdtemp(folder.data()))
        return false;
    const QByteArray bound = folder + "/door";
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    bool ok = size_t(bound.size()) < sizeof address.sun_path && fd >= 0;
    if (ok) {
        std::memcpy(address.sun_path, bound.constData(), size_t(bound.size()));
        // Only the lock's holder listens here: a socket left by an instance that crashed is
        // stale, and the rename replaces it.
        ok = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
             ::chmod(bound.constData(), 0600) == 0 && ::listen(fd, 16) == 0 &&
             ::rename(bound.constData(), path.constData()) == 0;
    }
    ::unlink(bound.constData());
    ::rmdir(folder.constData());
    if (!ok) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_listeners << fd;
    m_paths << path;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, fd] { accept(fd); });
    return true;
}

bool InstanceDoor::AskToShow(const QString& lockPath) {
    const QByteArray path = QFile::encodeName(SocketPath(lockPath));
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool answered = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::write(fd, ShowRequest.constData(), size_t(ShowRequest.size())) == ShowRequest.size()) {
        // The instance may be busy for a moment (a dialog opening); it answers from its loop.
        pollfd wait = {fd, POLLIN, 0};
        char reply[8] = {};
        answered = ::poll(&wait, 1, 5000) == 1 && ::read(fd, reply, sizeof reply) > 0 &&
                   QByteArray(reply).startsWith(Answer);
    }
    ::close(fd);
    return answered;
}
