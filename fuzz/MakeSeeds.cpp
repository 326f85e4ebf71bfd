// Writes the fuzz targets' starting corpus, one folder per target, from the program's own writers and
// the sample encoders of the tests: small pictures of every variant the loaders know.
// Usage: fuzz_seeds FOLDER

#include "PictureFile.h"
#include "SamplePictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>

using namespace samples;

namespace {

QString g_root;

void put(const char* target, const QString& name, const QByteArray& bytes) {
    const QString folder = QDir(g_root).filePath(QLatin1String(target));
    QDir().mkpath(folder);
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

QByteArray written(const std::function<void(const QString&)>& save) {
    const QString path = QDir(g_root).filePath(QStringLiteral(".seed"));
    save(path);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    file.remove();
    return bytes;
}

QByteArray qtWritten(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

void jpegSeeds() {
    const Bitmap picture = photo(48, 32);
    const QByteArray baseline = written([&](const QString& p) { pixmora::savePictureJpeg(picture, p, 80); });
    put("jpeg", "baseline.jpg", baseline);
    put("jpeg", "progressive.jpg", jpeg(picture, JpegKind::Progressive));
    put("jpeg", "grey.jpg", jpeg(picture, JpegKind::Grey));
    put("jpeg", "cmyk.jpg", jpeg(picture, JpegKind::AdobeCmyk));
    put("jpeg", "arithmetic.jpg", jpeg(picture, JpegKind::Arithmetic));
    put("jpeg", "restarts.jpg", jpeg(picture, JpegKind::Restarts));
    put("jpeg", "odd-size.jpg", jpeg(photo(13, 7), JpegKind::Baseline, 50));
    for (int orientation : {3, 6, 8})
        put("jpeg", QStringLiteral("exif%1.jpg").arg(orientation),
            withExifOrientation(baseline, orientation, true));
    put("jpeg", "exif5-intel.jpg", withExifOrientation(baseline, 5, false));
    put("jpeg", "exif7-long.jpg", withExifOrientation(baseline, 7, false, 4));
}

void bmpSeeds() {
    const IndexedPicture indexed = fewColours(9, 5);
    const Bitmap picture = indexed.bitmap();
    put("bmp", "24.bmp", written([&](const QString& p) { pixmora::savePictureBmp(picture, p); }));
    const std::vector<std::uint8_t> pixels32 = samples::pixels32(picture);
    std::vector<std::uint8_t> pixels16, pixels8, pixels1;
    for (int y = picture.height() - 1; y >= 0; --y) {
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint8_t* q = picture.pixel(x, y);
            const unsigned v = (q[2] >> 3) << 10 | (q[1] >> 3) << 5 | q[0] >> 3;
            pixels16.insert(pixels16.end(),
                            {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
            pixels8.push_back(indexed.indexes[static_cast<std::size_t>(y) * indexed.width + x]);
        }
        while (pixels16.size() % 4)
            pixels16.push_back(0);
        while (pixels8.size() % 4)
            pixels8.push_back(0);
        pixels1.insert(pixels1.end(), {static_cast<std::uint8_t>(0xA5 ^ y), 0x80, 0, 0});
    }
    const int w = picture.width(), h = picture.height();
    const std::vector<std::uint32_t> masks565 = {0xF800, 0x07E0, 0x001F};
    const std::vector<std::uint32_t> masks32 = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    put("bmp", "32.bmp", makeBmp({.width = w, .height = h, .bitCount = 32, .pixels = pixels32}));
    put("bmp", "32-v5.bmp",
        makeBmp({.headerSize = 124,
                 .width = w,
                 .height = h,
                 .bitCount = 32,
                 .compression = 3,
                 .masks = masks32,
                 .pixels = pixels32}));
    put("bmp", "32-v4-topdown.bmp",
        makeBmp({.headerSize = 108,
                 .width = w,
                 .height = -h,
                 .bitCount = 32,
                 .compression = 3,
                 .masks = masks32,
                 .pixels = pixels32}));
    put("bmp", "16-555.bmp", makeBmp({.width = w, .height = h, .bitCount = 16, .pixels = pixels16}));
    put("bmp", "16-565.bmp",
        makeBmp({.width = w,
                 .height = h,
                 .bitCount = 16,
                 .compression = 3,
                 .masks = masks565,
                 .pixels = pixels16}));
    put("bmp", "16-alpha-masks.bmp",
        makeBmp({.headerSize = 56,
                 .width = w,
                 .height = h,
                 .bitCount = 16,
                 .compression = 6,
                 .masks = {0x7C00, 0x03E0, 0x001F, 0x8000},
                 .pixels = pixels16}));
    put("bmp", "8.bmp",
        makeBmp({.width = w,
                 .height = h,
                 .bitCount = 8,
                 .palette = palette16(),
                 .colorsUsed = 16,
                 .pixels = pixels8}));
    put("bmp", "8-core.bmp",
        makeBmp({.headerSize = 12,
                 .width = w,
                 .height = h,
                 .bitCount = 8,
                 .palette = std::vector<std::uint32_t>(256, 0x336699),
                 .pixels = pixels8}));
    put("bmp", "1.bmp",
        makeBmp(
            {.width = w, .height = h, .bitCount = 1, .palette = {0x102030, 0xF0E0D0}, .pixels = pixels1}));
    put("bmp", "2.bmp",
        makeBmp(
            {.width = 4, .height = 1, .bitCount = 2, .palette = {1, 2, 3, 4}, .pixels = {0x1B, 0, 0, 0}}));
    put("bmp", "rle8.bmp",
        makeBmp({.width = w,
                 .height = h,
                 .bitCount = 8,
                 .compression = 1,
                 .palette = palette16(),
                 .colorsUsed = 16,
                 .pixels = rle8(indexed)}));
    put("bmp", "rle4.bmp",
        makeBmp({.width = w,
                 .height = h,
                 .bitCount = 4,
                 .compression = 2,
                 .palette = palette16(),
                 .colorsUsed = 16,
                 .pixels = rle4(indexed)}));
}

void pngSeeds() {
    const Bitmap picture = photo(24, 16);
    put("png", "rgb.png", written([&](const QString& p) { pixmora::savePicturePng(picture, p); }));
    put("png", "alpha.png", png(picture, PngKind::RgbAlpha));
    put("png", "grey.png", png(picture, PngKind::Grey));
    put("png", "palette.png", png(picture, PngKind::Palette));
    put("png", "16-bit.png", png(picture, PngKind::Rgb16));
    put("png", "interlaced.png", png(picture, PngKind::Interlaced));
}

void gifSeeds() {
    const IndexedPicture picture = fewColours(20, 12);
    put("gif", "plain.gif", gif(picture));
    put("gif", "interlaced.gif", gif(picture, {.interlaced = true}));
    put("gif", "transparent.gif", gif(picture, {.transparentIndex = 3}));
    put("gif", "animated.gif", gif(picture, {.frames = 3}));
}

void qtSeeds() {
    const QImage image = toQImage(photo(16, 12));
    for (const char* format : {"ico", "ppm", "pgm", "pbm", "xbm", "xpm"})
        put("qt", QStringLiteral("picture.%1").arg(QLatin1String(format)), qtWritten(image, format));
    put("qt", "text.txt", "P3\n2 1\n255\n255 0 0 0 255 0\n");
    // The loader's own formats too: this target takes whatever a user might open.
    put("qt", "picture.png", png(photo(8, 8), PngKind::Rgb));
    put("qt", "picture.gif", gif(fewColours(8, 8)));
}

QByteArray arguments(std::initializer_list<const char*> list) {
    QByteArray bytes;
    for (const char* argument : list) {
        if (!bytes.isEmpty())
            bytes.append('\0');
        bytes.append(argument);
    }
    return bytes;
}

void optionSeeds() {
    const QByteArray lines[] = {
        arguments({"--brightness", "40", "--contrast=-30", "in.jpg", "out.png"}),
        arguments({"--grayscale", "--invert", "--out-dir", "out", "--format", "jpg", "a.bmp", "b.gif"}),
        arguments({"--quality=55", "--max-megapixels", "100", "--", "-x.jpg", "y.jpeg"}),
        arguments({"--help"}),
        arguments({"--mosaic", "2147483647", "--tile=-2147483648", "a", "b.bmp"}),
    };
    int n = 0;
    for (const QByteArray& line : lines)
        put("options", QStringLiteral("line%1").arg(++n), line);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_root);
    jpegSeeds();
    bmpSeeds();
    pngSeeds();
    gifSeeds();
    qtSeeds();
    optionSeeds();
    return 0;
}
