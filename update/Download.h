#pragma once

#include <QString>
#include <QtGlobal>

// How long the download may wait. A dead or slow server has to end in a failed download, never in a
// program that hangs: the download runs on the user-interface thread and blocks it.
struct DownloadTimeouts {
    int connectMs = 10000; // name lookup and connection
    int idleMs = 15000;    // longest wait for the next bytes, either way
    int totalMs = 60000;   // the whole download, so a server that trickles cannot hold us forever
};

// The version file is tiny; anything bigger is a broken or hostile server.
inline constexpr qint64 kMaxDownloadBytes = 64 * 1024;

DownloadTimeouts downloadTimeouts();
// Tests shorten the waits; DownloadTimeouts{} brings the real ones back.
void setDownloadTimeoutsForTesting(const DownloadTimeouts& timeouts);

// Fetches `url` (plain HTTP, GET) and writes the body, byte for byte, to the file `localName`.
// False when the download fails: no connection, a time-out, an answer other than success (404, 500,
// a redirect ...), a body over kMaxDownloadBytes or one cut short. A failed download leaves no file.
// Raises pixmora::InOutError when the local file cannot be created or written.
bool BaixaArquivo(const QString& url, const QString& localName);
