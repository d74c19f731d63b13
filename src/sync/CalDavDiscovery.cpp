#include "sync/CalDavDiscovery.h"

#include "sync/CalDavClient.h"

namespace {

const QByteArray PropfindHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:propfind "
                                "xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
                                "<D:prop>";
const QByteArray PropfindTail = "</D:prop></D:propfind>";

QUrl withPath(const QUrl& base, const QByteArray& path) {
    QUrl url = base;
    url.setPath(QString::fromLatin1(path), QUrl::TolerantMode);
    url.setQuery(QString());
    return url;
}

} // namespace

CalDavDiscovery::CalDavDiscovery(QObject* parent) : QObject(parent) {}

void CalDavDiscovery::newClient(const QString& user, const QString& password) {
    delete m_client;
    m_client = new CalDavClient(user, password, this);
}

void CalDavDiscovery::fail(int status, bool sslRefused, const QUrl& url) {
    DavResponse r;
    r.status = status;
    r.sslRefused = sslRefused;
    emit failed(CalDavClient::failure(r, url));
}

void CalDavDiscovery::start(const QUrl& server, const QString& user, const QString& password) {
    m_server = server;
    m_home.clear();
    if (const QString refused = CalDavClient::refusal(server); !refused.isEmpty()) {
        emit failed(refused);
        return;
    }
    newClient(user, password);
    const bool bare = server.path().isEmpty() || server.path() == QLatin1String("/");
    findPrincipal(bare ? withPath(server, "/.well-known/caldav") : server, bare);
}

void CalDavDiscovery::findPrincipal(const QUrl& url, bool wellKnown) {
    m_client->send(
        "PROPFIND", url,
        PropfindHead + "<D:current-user-principal/><C:calendar-home-set/>" + PropfindTail,
        {{"Depth", "0"}}, [this, url, wellKnown](const DavResponse& r) {
            if (r.status != 207) {
                if (wellKnown && r.status != 401 && !r.sslRefused && r.status != 0)
                    findPrincipal(m_server, false); // no well-known address
                else
                    fail(r.status, r.sslRefused, url);
                return;
            }
            const QList<DavItem> items = ParseMultistatus(r.body).items;
            const DavItem item = items.value(0);
            if (const QByteArrayList home = item.hrefs.value("calendar-home-set"); !home.isEmpty())
                listCalendars(withPath(r.url, home.first()));
            else if (const QByteArrayList principal = item.hrefs.value("current-user-principal");
                     !principal.isEmpty())
                findHome(withPath(r.url, principal.first()));
            else
                listCalendars(r.url); // an address of the calendars themselves
        });
}

void CalDavDiscovery::findHome(const QUrl& principal) {
    m_client->send("PROPFIND", principal, PropfindHead + "<C:calendar-home-set/>" + PropfindTail,
                   {{"Depth", "0"}}, [this, principal](const DavResponse& r) {
                       if (r.status != 207) {
                           fail(r.status, r.sslRefused, principal);
                           return;
                       }
                       const QByteArrayList home =
                           ParseMultistatus(r.body).items.value(0).hrefs.value("calendar-home-set");
                       listCalendars(home.isEmpty() ? principal : withPath(r.url, home.first()));
                   });
}

void CalDavDiscovery::listCalendars(const QUrl& home) {
    m_home = home;
    m_client->send(
        "PROPFIND", home,
        PropfindHead + "<D:resourcetype/><D:displayname/><C:supported-calendar-component-set/>" +
            PropfindTail,
        {{"Depth", "1"}}, [this, home](const DavResponse& r) {
            if (r.status != 207) {
                fail(r.status, r.sslRefused, home);
                return;
            }
            QList<DavCalendar> calendars;
            for (const DavItem& item : ParseMultistatus(r.body).items) {
                if (!item.names.value("resourcetype").contains("calendar"))
                    continue;
                // No set given: the calendar takes every component.
                const QByteArrayList comps = item.names.value("supported-calendar-component-set");
                if (!comps.isEmpty() && !comps.contains("VEVENT"))
                    continue;
                QString name = QString::fromUtf8(item.text.value("displayname")).trimmed();
                const QUrl url = withPath(r.url, item.href);
                if (name.isEmpty())
                    name = url.path();
                calendars << DavCalendar{url, name};
            }
            emit found(calendars);
        });
}

void CalDavDiscovery::makeCalendar(const QString& user, const QString& password) {
    if (m_home.isEmpty()) {
        emit failed(QStringLiteral("カレンダーを作る場所がサーバーから見つかりません"));
        return;
    }
    newClient(user, password);
    QUrl url = m_home;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + QStringLiteral("kalendo/"));
    const QByteArray body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><C:mkcalendar xmlns:D=\"DAV:\" "
        "xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><D:set><D:prop>"
        "<D:displayname>Kalendo</D:displayname><C:supported-calendar-component-set>"
        "<C:comp name=\"VEVENT\"/></C:supported-calendar-component-set>"
        "</D:prop></D:set></C:mkcalendar>";
    m_client->send("MKCALENDAR", url, body, {}, [this, url](const DavResponse& r) {
        if (r.status == 201)
            emit made(url);
        else
            fail(r.status, r.sslRefused, url);
    });
}
