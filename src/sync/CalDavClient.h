#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;

// The answer to one request, redirects followed.
struct DavResponse {
    int status = 0; // HTTP status; 0 when no answer came
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QByteArray etag;
    QUrl url; // the address that answered
    bool sslRefused = false;
};

// One <response> of a multistatus answer: its href (path, percent-decoded), its own status
// (a removed member of a sync report), and the properties found (status 200), by local name.
struct DavItem {
    QByteArray href; // DavPath
    int status = 200;
    QHash<QByteArray, QByteArray> text;      // getetag, calendar-data, displayname, sync-token...
    QHash<QByteArray, QByteArrayList> hrefs; // current-user-principal, calendar-home-set
    QHash<QByteArray, QByteArrayList> names; // resourcetype's children, the comp names of a set
};

struct DavMultistatus {
    QList<DavItem> items;
    QByteArray syncToken; // of a sync report
};
DavMultistatus ParseMultistatus(const QByteArray& xml);

// A path as the sync state keeps it: every byte but letters, digits, "-._~/" percent-encoded,
// so that two spellings of one href match.
QByteArray DavPath(const QUrl& url);

// Requests to one CalDAV account. Basic authentication is sent with every request (no round
// trip to be asked for it); the password stays in memory and is never written anywhere.
class CalDavClient : public QObject {
    Q_OBJECT
public:
    CalDavClient(const QString& user, const QString& password, QObject* parent = nullptr);

    using Done = std::function<void(const DavResponse&)>;
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    void send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
              const Headers& headers, const Done& done);

    // The requests sent so far (redirects included).
    int requestCount() const { return m_requests; }

    // Why an address may not be used, or empty: only https, but for this machine's own
    // addresses, since the password goes with every request.
    static QString refusal(const QUrl& url);
    // The user's message for a failed answer, naming the server.
    static QString failure(const DavResponse& response, const QUrl& url);

private:
    void sendOnce(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                  const Headers& headers, const Done& done, int redirects);

    QNetworkAccessManager* m_network;
    QByteArray m_authorization;
    int m_requests = 0;
};
