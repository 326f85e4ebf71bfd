#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One running Pixmora per settings folder and user. The first start holds a lock file (with its process
// id, so a lock left by a crash is known as stale and taken over) and listens on a local socket; a later
// start finds the lock held by a live process, hands it the file named on its command line and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` is where the lock lives and what the socket's name is made from.
    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the running one (the lock was free or stale).
    bool claim();
    // Gives `file` (may be empty: only "come to the front") to the running program; true once it
    // confirmed. Waits up to `timeoutMs` for a program that is still starting to listen.
    bool handOver(const QString& file, int timeoutMs) const;

    QString socketName() const { return m_socketName; }

signals:
    // A later start asked to open `file` (empty: only to come to the front).
    void fileHandedOver(const QString& file);

private:
    void readRequest();

    QLockFile m_lock;
    QString m_socketName;
    std::unique_ptr<QLocalServer> m_server;
};
