#include "SafeFile.h"

#include "Errors.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pixmora {

SafeFile::SafeFile(const QString& path) : m_path(path) {
    if (path.isEmpty())
        throw InOutError(3);
    QFileInfo info(path);
    // Saving through a symbolic link replaces the file it points to, not the link.
    if (info.isSymLink() && info.exists())
        info = QFileInfo(info.canonicalFilePath());
    m_target = QFile::encodeName(info.absoluteFilePath());
    m_folder = QFile::encodeName(info.absolutePath());
    if (info.isDir())
        throw InOutError(5);
    // Renaming over a file needs only the folder's permission; a write-protected file must stay protected.
    if (::access(m_target.constData(), F_OK) == 0 &&
        ::faccessat(AT_FDCWD, m_target.constData(), W_OK, AT_EACCESS) != 0)
        InOutError::raiseFromErrno();
    m_temporary =
        QFile::encodeName(info.absolutePath()) + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
    const int fd = ::mkstemp(m_temporary.data());
    if (fd < 0)
        InOutError::raiseFromErrno();
    // A replaced file keeps its permissions; a new one gets the usual ones.
    struct stat existing;
    if (::stat(m_target.constData(), &existing) == 0)
        ::fchmod(fd, existing.st_mode & 07777);
    else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    m_stream = ::fdopen(fd, "wb");
    if (!m_stream) {
        const int err = errno;
        ::close(fd);
        ::unlink(m_temporary.constData());
        throw InOutError(InOutError::codeForErrno(err));
    }
}

SafeFile::~SafeFile() {
    if (m_stream)
        std::fclose(m_stream);
    if (!m_committed)
        ::unlink(m_temporary.constData());
}

void SafeFile::write(const void* data, std::size_t bytes) {
    if (bytes != 0 && std::fwrite(data, 1, bytes, m_stream) != bytes)
        InOutError::raiseFromErrno();
}

void SafeFile::commit() {
    if (std::fflush(m_stream) != 0 || ::fsync(::fileno(m_stream)) != 0)
        InOutError::raiseFromErrno();
    const int closed = std::fclose(m_stream);
    m_stream = nullptr;
    if (closed != 0)
        InOutError::raiseFromErrno();
    if (::rename(m_temporary.constData(), m_target.constData()) != 0)
        InOutError::raiseFromErrno();
    m_committed = true;
    // Make the rename itself durable.
    const int folder = ::open(m_folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace pixmora
