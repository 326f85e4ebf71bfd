#pragma once

// What the loader targets share: the fuzzer's bytes handed to loadPicture as a file (a memory file,
// so no disk is touched), with a cap on the picture's size so that each run stays quick.

#include "Errors.h"
#include "PictureFile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace fuzz {

// Larger pictures are refused from their header, as the loader refuses pictures too large for memory.
constexpr long long MaxPixels = 1'000'000;

class MemoryFile {
public:
    MemoryFile() : m_fd(::memfd_create("picture", MFD_CLOEXEC)) {
        if (m_fd < 0)
            std::abort();
        m_path = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
    }
    const QString& path() const { return m_path; }
    void fill(const std::uint8_t* data, std::size_t size) {
        if (::ftruncate(m_fd, 0) != 0 ||
            (size > 0 && ::pwrite(m_fd, data, size, 0) != static_cast<ssize_t>(size)))
            std::abort();
    }

private:
    int m_fd;
    QString m_path;
};

// Loads the bytes, with `magic` written over their start so that every input reaches the decoder meant.
inline void loadAs(const std::uint8_t* data, std::size_t size, const char* magic, std::size_t magicSize) {
    static MemoryFile file;
    if (magicSize > 0) {
        QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        if (bytes.size() < static_cast<qsizetype>(magicSize))
            bytes.resize(static_cast<qsizetype>(magicSize));
        std::memcpy(bytes.data(), magic, magicSize);
        file.fill(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                  static_cast<std::size_t>(bytes.size()));
    } else {
        file.fill(data, size);
    }
    try {
        const pixmora::Bitmap bitmap = pixmora::loadPicture(file.path(), {MaxPixels});
        // A picture that loads is whole and within the cap.
        if (bitmap.isEmpty() || static_cast<long long>(bitmap.width()) * bitmap.height() > MaxPixels)
            std::abort();
    } catch (const pixmora::Error&) {
    }
}

} // namespace fuzz
