#pragma once

#include <QString>
#include <QStringList>

namespace pixmora {

// The folder of the running executable, with a trailing separator: where the program's own read-only
// files live ("px.jpg", "versao.txt"), and its written ones too while that folder can be written.
QString programFolder();
// Tests run the windows against a folder of their own; an empty path restores the executable's folder.
void setProgramFolderForTesting(const QString& folder);

// Where "config.txt" and "options.txt" live, with a trailing separator: the program folder when it can
// be written (a portable copy keeps everything together), otherwise the user's configuration folder,
// which gets the program folder's own copies of the two files the first time.
QString settingsFolder();
// The folder "update.txt" is downloaded into, with a trailing separator: empty (the current directory)
// when the program folder can be written, otherwise the user's cache folder.
QString downloadFolder();
// Tests decide whether the program folder counts as writable; no value goes back to asking the system.
void setProgramFolderWritableForTesting(int writable); // 1 writable, 0 not, -1 ask the system

// The program's text files, with errors that name the file: 'File not found: "/path/config.txt"'.
QStringList readOwnTextLines(const QString& path);
QString readOwnTextLine(const QString& path, int index);
void writeOwnTextFile(const QString& path, const QStringList& lines);

} // namespace pixmora
