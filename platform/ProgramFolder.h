#pragma once

#include <QString>

namespace pixmora {

// The folder of the running executable, with a trailing separator: where the program keeps its own
// files ("config.txt", "options.txt", "px.jpg", "versao.txt").
QString programFolder();
// Tests run the windows against a folder of their own; an empty path restores the executable's folder.
void setProgramFolderForTesting(const QString& folder);

} // namespace pixmora
