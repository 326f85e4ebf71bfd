#pragma once

#include "Bitmap.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace filetest {

using pixmora::Bitmap;

inline QString sample(const char* name) {
    return QStringLiteral(PIXMORA_TESTDATA_DIR "/") + QLatin1String(name);
}

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

inline QByteArray bytesOf(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

// Qt's own idea of a picture as a working bitmap: the independent decoder the tests compare with.
inline Bitmap fromQImage(const QImage& image) {
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    Bitmap b(bgr.width(), bgr.height());
    for (int y = 0; y < bgr.height(); ++y)
        std::copy_n(bgr.constScanLine(y), 3 * bgr.width(), b.row(y));
    return b;
}

inline QImage toQImage(const Bitmap& b) {
    QImage image(b.width(), b.height(), QImage::Format_BGR888);
    for (int y = 0; y < b.height(); ++y)
        std::copy_n(b.row(y), 3 * b.width(), image.scanLine(y));
    return image;
}

// Mean absolute difference per channel of two bitmaps of one size.
inline double meanAbsDiff(const Bitmap& a, const Bitmap& b) {
    long long sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < 3 * a.width(); ++x)
            sum += std::abs(a.row(y)[x] - b.row(y)[x]);
    return static_cast<double>(sum) / (3.0 * a.width() * a.height());
}

// A picture whose every pixel differs from its neighbours, so that any mix-up of rows, columns or
// channels shows.
inline Bitmap patterned(int width, int height) {
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = b.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(x * 7 + y * 3);
            p[1] = static_cast<std::uint8_t>(x * 13 + y * 29 + 5);
            p[2] = static_cast<std::uint8_t>(x * 31 + y * 17 + 101);
        }
    return b;
}

// Little-endian byte writer for crafting files.
struct Bytes {
    std::vector<std::uint8_t> v;
    Bytes& u8(unsigned x) {
        v.push_back(static_cast<std::uint8_t>(x));
        return *this;
    }
    Bytes& u16(unsigned x) { return u8(x & 0xFF).u8(x >> 8 & 0xFF); }
    Bytes& u32(std::uint32_t x) { return u16(x & 0xFFFF).u16(x >> 16); }
    Bytes& raw(const std::vector<std::uint8_t>& more) {
        v.insert(v.end(), more.begin(), more.end());
        return *this;
    }
};

// A BMP file as a writer might make it, with every field open to lies.
struct BmpSpec {
    int headerSize = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;
    unsigned bitCount = 24;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> masks{};   // after a 40-byte header, or inside a larger one
    std::vector<std::uint32_t> palette{}; // 0x00RRGGBB
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint8_t> pixels{};
    long long pixelOffset = -1; // -1: right after the palette
    std::uint32_t sizeImage = 0;
};

inline QByteArray makeBmp(const BmpSpec& s) {
    Bytes info;
    if (s.headerSize == 12) {
        info.u32(12)
            .u16(static_cast<unsigned>(s.width))
            .u16(static_cast<unsigned>(s.height))
            .u16(1)
            .u16(s.bitCount);
    } else {
        info.u32(static_cast<std::uint32_t>(s.headerSize))
            .u32(static_cast<std::uint32_t>(s.width))
            .u32(static_cast<std::uint32_t>(s.height))
            .u16(1)
            .u16(s.bitCount)
            .u32(s.compression)
            .u32(s.sizeImage)
            .u32(0)
            .u32(0)
            .u32(s.colorsUsed)
            .u32(0);
        if (s.headerSize > 40) {
            for (int i = 0; i < 4; ++i)
                info.u32(i < static_cast<int>(s.masks.size()) ? s.masks[i] : 0);
            while (static_cast<int>(info.v.size()) < s.headerSize)
                info.u8(0);
        } else {
            for (std::uint32_t m : s.masks)
                info.u32(m);
        }
    }
    for (std::uint32_t c : s.palette) {
        info.u8(c & 0xFF).u8(c >> 8 & 0xFF).u8(c >> 16 & 0xFF);
        if (s.headerSize != 12)
            info.u8(0);
    }
    const long long offset = s.pixelOffset >= 0 ? s.pixelOffset : 14 + static_cast<long long>(info.v.size());
    Bytes file;
    file.u8('B').u8('M').u32(static_cast<std::uint32_t>(14 + info.v.size() + s.pixels.size())).u32(0);
    file.u32(static_cast<std::uint32_t>(offset)).raw(info.v);
    while (static_cast<long long>(file.v.size()) < offset)
        file.u8(0);
    file.raw(s.pixels);
    return bytesOf(file.v);
}

// A scratch folder for one test.
class ScratchDir {
public:
    ScratchDir() { EXPECT_TRUE(m_dir.isValid()); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString root() const { return m_dir.path(); }
    QStringList entries() const {
        return QDir(m_dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

private:
    QTemporaryDir m_dir;
};

} // namespace filetest
