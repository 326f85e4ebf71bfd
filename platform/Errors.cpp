#include "Errors.h"

#include <cerrno>

namespace pixmora {

QString InOutError::textFor(int code) {
    switch (code) {
    case 2:
        return QStringLiteral("File not found");
    case 3:
        return QStringLiteral("Invalid filename");
    case 4:
        return QStringLiteral("Too many open files");
    case 5:
        return QStringLiteral("File access denied");
    case 100:
        return QStringLiteral("Read beyond end of file");
    case 101:
        return QStringLiteral("Disk full");
    case 106:
        return QStringLiteral("Invalid numeric input");
    default:
        return QStringLiteral("I/O error %1").arg(code);
    }
}

int InOutError::codeForErrno(int err) {
    switch (err) {
    case ENOENT:
        return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
    case ETXTBSY:
        return 5;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return 101;
    default:
        // Other system errors keep their own number, moved clear of the program's codes.
        return 1000 + err;
    }
}

void InOutError::raiseFromErrno() {
    throw InOutError(codeForErrno(errno));
}

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

Error fileError(int err, const QString& path) {
    return Error(
        QStringLiteral("%1: %2").arg(InOutError::textFor(InOutError::codeForErrno(err)), quoted(path)));
}

} // namespace pixmora
