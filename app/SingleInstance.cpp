#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace {

const QByteArray Confirmation = "ok\n";

QString socketNameFor(const QString& folder) {
    const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("pixmora-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash.left(24)));
}

} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), m_lock(folder + QStringLiteral(".pixmora.lock")), m_socketName(socketNameFor(folder)) {
    // Only a dead owner makes the lock stale, never its age: a program may run for weeks.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim() {
    if (!m_lock.tryLock(0)) {
        // A lock that cannot even be read or written (a folder gone read-only) guards nothing.
        return m_lock.error() != QLockFile::LockFailedError;
    }
    m_server = std::make_unique<QLocalServer>();
    // In the abstract namespace: no socket file is left behind by a crash.
    m_server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    m_server->listen(m_socketName);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::readRequest);
    return true;
}

void SingleInstance::readRequest() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QString file =
                QString::fromUtf8(QByteArray::fromPercentEncoding(socket->readLine().chopped(1)));
            socket->write(Confirmation);
            socket->flush();
            emit fileHandedOver(file);
        });
    }
}

bool SingleInstance::handOver(const QString& file, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    do {
        QLocalSocket socket;
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        socket.connectToServer(m_socketName);
        if (socket.waitForConnected(1000)) {
            // Percent-encoded: a file name may hold a line feed.
            socket.write(file.toUtf8().toPercentEncoding() + '\n');
            if (!socket.waitForBytesWritten(2000))
                return false;
            while (socket.bytesAvailable() < Confirmation.size() && socket.waitForReadyRead(5000)) {
            }
            return socket.readAll() == Confirmation;
        }
        // The running program may still be starting up.
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    return false;
}
