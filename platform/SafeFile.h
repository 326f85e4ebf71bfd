#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <functional>
#include <sys/types.h>

namespace pixmora {

// Writes a file so that it is never seen half-written and nothing is left behind. The content goes into
// a temporary file in the target's folder, which replaces the target only after everything was written
// and flushed; until then the old file stays as it was.
//
// The temporary is unnamed (O_TMPFILE) where the file system allows it, so a process killed while
// writing leaves nothing at all. Elsewhere it is a hidden file named after the target
// (".<name>.pixmora-<pid>-<six letters or digits>"), removed when the process is stopped by SIGINT,
// SIGTERM or SIGHUP; one left by a killed process is removed by the next save into its folder.
//
// A target that is a symbolic link, even a dangling one, is followed: the file it points to is written
// and the link stays.
class SafeFile {
public:
    explicit SafeFile(const QString& path); // throws InOutError when the folder cannot take the file
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // The content goes through this stream or through write().
    std::FILE* stream() { return m_stream; }
    void write(const void* data, std::size_t bytes); // throws InOutError
    // The errno of the first write that failed, or 0.
    int writeError() const { return m_writeError; }
    void commit(); // throws InOutError; the target then holds the data

    // Unnamed temporaries are on by default; turned off, every save takes the named temporary that file
    // systems without O_TMPFILE get (for tests of that path).
    static void setUnnamedTemporaries(bool allowed);
    // Whether a file name has the form of our named temporaries.
    static bool isTemporaryName(const QByteArray& fileName);

private:
    static ssize_t cookieWrite(void* cookie, const char* data, std::size_t bytes);
    void openNamed(int mode);
    bool linkAs(const QByteArray& name);

    QByteArray m_target; // the file that is replaced, after following links
    QByteArray m_folder;
    QByteArray m_temporary; // the named temporary, while one exists
    int m_slot = -1;        // its entry in the list that the signal handler clears
    int m_fd = -1;
    bool m_unnamed = false;
    std::FILE* m_stream = nullptr;
    int m_writeError = 0;
    bool m_committed = false;
};

// Writes `path` whole through a SafeFile: `writer` fills it, then it replaces the target. A write that
// failed (a full disk, say) is reported as that file error, whatever the writer made of it. Throws
// InOutError for file errors; the writer's own errors pass unchanged. Either way the target is as it was.
void writeAtomically(const QString& path, const std::function<void(SafeFile&)>& writer);

} // namespace pixmora
