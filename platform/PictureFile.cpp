#include "PictureFile.h"

#include "Errors.h"
#include "PictureCodecs.h"
#include "SafeFile.h"

#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace pixmora {

namespace {

// Pictures may fill at most a quarter of the machine's memory: the engine holds up to four of them
// (source, shown, area result, noise layer).
constexpr long long BitmapsHeld = 4;

long long physicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return LLONG_MAX; // unknown: leave the decision to the allocator
    if (pages > LLONG_MAX / pageSize)
        return LLONG_MAX;
    return static_cast<long long>(pages) * pageSize;
}

QString sizeText(long long width, long long height) {
    return QStringLiteral("%1 x %2 pixels").arg(width).arg(height);
}

QString whichPicture(const QString& path) {
    return path.isNull() ? QStringLiteral("The picture")
                         : QStringLiteral("The picture %1").arg(codecs::quoted(path));
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Qt's readers decode into at most 8 bytes per pixel (16-bit RGBA); its own limit only backs up our size
// check for the few formats whose size is unknown before decoding, so it is as high as that check allows.
int qtAllocationLimitMiB() {
    const long long memory = physicalMemory();
    const long long mib = memory / (1024 * 1024) / BitmapsHeld * 8 / 3;
    return static_cast<int>(std::clamp<long long>(mib, 256, INT_MAX));
}

Bitmap readWithQt(const QString& path) {
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(qtAllocationLimitMiB());
    if (!reader.canRead())
        throw Error(QStringLiteral("Unknown picture format: %1").arg(codecs::quoted(path)));
    const QString format = QString::fromLatin1(reader.format()).toUpper();
    const QSize announced = reader.size();
    if (announced.isValid())
        codecs::checkPictureSize(announced.width(), announced.height(), path);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw Error(QStringLiteral("Damaged %1 picture %2: %3")
                        .arg(format, codecs::quoted(path), reader.errorString()));
    codecs::checkPictureSize(image.width(), image.height(), path);

    Bitmap bitmap = codecs::allocateBitmap(image.width(), image.height(), path);
    // Converted a strip at a time, so that a large picture is never held in three formats at once.
    constexpr int StripRows = 256;
    const std::size_t rowBytes = static_cast<std::size_t>(image.width()) * 3;
    for (int top = 0; top < image.height(); top += StripRows) {
        const int rows = std::min(StripRows, image.height() - top);
        const QImage strip = image.copy(0, top, image.width(), rows).convertToFormat(QImage::Format_BGR888);
        if (strip.isNull())
            throw Error(QStringLiteral("Not enough memory for the picture %1: %2")
                            .arg(codecs::quoted(path), sizeText(image.width(), image.height())));
        for (int y = 0; y < rows; ++y)
            std::memcpy(bitmap.row(top + y), strip.constScanLine(y), rowBytes);
    }
    return bitmap;
}

void writeBmp(const Bitmap& bitmap, SafeFile& file, const QString& path) {
    const unsigned long long imageBytes =
        static_cast<unsigned long long>(bitmap.stride()) * static_cast<unsigned long long>(bitmap.height());
    constexpr unsigned HeaderBytes = 14 + 40;
    if (imageBytes + HeaderBytes > 0xFFFFFFFFull)
        throw Error(QStringLiteral("%1 is too large for a BMP file: %2")
                        .arg(whichPicture(path), sizeText(bitmap.width(), bitmap.height())));

    unsigned char header[HeaderBytes] = {};
    auto put16 = [&](int at, unsigned v) {
        header[at] = static_cast<unsigned char>(v);
        header[at + 1] = static_cast<unsigned char>(v >> 8);
    };
    auto put32 = [&](int at, unsigned long long v) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    header[0] = 'B';
    header[1] = 'M';
    put32(2, imageBytes + HeaderBytes);
    put32(10, HeaderBytes);
    put32(14, 40);
    put32(18, static_cast<unsigned>(bitmap.width()));
    put32(22, static_cast<unsigned>(bitmap.height())); // positive: rows from the bottom
    put16(26, 1);                                      // planes
    put16(28, 24);                                     // bits per pixel
    put32(30, 0);                                      // BI_RGB
    put32(34, imageBytes);
    file.write(header, sizeof header);
    // The working bitmap's rows are already padded to four bytes with zeros, exactly as BMP wants them.
    for (int y = bitmap.height() - 1; y >= 0; --y)
        file.write(bitmap.row(y), static_cast<std::size_t>(bitmap.stride()));
}

// Runs a writer into a SafeFile, so that the target is only replaced by a complete file.
template <typename Writer> void writeSafely(const QString& path, Writer&& writer) {
    try {
        SafeFile file(path);
        writer(file);
        file.commit();
    } catch (const InOutError& e) {
        throw Error(QStringLiteral("%1: %2").arg(e.message(), codecs::quoted(path)));
    }
}

void refuseEmpty(const Bitmap& bitmap, const char* format, const QString& path) {
    if (bitmap.isEmpty())
        throw Error(
            QStringLiteral("Cannot write an empty picture (%1) as %2: %3")
                .arg(sizeText(bitmap.width(), bitmap.height()), QLatin1String(format), codecs::quoted(path)));
}

} // namespace

namespace codecs {

// A file error as the platform words it, naming the file.
[[noreturn]] void raiseFileError(int err, const QString& path) {
    throw Error(
        QStringLiteral("%1: %2").arg(InOutError::textFor(InOutError::codeForErrno(err)), quoted(path)));
}

QString quoted(const QString& path) {
    return QLatin1Char('"') + path + QLatin1Char('"');
}

void checkPictureSize(long long width, long long height, const QString& path) {
    if (width <= 0 || height <= 0)
        throw Error(QStringLiteral("%1 has no pixels: %2").arg(whichPicture(path), sizeText(width, height)));
    if (width > Bitmap::MaxSide || height > Bitmap::MaxSide)
        throw Error(QStringLiteral("%1 is too large: %2 (at most %3 pixels on a side)")
                        .arg(whichPicture(path), sizeText(width, height), QString::number(Bitmap::MaxSide)));
    const long long bytes = static_cast<long long>(Bitmap::strideFor(static_cast<int>(width))) * height;
    if (bytes > physicalMemory() / BitmapsHeld)
        throw Error(QStringLiteral("%1 is too large: %2 (more than this computer's memory can hold)")
                        .arg(whichPicture(path), sizeText(width, height)));
}

Bitmap allocateBitmap(int width, int height, const QString& path) {
    try {
        return Bitmap(width, height);
    } catch (const std::bad_alloc&) {
        throw Error(QStringLiteral("Not enough memory for the picture %1: %2")
                        .arg(quoted(path), sizeText(width, height)));
    }
}

} // namespace codecs

void checkPictureSize(long long width, long long height) {
    codecs::checkPictureSize(width, height, QString());
}

Bitmap loadPicture(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (path.isEmpty() || ::stat(name.constData(), &info) != 0)
        codecs::raiseFileError(path.isEmpty() ? ENOENT : errno, path);
    if (S_ISDIR(info.st_mode))
        throw Error(QStringLiteral("Not a picture file but a folder: %1").arg(codecs::quoted(path)));
    // A pipe or a device could block or never end.
    if (!S_ISREG(info.st_mode))
        throw Error(QStringLiteral("Not a regular file: %1").arg(codecs::quoted(path)));

    FileHandle file(std::fopen(name.constData(), "rb"));
    if (!file)
        codecs::raiseFileError(errno, path);
    struct stat opened;
    if (::fstat(::fileno(file.get()), &opened) != 0)
        codecs::raiseFileError(errno, path);

    unsigned char magic[3] = {};
    const std::size_t got = std::fread(magic, 1, sizeof magic, file.get());
    if (std::ferror(file.get()))
        codecs::raiseFileError(errno, path);
    if (got == 0)
        throw Error(QStringLiteral("Empty picture file: %1").arg(codecs::quoted(path)));
    std::rewind(file.get());

    if (got == 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
        return codecs::readJpeg(file.get(), path);
    if (got >= 2 && magic[0] == 'B' && magic[1] == 'M')
        return codecs::readBmp(file.get(), static_cast<long long>(opened.st_size), path);
    file.reset();
    return readWithQt(path);
}

PictureFormat formatForFileName(const QString& path) {
    if (path.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
        return PictureFormat::Bmp;
    if (path.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive) ||
        path.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive))
        return PictureFormat::Jpeg;
    if (path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        return PictureFormat::Png;
    return PictureFormat::Unknown;
}

void savePictureBmp(const Bitmap& bitmap, const QString& path) {
    writeSafely(path, [&](SafeFile& file) { writeBmp(bitmap, file, path); });
}

void savePictureJpeg(const Bitmap& bitmap, const QString& path, int quality) {
    refuseEmpty(bitmap, "JPEG", path);
    writeSafely(path, [&](SafeFile& file) { codecs::writeJpeg(bitmap, file, quality, path); });
}

void savePicturePng(const Bitmap& bitmap, const QString& path) {
    refuseEmpty(bitmap, "PNG", path);
    writeSafely(path, [&](SafeFile& file) { codecs::writePng(bitmap, file, path); });
}

void savePicture(const Bitmap& bitmap, const QString& path, PictureFormat format, int jpegQuality) {
    switch (format) {
    case PictureFormat::Bmp:
        return savePictureBmp(bitmap, path);
    case PictureFormat::Jpeg:
        return savePictureJpeg(bitmap, path, jpegQuality);
    case PictureFormat::Png:
        return savePicturePng(bitmap, path);
    case PictureFormat::Unknown:
        break;
    }
    throw Error(QStringLiteral("Unknown picture format for %1: use .bmp, .jpg, .jpeg or .png")
                    .arg(codecs::quoted(path)));
}

} // namespace pixmora
