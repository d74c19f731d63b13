#pragma once

#include <QObject>
#include <QString>

#include <QByteArray>
#include <QHash>
#include <QList>

// How a second start reaches the instance that holds the guard (InstanceGuard): the running
// instance listens on a local socket beside each lock it holds, and a start that finds a lock
// held asks through it for the window, so that starting Kalendo from the menu while it runs in
// the background shows its window instead of doing nothing.
class InstanceDoor : public QObject {
    Q_OBJECT
public:
    explicit InstanceDoor(QObject* parent = nullptr);
    // Closes the doors and removes their sockets.
    ~InstanceDoor() override;

    // Listens beside a lock this process holds (InstanceGuard::LockPath or DataFolderLockPath).
    bool open(const QString& lockPath);

    // From a start that found the lock held: asks the instance behind it to show its window.
    // Works before the application object exists. False when no instance answered.
    static bool AskToShow(const QString& lockPath);

    static QString SocketPath(const QString& lockPath);

signals:
    void showRequested();

private:
    void accept(int listener);
    void answer(int fd);
    // Plain sockets, not the toolkit's network library: the program loads that library only
    // after its first paint, and the door opens before it.
    QList<QByteArray> m_paths;
    QList<int> m_listeners;
    QHash<int, QByteArray> m_pending; // requests read in part
};
