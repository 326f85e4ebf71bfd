#include "TextFile.h"

#include "Errors.h"
#include "SafeFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pixmora {

namespace {

QByteArray readWholeFile(const QString& path) {
    if (path.isEmpty())
        throw InOutError(2);
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        InOutError::raiseFromErrno();
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw InOutError(5);
    }
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            throw InOutError(InOutError::codeForErrno(err));
        }
        if (got == 0)
            break;
        bytes.append(buffer, got);
    }
    ::close(fd);
    return bytes;
}

} // namespace

QStringList splitTextLines(const QByteArray& bytes) {
    QStringList lines;
    QByteArray line;
    bool open = false; // a line has started that no line feed has ended yet
    for (const char ch : bytes) {
        if (ch == 26)
            break;
        if (ch == '\n') {
            lines.append(QString::fromUtf8(line));
            line.clear();
            open = false;
        } else {
            open = true;
            if (ch != '\r')
                line.append(ch);
        }
    }
    if (open)
        lines.append(QString::fromUtf8(line));
    return lines;
}

QStringList readTextLines(const QString& path) {
    return splitTextLines(readWholeFile(path));
}

QString readTextLine(const QString& path, int index) {
    const QStringList lines = readTextLines(path);
    return index >= 0 && index < lines.size() ? lines.at(index) : QString();
}

void writeTextFile(const QString& path, const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes.append(line.toUtf8());
        bytes.append("\r\n");
    }
    writeAtomically(
        path, [&](SafeFile& file) { file.write(bytes.constData(), static_cast<std::size_t>(bytes.size())); });
}

} // namespace pixmora
