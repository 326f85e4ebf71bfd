#include "Download.h"

#include "Errors.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

DownloadTimeouts g_timeouts;

// The answer body is read and written in pieces of this size.
constexpr qint64 kReadSize = 1024;
// Status line and headers together; real servers send a few hundred bytes.
constexpr qint64 kMaxHeaderBytes = 16 * 1024;

// The downloaded file. It is removed again unless the whole body made it in, so that a failed
// download never leaves something that could be read as a version.
class LocalFile {
public:
    explicit LocalFile(const QString& name) : m_name(QFile::encodeName(name)) {
        m_fd = ::open(m_name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0)
            pixmora::InOutError::raiseFromErrno();
    }
    ~LocalFile() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_kept)
            ::unlink(m_name.constData());
    }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    void write(const char* data, qint64 size) {
        while (size > 0) {
            const ssize_t put = ::write(m_fd, data, static_cast<size_t>(size));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                pixmora::InOutError::raiseFromErrno();
            }
            data += put;
            size -= put;
        }
    }
    void keep() {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            pixmora::InOutError::raiseFromErrno();
        m_kept = true;
    }

private:
    QByteArray m_name;
    int m_fd = -1;
    bool m_kept = false;
};

// One HTTP/1.1 GET over a blocking socket. Every method returns false when the download has failed;
// the socket closes with the object on every way out.
class HttpGet {
public:
    explicit HttpGet(const DownloadTimeouts& timeouts) : m_timeouts(timeouts) {
        m_clock.start();
        // We speak HTTP ourselves, straight to the server; no application-wide socket proxy may step in.
        m_socket.setProxy(QNetworkProxy::NoProxy);
    }

    bool request(const QUrl& url, const QByteArray& agent) {
        const QString host = url.host();
        const int port = url.port(80);
        m_socket.connectToHost(host, static_cast<quint16>(port));
        if (!m_socket.waitForConnected(waitFor(m_timeouts.connectMs)))
            return false;

        QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
        if (target.isEmpty())
            target = "/";
        if (url.hasQuery())
            target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
        QByteArray hostField = QUrl::toAce(host);
        if (host.contains(QLatin1Char(':')))
            hostField = '[' + host.toLatin1() + ']';
        if (port != 80)
            hostField += ':' + QByteArray::number(port);

        QByteArray head = "GET " + target + " HTTP/1.1\r\nHost: " + hostField + "\r\n";
        if (!agent.isEmpty())
            head += "User-Agent: " + agent + "\r\n";
        head += "Accept: */*\r\nConnection: close\r\n\r\n";

        m_socket.write(head);
        while (m_socket.bytesToWrite() > 0) {
            if (!m_socket.waitForBytesWritten(waitFor(m_timeouts.idleMs)))
                return false;
        }
        return true;
    }

    // Reads the status and the headers of the final answer. True for a success status; the body is
    // then framed by m_chunked, m_length (-1 when the server closes after the body).
    bool readHead() {
        int status = 0;
        do { // interim 1xx answers come before the real one
            QByteArray line;
            if (!readLine(line))
                return false;
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() < 2 || !parts[0].startsWith("HTTP/1."))
                return false;
            bool ok = false;
            status = parts[1].toInt(&ok);
            if (!ok || parts[1].size() != 3)
                return false;
            if (!readHeaders(status))
                return false;
        } while (status >= 100 && status < 200);
        // A redirect or an error page is not a published version.
        return status >= 200 && status < 300;
    }

    bool readBody(LocalFile& file) {
        char buffer[kReadSize];
        qint64 total = 0;
        if (m_chunked) {
            for (;;) {
                QByteArray line;
                if (!readLine(line))
                    return false;
                const qsizetype semicolon = line.indexOf(';');
                const QByteArray digits = (semicolon < 0 ? line : line.left(semicolon)).trimmed();
                bool ok = false;
                const qint64 size = digits.toLongLong(&ok, 16);
                if (!ok || size < 0 || digits.startsWith('-') || digits.startsWith('+'))
                    return false;
                if (size == 0)
                    break;
                if (size > kMaxDownloadBytes - total)
                    return false;
                if (!copy(file, size, buffer))
                    return false;
                total += size;
                if (!readLine(line) || !line.isEmpty())
                    return false;
            }
            return readHeaders(200); // the trailer, if any
        }
        if (m_length >= 0)
            return copy(file, m_length, buffer);
        for (;;) {
            const qint64 got = readSome(buffer, kReadSize);
            if (got < 0)
                return false;
            if (got == 0)
                return true;
            total += got;
            if (total > kMaxDownloadBytes)
                return false;
            file.write(buffer, got);
        }
    }

    // The declared length, when the server gave one.
    qint64 declaredLength() const { return m_chunked ? -1 : m_length; }

private:
    int waitFor(int limit) const {
        const qint64 left = m_timeouts.totalMs - m_clock.elapsed();
        return static_cast<int>(std::clamp<qint64>(std::min<qint64>(limit, left), 0, limit));
    }

    // Waits until the socket holds more bytes than now. False at the end of the stream (m_ended) or
    // when the wait failed.
    bool waitForMore() {
        const qint64 before = m_socket.bytesAvailable();
        if (m_socket.state() == QAbstractSocket::ConnectedState) {
            const int wait = waitFor(m_timeouts.idleMs);
            if (wait > 0)
                m_socket.waitForReadyRead(wait);
        }
        if (m_socket.bytesAvailable() > before)
            return true;
        m_ended = m_socket.state() != QAbstractSocket::ConnectedState &&
                  m_socket.error() == QAbstractSocket::RemoteHostClosedError;
        return false;
    }

    // Up to `size` bytes; 0 at the end of the stream, -1 on failure.
    qint64 readSome(char* data, qint64 size) {
        if (m_socket.bytesAvailable() == 0 && !waitForMore())
            return m_ended ? 0 : -1;
        return m_socket.read(data, std::min(size, m_socket.bytesAvailable()));
    }

    // Exactly `size` bytes of the body into the file; a stream that ends early fails.
    bool copy(LocalFile& file, qint64 size, char* buffer) {
        while (size > 0) {
            const qint64 got = readSome(buffer, std::min(size, kReadSize));
            if (got <= 0)
                return false;
            file.write(buffer, got);
            size -= got;
        }
        return true;
    }

    // One line of the head, without its line end.
    bool readLine(QByteArray& line) {
        while (!m_socket.canReadLine()) {
            if (m_socket.bytesAvailable() > kMaxHeaderBytes - m_headBytes || !waitForMore())
                return false;
        }
        line = m_socket.readLine(kMaxHeaderBytes - m_headBytes + 1);
        m_headBytes += line.size();
        if (m_headBytes > kMaxHeaderBytes || !line.endsWith('\n'))
            return false;
        line.chop(line.endsWith("\r\n") ? 2 : 1);
        return true;
    }

    bool readHeaders(int status) {
        m_chunked = false;
        m_length = -1;
        for (;;) {
            QByteArray line;
            if (!readLine(line))
                return false;
            if (line.isEmpty())
                break;
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                return false;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed().toLower();
            if (name == "transfer-encoding") {
                m_chunked = value.split(',').last().trimmed() == "chunked";
            } else if (name == "content-length") {
                bool ok = false;
                const qint64 length = value.toLongLong(&ok);
                if (!ok || length < 0 || value.startsWith('+') || (m_length >= 0 && m_length != length))
                    return false;
                m_length = length;
            }
        }
        if (status == 204 || status == 304)
            m_length = 0;
        return true;
    }

    DownloadTimeouts m_timeouts;
    QElapsedTimer m_clock;
    QTcpSocket m_socket;
    qint64 m_headBytes = 0;
    qint64 m_length = -1;
    bool m_chunked = false;
    bool m_ended = false;
};

// The agent name is the executable's file name, as the program always announced itself.
QByteArray agentName() {
    QByteArray name = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
    name.removeIf([](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
    return name;
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
    if (!address.isValid() || address.scheme() != QLatin1String("http") || address.host().isEmpty())
        return false;

    HttpGet get(g_timeouts);
    if (!get.request(address, agentName()) || !get.readHead())
        return false;
    // Refused before anything is written.
    if (get.declaredLength() > kMaxDownloadBytes)
        return false;

    LocalFile file(localName);
    if (!get.readBody(file))
        return false;
    file.keep();
    return true;
}
