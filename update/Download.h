#pragma once

#include <QString>
#include <QtGlobal>

// How long the download may wait. A dead or slow server has to end in a failed download, never in a
// program that hangs: the user-interface thread waits for the download.
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

// Fetches `url` (HTTP or HTTPS, GET, through the system's proxies) and writes the body, byte for byte,
// to the file `localName`. Redirects are followed while they keep the address's protocol.
// False when the download fails: no connection, a time-out, a final answer other than success (404,
// 500, a redirect to the other protocol ...), a body over kMaxDownloadBytes or one cut short. The file
// is written only once the whole body is in, so a failed download leaves it as it was.
// Raises pixmora::InOutError when the local file cannot be created or written.
bool BaixaArquivo(const QString& url, const QString& localName);
