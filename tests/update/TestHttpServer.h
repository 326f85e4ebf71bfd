#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <chrono>
#include <condition_variable>
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
    // Sends the head of the answer at once and its body one byte at a time, with this pause after each.
    void setTrickle(std::chrono::milliseconds pause) {
        std::lock_guard lock(m_mutex);
        m_trickle = pause;
    }
    QList<QByteArray> requests() const {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    // The requests once `count` of them came in, or after two seconds those that did.
    QList<QByteArray> waitForRequests(qsizetype count) const {
        std::unique_lock lock(m_mutex);
        m_arrived.wait_for(lock, std::chrono::seconds(2), [&] { return m_requests.size() >= count; });
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
            std::chrono::milliseconds trickle;
            {
                std::lock_guard lock(m_mutex);
                m_requests.append(head);
                answer = m_answer;
                trickle = m_trickle;
            }
            m_arrived.notify_all();
            if (answer.isEmpty()) { // keep still until the client gives up
                while (!m_stop && client->state() == QAbstractSocket::ConnectedState)
                    client->waitForReadyRead(20);
                continue;
            }
            // An answer never arrives the instant a request is written on a real network. Qt's HTTP client
            // mishandles that instant: a chunked body cut short then passes for a whole one.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            qsizetype piece = trickle.count() > 0 ? answer.indexOf("\r\n\r\n") + 4 : answer.size();
            for (qsizetype at = 0; at < answer.size() && client->state() == QAbstractSocket::ConnectedState;
                 at += piece, piece = 1) {
                client->write(answer.mid(at, piece));
                // A client that refuses a huge body hangs up halfway; that ends these waits.
                while (client->bytesToWrite() > 0 && client->waitForBytesWritten(2000)) {
                }
                std::this_thread::sleep_for(trickle);
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
    mutable std::condition_variable m_arrived;
    QByteArray m_answer;
    std::chrono::milliseconds m_trickle{0};
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
