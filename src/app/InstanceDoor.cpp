#include "app/InstanceDoor.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray ShowRequest = "show\n";
const QByteArray Answer = "ok\n";

} // namespace

InstanceDoor::InstanceDoor(QObject* parent) : QObject(parent) {}

QString InstanceDoor::SocketPath(const QString& lockPath) {
    return lockPath + QStringLiteral(".door");
}

void InstanceDoor::answer(QLocalSocket* socket) {
    if (!socket->canReadLine())
        return;
    const bool show = socket->readLine() == ShowRequest;
    if (show) {
        socket->write(Answer);
        socket->flush();
    }
    socket->disconnectFromServer();
    // Shown from the loop, once this socket is done with: showing the window runs events of its
    // own, in which the socket may go.
    if (show)
        QMetaObject::invokeMethod(this, &InstanceDoor::showRequested, Qt::QueuedConnection);
}

bool InstanceDoor::open(const QString& lockPath) {
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = SocketPath(lockPath);
    // Only the lock's holder listens here: a socket left by an instance that crashed is stale.
    QLocalServer::removeServer(path);
    if (!server->listen(path)) {
        delete server;
        return false;
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
            // The request may have come with the connection.
            answer(socket);
        }
    });
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
