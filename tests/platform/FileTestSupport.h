#pragma once

#include "Bitmap.h"
#include "SamplePictures.h"

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
using samples::BmpSpec;
using samples::Bytes;
using samples::bytesOf;
using samples::makeBmp;
using samples::toQImage;

// A sample picture file (see SamplePictures.h), made on first use in a folder that lives as long as the
// test program.
inline QString sample(const char* name) {
    static const QString folder = [] {
        static QTemporaryDir dir;
        samples::writeSamples(dir.path());
        return dir.path();
    }();
    return QDir(folder).filePath(QLatin1String(name));
}

// The team's own collection of real-world pictures beside the sources, when it is there.
inline QString sharedSample(const char* name) {
    return QStringLiteral(PIXMORA_TESTDATA_DIR "/") + QLatin1String(name);
}
inline bool haveSharedSamples() {
    return QDir(QStringLiteral(PIXMORA_TESTDATA_DIR)).exists();
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

// Qt's own idea of a picture as a working bitmap: the independent decoder the tests compare with.
inline Bitmap fromQImage(const QImage& image) {
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    Bitmap b(bgr.width(), bgr.height());
    for (int y = 0; y < bgr.height(); ++y)
        std::copy_n(bgr.constScanLine(y), 3 * bgr.width(), b.row(y));
    return b;
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

// A scratch folder for one test.
class ScratchDir {
public:
    ScratchDir() { EXPECT_TRUE(m_dir.isValid()); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString root() const { return m_dir.path(); }
    QStringList entries() const {
        return QDir(m_dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

private:
    QTemporaryDir m_dir;
};

} // namespace filetest
