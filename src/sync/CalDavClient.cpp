#include "sync/CalDavClient.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QXmlStreamReader>

namespace {

constexpr int MaxRedirects = 5;
constexpr int TransferTimeoutMs = 60000;

bool isLoopback(const QString& host) {
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

QByteArray DavPath(const QUrl& url) {
    return QUrl::toPercentEncoding(url.path(QUrl::FullyDecoded), "/");
}

DavMultistatus ParseMultistatus(const QByteArray& xml) {
    DavMultistatus result;
    QXmlStreamReader reader(xml);
    DavItem item;
    DavItem found; // the properties of one propstat, kept when its status is 200
    int depth = 0, responseDepth = -1, propDepth = -1;
    QByteArray prop; // the property being read
    QByteArray statusText;
    const auto status = [](const QByteArray& line) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        return parts.size() > 1 ? parts.at(1).toInt() : 0;
    };
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            const QByteArray name = reader.name().toUtf8();
            if (name == "response" && responseDepth < 0) {
                responseDepth = depth;
                item = DavItem();
            } else if (responseDepth < 0 && name == "sync-token") {
                result.syncToken = reader.readElementText().trimmed().toUtf8();
                --depth;
            } else if (name == "propstat") {
                found = DavItem();
            } else if (name == "prop" && propDepth < 0) {
                propDepth = depth;
            } else if (propDepth >= 0 && depth == propDepth + 1) {
                prop = name;
                if (prop == "calendar-data" || prop == "getetag" || prop == "displayname" ||
                    prop == "sync-token" || prop == "getctag") {
                    found.text[prop] = reader.readElementText().toUtf8();
                    --depth;
                } else {
                    found.names[prop]; // present, even when empty
                }
            } else if (propDepth >= 0 && depth > propDepth + 1) {
                if (name == "href") {
                    const QUrl url(reader.readElementText().trimmed());
                    found.hrefs[prop] << DavPath(url);
                    --depth;
                } else if (name == "comp") {
                    found.names[prop] << reader.attributes().value(QStringLiteral("name")).toUtf8();
                } else {
                    found.names[prop] << name;
                }
            } else if (responseDepth >= 0 && name == "href" && depth == responseDepth + 1) {
                item.href = DavPath(QUrl(reader.readElementText().trimmed()));
                --depth;
            } else if (name == "status") {
                statusText = reader.readElementText().toUtf8();
                --depth;
                if (propDepth < 0 && depth == responseDepth) // the response's own
                    item.status = status(statusText);
                else if (status(statusText) / 100 == 2) {
                    item.text.insert(found.text);
                    item.hrefs.insert(found.hrefs);
                    item.names.insert(found.names);
                }
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == propDepth)
                propDepth = -1;
            if (depth == responseDepth) {
                result.items << item;
                responseDepth = -1;
            }
            --depth;
        }
    }
    return result;
}

CalDavClient::CalDavClient(const QString& user, const QString& password, QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this)),
      m_authorization("Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64()) {
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

QString CalDavClient::refusal(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("同期サーバーのアドレス「%1」が正しくありません")
            .arg(url.toDisplayString());
    if (url.scheme() == QLatin1String("https") ||
        (url.scheme() == QLatin1String("http") && isLoopback(url.host())))
        return {};
    return QStringLiteral("同期サーバー「%1」には https で接続してください"
                          "（パスワードを暗号化せずに送らないため）")
        .arg(url.host());
}

QString CalDavClient::failure(const DavResponse& response, const QUrl& url) {
    const QString host = url.host();
    if (response.sslRefused)
        return QStringLiteral("同期サーバー「%1」の証明書は信頼できないため、接続しませんでした")
            .arg(host);
    if (response.status == 401 || response.status == 403)
        return QStringLiteral("同期サーバー「%1」にログインできません"
                              "（ユーザー名またはパスワードが違います）")
            .arg(host);
    if (response.status == 0)
        return QStringLiteral("同期サーバー「%1」に接続できません").arg(host);
    return QStringLiteral("同期サーバー「%1」がエラーを返しました（HTTP %2）")
        .arg(host)
        .arg(response.status);
}

void CalDavClient::send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                        const Headers& headers, const Done& done) {
    sendOnce(verb, url, body, headers, done, 0);
}

void CalDavClient::sendOnce(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                            const Headers& headers, const Done& done, int redirects) {
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", m_authorization);
    request.setTransferTimeout(TransferTimeoutMs);
    if (!body.isEmpty() && !body.startsWith("BEGIN:"))
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/xml; charset=utf-8"));
    else if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("text/calendar; charset=utf-8"));
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    ++m_requests;
    QNetworkReply* reply = m_network->sendCustomRequest(request, verb, body);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, verb, url, body, headers, done, redirects] {
                reply->deleteLater();
                DavResponse response;
                response.url = url;
                response.error = reply->error();
                response.status =
                    reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                response.sslRefused = reply->error() == QNetworkReply::SslHandshakeFailedError;
                const QUrl location =
                    reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
                if (response.status / 100 == 3 && location.isValid() && redirects < MaxRedirects) {
                    const QUrl next = url.resolved(location);
                    // A redirect never takes the password to another server or off https.
                    if (next.host() == url.host() && refusal(next).isEmpty()) {
                        sendOnce(verb, next, body, headers, done, redirects + 1);
                        return;
                    }
                }
                response.body = reply->readAll();
                response.etag = reply->rawHeader("ETag");
                done(response);
            });
}
