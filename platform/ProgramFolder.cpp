#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace pixmora {

namespace {
QString g_override;
}

QString programFolder() {
    QString folder = g_override.isEmpty() ? QCoreApplication::applicationDirPath() : g_override;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

void setProgramFolderForTesting(const QString& folder) {
    g_override = folder;
}

} // namespace pixmora
