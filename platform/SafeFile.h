#pragma once

#include <QString>

#include <cstdio>

namespace pixmora {

// Writes a file so that it is never seen half-written: the content goes into a temporary file in the
// same folder, which replaces the target only after everything was written and flushed. Destroying an
// uncommitted SafeFile removes the temporary file and leaves the target as it was.
class SafeFile {
public:
    explicit SafeFile(const QString& path); // throws InOutError when the folder cannot take the file
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    std::FILE* stream() { return m_stream; }
    void write(const void* data, std::size_t bytes); // throws InOutError
    void commit();                                   // throws InOutError; the target then holds the data

private:
    QString m_path;
    QByteArray m_target;
    QByteArray m_folder;
    QByteArray m_temporary;
    std::FILE* m_stream = nullptr;
    bool m_committed = false;
};

} // namespace pixmora
