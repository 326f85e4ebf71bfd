#include "Download.h"

#include "SafeFile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>

namespace {

DownloadTimeouts g_timeouts;

// The proxies the system is set up with (on Linux http_proxy, https_proxy and no_proxy), asked for
// each address, redirects included, however Qt was built.
class SystemProxies : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        return systemProxyForQuery(query);
    }
};

// The agent name is the executable's file name, as the program always announced itself.
QByteArray agentName() {
    QByteArray name = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
    name.removeIf([](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
    return name;
}

// One GET, run to its end in an event loop of the calling thread. The body when the final answer was a
// success and came whole within the limits; nothing otherwise.
std::optional<QByteArray> fetch(const QUrl& url, const QByteArray& agent, const DownloadTimeouts& timeouts) {
    QNetworkAccessManager manager;
    manager.setProxyFactory(new SystemProxies);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, agent);
    // The body is saved as the server holds it; asking for no compression keeps Qt from decoding it.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);

    QByteArray body;
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QNetworkReply* const r = reply.get();
    const auto take = [&] {
        body += r->readAll();
        return body.size() <= kMaxDownloadBytes;
    };

    // Waits for the connection (again after a redirect to another server), then for each next piece.
    QTimer stall;
    stall.setSingleShot(true);
    QObject::connect(&stall, &QTimer::timeout, r, &QNetworkReply::abort);
    stall.start(timeouts.connectMs);
    QTimer::singleShot(timeouts.totalMs, r, &QNetworkReply::abort);
    QObject::connect(r, &QNetworkReply::socketStartedConnecting, [&] { stall.start(timeouts.connectMs); });
    QObject::connect(r, &QNetworkReply::requestSent, [&] { stall.start(timeouts.idleMs); });
    QObject::connect(r, &QNetworkReply::metaDataChanged, [&] {
        stall.start(timeouts.idleMs);
        // A redirect's own body is dropped unread, whatever its size.
        const bool redirect = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() / 100 == 3;
        if (!redirect && r->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxDownloadBytes)
            r->abort();
    });
    QObject::connect(r, &QNetworkReply::readyRead, [&] {
        stall.start(timeouts.idleMs);
        if (!take())
            r->abort();
    });
    // The address says which protocol is meant: no redirect may take it down to plain HTTP, nor up.
    QObject::connect(r, &QNetworkReply::redirected, [&](const QUrl& target) {
        if (target.scheme() == url.scheme())
            emit r->redirectAllowed();
        else
            r->abort();
    });

    QEventLoop loop;
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!r->isFinished())
        loop.exec();

    const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A redirect left unfollowed or an error page is not a published version.
    if (r->error() != QNetworkReply::NoError || status < 200 || status > 299 || !take())
        return std::nullopt;
    return body;
}

} // namespace

DownloadTimeouts downloadTimeouts() {
    return g_timeouts;
}

void setDownloadTimeoutsForTesting(const DownloadTimeouts& timeouts) {
    g_timeouts = timeouts;
}

bool BaixaArquivo(const QString& url, const QString& localName) {
    const QUrl address(url, QUrl::StrictMode);
    const QString scheme = address.scheme();
    if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        address.host().isEmpty())
        return false;

    // The call blocks the user interface until the download ends, as it always has: the download runs on
    // a thread of its own while this one waits, so no event of the program is handled in between.
    std::optional<QByteArray> body;
    const std::unique_ptr<QThread> worker(QThread::create(
        [&, agent = agentName(), timeouts = g_timeouts] { body = fetch(address, agent, timeouts); }));
    worker->start();
    worker->wait();
    if (!body)
        return false;

    pixmora::SafeFile file(localName);
    file.write(body->constData(), static_cast<std::size_t>(body->size()));
    file.commit();
    return true;
}
