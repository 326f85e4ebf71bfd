#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

// A small HTTP server on 127.0.0.1 and a free port. It runs on a thread of its own because the download
// under test blocks the thread that starts it. Every connection gets the same canned answer.
class TestHttpServer {
public:
    TestHttpServer() {
        std::promise<quint16> port;
        m_thread = std::thread([this, &port] { run(port); });
        m_port = port.get_future().get();
    }
    ~TestHttpServer() {
        m_stop = true;
        m_thread.join();
    }
    quint16 port() const { return m_port; }
    // Raw bytes sent after the request; then the server closes the connection. Empty: never answer.
    void setAnswer(const QByteArray& raw) {
        std::lock_guard lock(m_mutex);
        m_answer = raw;
    }
    QList<QByteArray> requests() const {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

    static QByteArray response(int status, const QByteArray& body) {
        return "HTTP/1.1 " + QByteArray::number(status) +
               " Status\r\nContent-Length: " + QByteArray::number(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    }

private:
    void run(std::promise<quint16>& port) {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        port.set_value(server.serverPort());
        while (!m_stop) {
            if (!server.waitForNewConnection(20))
                continue;
            const std::unique_ptr<QTcpSocket> client(server.nextPendingConnection());
            QByteArray head;
            while (!head.contains("\r\n\r\n") && client->waitForReadyRead(2000))
                head += client->readAll();
            QByteArray answer;
            {
                std::lock_guard lock(m_mutex);
                m_requests.append(head);
                answer = m_answer;
            }
            if (answer.isEmpty()) { // keep still until the client gives up
                while (!m_stop && client->state() == QAbstractSocket::ConnectedState)
                    client->waitForReadyRead(20);
                continue;
            }
            client->write(answer);
            // A client that refuses a huge body hangs up halfway; that ends these waits.
            while (client->bytesToWrite() > 0 && client->waitForBytesWritten(2000)) {
            }
            client->disconnectFromHost();
            if (client->state() != QAbstractSocket::UnconnectedState)
                client->waitForDisconnected(2000);
        }
    }

    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    quint16 m_port = 0;
    mutable std::mutex m_mutex;
    QByteArray m_answer;
    QList<QByteArray> m_requests;
};

// A listener whose one-place queue is taken, so that a further connection attempt hangs.
struct FullListener {
    FullListener() {
        server.setListenBacklogSize(0);
        server.listen(QHostAddress::LocalHost);
        server.pauseAccepting();
        filler.connectToHost(QHostAddress::LocalHost, server.serverPort());
        filler.waitForConnected(1000);
    }
    QTcpServer server;
    QTcpSocket filler;
};

// A port on 127.0.0.1 that nothing listens on any more.
inline quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
