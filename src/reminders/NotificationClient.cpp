#include "reminders/NotificationClient.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
const QString OpenAction = QStringLiteral("open");
const QString SnoozeAction = QStringLiteral("snooze");
// Clicking the notification itself opens the day too.
const QString DefaultAction = QStringLiteral("default");

QString unreachable(const QDBusError& error) {
    return QStringLiteral("デスクトップの通知サービスに接続できないため、予定のお知らせは Kalendo "
                          "の小さなウィンドウで表示します。(%1)")
        .arg(error.message().isEmpty() ? error.name() : error.message());
}

} // namespace

NotificationClient::NotificationClient(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus) {
    m_bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(actionInvoked(uint, QString)));
    m_bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(notificationClosed(uint, uint)));
}

QString NotificationClient::ApplicationName() {
    return QStringLiteral("Kalendo");
}

QString NotificationClient::IconName() {
    return QStringLiteral(KALENDO_APP_ID);
}

void NotificationClient::probe() {
    if (!m_bus.isConnected()) {
        refused(unreachable(m_bus.lastError()), {});
        return;
    }
    const QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("GetCapabilities"));
    ++m_pending;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        --m_pending;
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            refused(unreachable(reply.error()), {});
            return;
        }
        m_ready = true;
        m_actions = reply.value().contains(QStringLiteral("actions"));
        m_markup = reply.value().contains(QStringLiteral("body-markup"));
        emit ready();
    });
}

void NotificationClient::show(const QList<Reminder>& reminders) {
    if (reminders.isEmpty())
        return;
    if (!m_ready) {
        emit unavailable({}, reminders);
        return;
    }
    const bool one = reminders.size() == 1;
    QString body = one ? reminders.first().body() : MissedBody(reminders);
    if (m_markup)
        body = body.toHtmlEscaped();
    QStringList actions;
    if (m_actions) {
        actions << DefaultAction << QStringLiteral("開く") << OpenAction << QStringLiteral("開く");
        if (one)
            actions << SnoozeAction << QStringLiteral("5分後に再通知");
    }
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), IconName());
    hints.insert(QStringLiteral("category"), QStringLiteral("x-kalendo.reminder"));
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    // A reminder stays until it is answered or its entry has passed.
    call << ApplicationName() << uint(0) << IconName()
         << (one ? reminders.first().summary() : MissedSummary(reminders)) << body << actions
         << hints << qint32(0);
    ++m_pending;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, reminders](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                --m_pending;
                const QDBusPendingReply<uint> reply = *w;
                if (reply.isError()) {
                    refused(unreachable(reply.error()), reminders);
                    return;
                }
                const uint id = reply.value();
                m_shown.insert(id, reminders);
                for (const Reminder& r : reminders)
                    m_ids.insert(r.key, id);
            });
}

void NotificationClient::refused(const QString& reason, const QList<Reminder>& reminders) {
    m_ready = false;
    emit unavailable(reason, reminders);
}

void NotificationClient::withdraw(const QByteArray& key) {
    const auto it = m_ids.constFind(key);
    if (it == m_ids.cend())
        return;
    const uint id = it.value();
    // A notification of several stays until the last of them has passed.
    const QList<Reminder> shown = m_shown.value(id);
    m_ids.erase(it);
    if (std::any_of(shown.cbegin(), shown.cend(),
                    [this](const Reminder& r) { return m_ids.contains(r.key); }))
        return;
    m_shown.remove(id);
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface,
                                                       QStringLiteral("CloseNotification"));
    call << id;
    m_bus.asyncCall(call);
}

void NotificationClient::actionInvoked(uint id, const QString& action) {
    const auto it = m_shown.constFind(id);
    if (it == m_shown.cend() || it->isEmpty())
        return; // another program's notification
    const QList<Reminder> reminders = *it;
    if (action == SnoozeAction) {
        emit snoozeRequested(reminders.first());
    } else if (action == OpenAction || action == DefaultAction) {
        emit openRequested(reminders.first().date);
    } else {
        return;
    }
    // Some services leave the notification up after an action: it is answered.
    for (const Reminder& r : reminders)
        m_ids.remove(r.key);
    m_shown.remove(id);
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface,
                                                       QStringLiteral("CloseNotification"));
    call << id;
    m_bus.asyncCall(call);
}

void NotificationClient::notificationClosed(uint id, uint) {
    const QList<Reminder> reminders = m_shown.take(id);
    for (const Reminder& r : reminders)
        m_ids.remove(r.key);
}
