#pragma once

#include <QString>
#include <QStringList>

namespace pixmora {

// The program's text files. Reading: a line ends at a line feed, carriage returns are dropped wherever
// they stand, a byte 26 ends the text, and the text is UTF-8. Writing: the whole file at once, each line
// ended by CR LF, through a temporary file so the old content survives a failed write.
// Failures raise InOutError ("File not found" ...).
QStringList readTextLines(const QString& path);
// Line `index` (0-based) of the file, or the empty text when the file has fewer lines.
QString readTextLine(const QString& path, int index);
void writeTextFile(const QString& path, const QStringList& lines);
// The lines of a text's bytes, by the reading rules above.
QStringList splitTextLines(const QByteArray& bytes);

} // namespace pixmora
