#include "ProgramFolder.h"

#include "Errors.h"
#include "TextFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>

namespace pixmora {

namespace {

QString g_override;
int g_writableForTesting = -1;

QString withSeparator(QString folder) {
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

bool programFolderWritable() {
    if (g_writableForTesting >= 0)
        return g_writableForTesting == 1;
    return ::access(QFile::encodeName(programFolder()).constData(), W_OK) == 0;
}

// A user folder of the program, made when missing; when it cannot be made the error names it.
QString userFolder(QStandardPaths::StandardLocation location) {
    const QString folder = QStandardPaths::writableLocation(location);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        throw Error(QStringLiteral("%1: \"%2\"").arg(InOutError::textFor(5), folder));
    return withSeparator(folder);
}

template <typename Operation> auto namingFile(const QString& path, Operation&& operation) {
    try {
        return operation();
    } catch (const InOutError& e) {
        throw Error(QStringLiteral("%1: \"%2\"").arg(e.message(), QDir::toNativeSeparators(path)));
    }
}

} // namespace

QString programFolder() {
    return withSeparator(g_override.isEmpty() ? QCoreApplication::applicationDirPath() : g_override);
}

void setProgramFolderForTesting(const QString& folder) {
    g_override = folder;
}

void setProgramFolderWritableForTesting(int writable) {
    g_writableForTesting = writable;
}

QString settingsFolder() {
    if (programFolderWritable())
        return programFolder();
    const QString folder = userFolder(QStandardPaths::AppConfigLocation);
    // The first run of an installed program starts from the files installed beside it, so that it
    // begins as after a normal exit rather than with an error about a missing file.
    for (const QString& name : {QStringLiteral("config.txt"), QStringLiteral("options.txt")}) {
        const QString own = folder + name;
        const QString shipped = programFolder() + name;
        if (!QFile::exists(own) && QFile::exists(shipped))
            writeTextFile(own, readTextLines(shipped));
    }
    return folder;
}

QString downloadFolder() {
    if (programFolderWritable())
        return QString();
    return userFolder(QStandardPaths::CacheLocation);
}

QStringList readOwnTextLines(const QString& path) {
    return namingFile(path, [&] { return readTextLines(path); });
}

QString readOwnTextLine(const QString& path, int index) {
    return namingFile(path, [&] { return readTextLine(path, index); });
}

void writeOwnTextFile(const QString& path, const QStringList& lines) {
    namingFile(path, [&] { writeTextFile(path, lines); });
}

} // namespace pixmora
