#pragma once

#include <QString>

#include <stdexcept>

namespace pixmora {

// An error the user will read: what() holds the message in UTF-8. Every failure of a file or picture
// operation travels as one of these up to the application-wide error report.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// A file error with its number, in the numbering the program's messages use:
// 2 "File not found", 3 "Invalid filename", 4 "Too many open files", 5 "File access denied",
// 100 "Read beyond end of file", 101 "Disk full", 106 "Invalid numeric input", any other "I/O error N".
class InOutError : public Error {
public:
    explicit InOutError(int code) : Error(textFor(code)), m_code(code) {}
    int code() const { return m_code; }
    static QString textFor(int code);
    // The file error number for a C errno value.
    static int codeForErrno(int err);
    // Throws the file error for the current errno.
    [[noreturn]] static void raiseFromErrno();

private:
    int m_code;
};

// A file name or other text as messages show it, in double quotes.
QString quoted(const QString& text);

// The file error for a C errno value, naming the file: `Disk full: "<path>"`.
Error fileError(int err, const QString& path);

} // namespace pixmora
