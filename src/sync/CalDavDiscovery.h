#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

class CalDavClient;

// A calendar of the account that holds events.
struct DavCalendar {
    QUrl url;
    QString name;
};

// Finds an account's calendars as CalDAV clients do: /.well-known/caldav (RFC 6764) or the
// address given, the current-user-principal, its calendar-home-set, and there the calendars
// whose components include VEVENT. Also makes a calendar named Kalendo there (MKCALENDAR).
class CalDavDiscovery : public QObject {
    Q_OBJECT
public:
    explicit CalDavDiscovery(QObject* parent = nullptr);

    void start(const QUrl& server, const QString& user, const QString& password);
    void makeCalendar(const QString& user, const QString& password);

    QUrl home() const { return m_home; }

signals:
    void found(const QList<DavCalendar>& calendars);
    void made(const QUrl& calendar);
    void failed(const QString& message);

private:
    void findPrincipal(const QUrl& url, bool wellKnown);
    void findHome(const QUrl& principal);
    void listCalendars(const QUrl& home);
    void fail(int status, bool sslRefused, const QUrl& url);
    void newClient(const QString& user, const QString& password);

    CalDavClient* m_client = nullptr;
    QUrl m_server;
    QUrl m_home;
};
