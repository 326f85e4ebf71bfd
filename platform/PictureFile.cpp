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
#include <exception>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pixmora {

namespace {

// Pictures held while one is edited: source, shown, area result, noise layer.
constexpr long long BitmapsHeld = 4;

long long pageSize() {
    const long size = ::sysconf(_SC_PAGE_SIZE);
    return size > 0 ? size : 4096;
}

// What the system reports as available: MemAvailable counts the caches it would give up, unlike free
// memory.
long long availableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    long long value = 0;
    std::string unit;
    while (meminfo >> key >> value) {
        std::getline(meminfo, unit);
        if (key == "MemAvailable:")
            return value > LLONG_MAX / 1024 ? LLONG_MAX : value * 1024;
    }
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    if (pages <= 0)
        return LLONG_MAX; // unknown: leave the decision to the allocator
    return pages > LLONG_MAX / pageSize() ? LLONG_MAX : pages * pageSize();
}

// What the process's address-space limit leaves beside what the process already maps.
long long addressSpaceLeft() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return LLONG_MAX;
    long long mapped = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> mapped;
    const long long left = static_cast<long long>(limit.rlim_cur) - mapped * pageSize();
    return std::max(0LL, left);
}

QString sizeText(long long width, long long height) {
    return QStringLiteral("%1 x %2 pixels").arg(width).arg(height);
}

QString bytesText(long long bytes) {
    if (bytes >= 1'000'000'000)
        return QStringLiteral("%1 GB").arg(static_cast<double>(bytes) / 1e9, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg((bytes + 999'999) / 1'000'000);
}

QString whichPicture(const QString& path) {
    return path.isNull() ? QStringLiteral("The picture") : QStringLiteral("The picture %1").arg(quoted(path));
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

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

// The one way pictures reach the disk: through writeAtomically, with file errors naming the file.
template <typename Writer> void writePicture(const QString& path, Writer&& writer) {
    try {
        writeAtomically(path, writer);
    } catch (const InOutError& e) {
        throw Error(QStringLiteral("%1: %2").arg(e.message(), quoted(path)));
    }
}

void refuseEmpty(const Bitmap& bitmap, const char* format, const QString& path) {
    if (bitmap.isEmpty())
        throw Error(QStringLiteral("Cannot write an empty picture (%1) as %2: %3")
                        .arg(sizeText(bitmap.width(), bitmap.height()), QLatin1String(format), quoted(path)));
}

} // namespace

long long editingBytes(long long width, long long height) {
    const long long stride = (width * 3 + 3) & ~3LL;
    return BitmapsHeld * stride * height;
}

long long pictureMemoryBudget() {
    return std::min(availableMemory(), addressSpaceLeft()) / 2;
}

namespace codecs {

void checkPictureSize(long long width, long long height, const QString& path, const PictureLimits& limits) {
    if (width <= 0 || height <= 0)
        throw Error(QStringLiteral("%1 has no pixels: %2").arg(whichPicture(path), sizeText(width, height)));
    if (width > Bitmap::MaxSide || height > Bitmap::MaxSide)
        throw Error(QStringLiteral("%1 is too large: %2 (at most %3 pixels on a side)")
                        .arg(whichPicture(path), sizeText(width, height), QString::number(Bitmap::MaxSide)));
    if (limits.maxPixels > 0) {
        if (width * height > limits.maxPixels)
            throw Error(QStringLiteral("%1 is too large: %2 (more than the limit of %3 megapixels)")
                            .arg(whichPicture(path), sizeText(width, height),
                                 QString::number(static_cast<double>(limits.maxPixels) / 1e6)));
        return;
    }
    const long long needed = editingBytes(width, height);
    const long long budget = pictureMemoryBudget();
    if (needed > budget)
        throw Error(
            QStringLiteral("%1 is too large for this machine's memory: %2 (editing it takes %3; "
                           "%4 can be spared)")
                .arg(whichPicture(path), sizeText(width, height), bytesText(needed), bytesText(budget)));
}

long long decoderAllowance(long long width, long long height, const PictureLimits& limits) {
    const long long bitmap = editingBytes(width, height) / BitmapsHeld;
    // Without a memory limit of its own the decoder may take as much as three more bitmaps would.
    if (limits.maxPixels > 0)
        return (BitmapsHeld - 1) * bitmap;
    return std::max(0LL, pictureMemoryBudget() - bitmap);
}

Bitmap allocateBitmap(int width, int height, const QString& path) {
    try {
        return Bitmap(width, height);
    } catch (const std::bad_alloc&) {
        throw Error(QStringLiteral("Not enough memory for the picture %1: %2")
                        .arg(quoted(path), sizeText(width, height)));
    }
}

bool runGuarded(std::jmp_buf& jump, void (*step)(void*), void* context) {
    if (setjmp(jump) != 0)
        return false;
    step(context);
    return true;
}

// Qt's readers decode whole pictures into images of their own before we see a row, so their size is
// checked from the header when the format announces it, and Qt's allocation limit backs that up.
Bitmap readWithQt(const Source& source) {
    QFile device;
    if (::lseek(::fileno(source.file), 0, SEEK_SET) != 0 ||
        !device.open(::fileno(source.file), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw fileError(errno != 0 ? errno : EIO, source.path);
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    const long long allowance = std::clamp<long long>(
        source.limits.maxPixels > 0 ? source.limits.maxPixels * 8 : pictureMemoryBudget(), 0, LLONG_MAX);
    reader.setAllocationLimit(static_cast<int>(std::clamp<long long>(allowance >> 20, 1, INT_MAX)));
    if (!reader.canRead())
        throw Error(QStringLiteral("Unknown picture format: %1").arg(quoted(source.path)));
    const QString format = QString::fromLatin1(reader.format()).toUpper();
    const QSize announced = reader.size();
    if (announced.isValid())
        checkPictureSize(announced.width(), announced.height(), source.path, source.limits);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw Error(QStringLiteral("Damaged %1 picture %2: %3")
                        .arg(format, quoted(source.path), reader.errorString()));
    checkPictureSize(image.width(), image.height(), source.path, source.limits);

    Bitmap bitmap = allocateBitmap(image.width(), image.height(), source.path);
    // Converted a strip at a time, so that a large picture is never held in three formats at once.
    constexpr int StripRows = 256;
    const std::size_t rowBytes = static_cast<std::size_t>(image.width()) * 3;
    for (int top = 0; top < image.height(); top += StripRows) {
        const int rows = std::min(StripRows, image.height() - top);
        const QImage strip = image.copy(0, top, image.width(), rows).convertToFormat(QImage::Format_BGR888);
        if (strip.isNull())
            throw Error(QStringLiteral("Not enough memory for the picture %1: %2")
                            .arg(quoted(source.path), sizeText(image.width(), image.height())));
        for (int y = 0; y < rows; ++y)
            std::memcpy(bitmap.row(top + y), strip.constScanLine(y), rowBytes);
    }
    return bitmap;
}

} // namespace codecs

void checkPictureSize(long long width, long long height, const PictureLimits& limits) {
    codecs::checkPictureSize(width, height, QString(), limits);
}

PictureFormat formatOfContent(const unsigned char* start, std::size_t size) {
    auto startsWith = [&](const char* magic, std::size_t length) {
        return size >= length && std::memcmp(start, magic, length) == 0;
    };
    if (startsWith("\xFF\xD8\xFF", 3))
        return PictureFormat::Jpeg;
    if (startsWith("BM", 2))
        return PictureFormat::Bmp;
    if (startsWith("\x89PNG\r\n\x1A\n", 8))
        return PictureFormat::Png;
    if (startsWith("GIF87a", 6) || startsWith("GIF89a", 6))
        return PictureFormat::Gif;
    return PictureFormat::Unknown;
}

PictureFormat formatOfFile(const QString& path) {
    FileHandle file(std::fopen(QFile::encodeName(path).constData(), "rb"));
    unsigned char start[ContentSniffBytes];
    const std::size_t got = file ? std::fread(start, 1, sizeof start, file.get()) : 0;
    return formatOfContent(start, got);
}

namespace {

// A picture file opened for reading, with what its first bytes say it holds.
struct OpenedPicture {
    FileHandle file;
    codecs::Source source;
    PictureFormat format;
};

OpenedPicture openPicture(const QString& path, const PictureLimits& limits) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (path.isEmpty() || ::stat(name.constData(), &info) != 0)
        throw fileError(path.isEmpty() ? ENOENT : errno, path);
    if (S_ISDIR(info.st_mode))
        throw Error(QStringLiteral("Not a picture file but a folder: %1").arg(quoted(path)));
    // A pipe or a device could block or never end.
    if (!S_ISREG(info.st_mode))
        throw Error(QStringLiteral("Not a regular file: %1").arg(quoted(path)));

    FileHandle file(std::fopen(name.constData(), "rbe"));
    if (!file)
        throw fileError(errno, path);
    struct stat opened;
    if (::fstat(::fileno(file.get()), &opened) != 0)
        throw fileError(errno, path);

    unsigned char start[ContentSniffBytes] = {};
    const std::size_t got = std::fread(start, 1, sizeof start, file.get());
    if (std::ferror(file.get()))
        throw fileError(errno, path);
    if (got == 0)
        throw Error(QStringLiteral("Empty picture file: %1").arg(quoted(path)));
    std::rewind(file.get());

    const codecs::Source source{file.get(), static_cast<long long>(opened.st_size), path, limits};
    return {std::move(file), source, formatOfContent(start, got)};
}

Bitmap readPicture(const OpenedPicture& picture) {
    const codecs::Source& source = picture.source;
    switch (picture.format) {
    case PictureFormat::Jpeg:
        return codecs::readJpeg(source);
    case PictureFormat::Bmp:
        return codecs::readBmp(source);
    case PictureFormat::Gif:
        codecs::checkGifFrame(source);
        break;
    case PictureFormat::Png:
        codecs::checkPngChunks(source);
        break;
    case PictureFormat::Unknown:
        break;
    }
    return codecs::readWithQt(source);
}

} // namespace

Bitmap loadPicture(const QString& path, const PictureLimits& limits) {
    return readPicture(openPicture(path, limits));
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
    writePicture(path, [&](SafeFile& file) { writeBmp(bitmap, file, path); });
}

void savePictureJpeg(const Bitmap& bitmap, const QString& path, int quality) {
    refuseEmpty(bitmap, "JPEG", path);
    writePicture(path, [&](SafeFile& file) { codecs::writeJpeg(bitmap, file, quality, path); });
}

void savePicturePng(const Bitmap& bitmap, const QString& path) {
    refuseEmpty(bitmap, "PNG", path);
    writePicture(path, [&](SafeFile& file) { codecs::writePng(bitmap, file, path); });
}

void convertPicture(const QString& input, const QString& output, PictureFormat format, int jpegQuality,
                    const PictureLimits& limits, bool twoThreads, const RowFilter& filter) {
    auto saveWhole = [&](Bitmap picture) {
        if (filter)
            for (int y = 0; y < picture.height(); ++y)
                filter(picture, y);
        savePicture(picture, output, format, jpegQuality);
    };
    if (!twoThreads || format != PictureFormat::Jpeg)
        return saveWhole(loadPicture(input, limits));
    const OpenedPicture opened = openPicture(input, limits);
    if (opened.format != PictureFormat::Jpeg)
        return saveWhole(readPicture(opened));
    codecs::JpegReader reader(opened.source);
    Bitmap picture = codecs::allocateBitmap(reader.width(), reader.height(), input);
    if (reader.orientation() != 1) {
        reader.decode(picture);
        return saveWhole(codecs::orientedBitmap(picture, reader.orientation(), input));
    }
    // The decoder (and the filter) on a thread of its own, the encoder here taking each row once it is
    // there. A failure of either leaves no file: the decoder's says what went wrong first.
    writePicture(output, [&](SafeFile& file) {
        codecs::RowsInFlight rows;
        std::exception_ptr failure;
        std::thread decoder([&] {
            try {
                int done = 0;
                reader.decode(picture, [&](int count) {
                    for (; filter && done < count; ++done)
                        filter(picture, done);
                    rows.deliver(count);
                });
            } catch (...) {
                failure = std::current_exception();
                rows.fail();
            }
        });
        std::exception_ptr writing;
        try {
            codecs::writeJpeg(picture, file, jpegQuality, output, &rows);
        } catch (...) {
            writing = std::current_exception();
        }
        decoder.join();
        if (failure || writing)
            std::rethrow_exception(failure ? failure : writing);
    });
}

void savePicture(const Bitmap& bitmap, const QString& path, PictureFormat format, int jpegQuality) {
    switch (format) {
    case PictureFormat::Bmp:
        return savePictureBmp(bitmap, path);
    case PictureFormat::Jpeg:
        return savePictureJpeg(bitmap, path, jpegQuality);
    case PictureFormat::Png:
        return savePicturePng(bitmap, path);
    case PictureFormat::Gif:
    case PictureFormat::Unknown:
        break;
    }
    throw Error(
        QStringLiteral("Unknown picture format for %1: use .bmp, .jpg, .jpeg or .png").arg(quoted(path)));
}

} // namespace pixmora
