// PNG: written through libpng straight from the working bitmap's rows; read by Qt, after a walk over
// the file's chunks.

#include "Errors.h"
#include "PictureCodecs.h"
#include "SafeFile.h"

#include <cstdint>
#include <cstdio>

#include <png.h>

namespace pixmora::codecs {

namespace {

struct PngMessage {
    char text[256] = {};
};

// libpng aborts the process if its error handler returns, so ours jumps back to the running step.
[[noreturn]] void onPngError(png_structp png, png_const_charp message) {
    auto* target = static_cast<PngMessage*>(png_get_error_ptr(png));
    std::snprintf(target->text, sizeof target->text, "%s", message ? message : "unknown error");
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

struct PngWriter {
    PngMessage message;
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngWriter() {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, onPngError, onPngWarning);
        if (png)
            info = png_create_info_struct(png);
    }
    ~PngWriter() { png_destroy_write_struct(&png, &info); }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;
};

} // namespace

void writePng(const Bitmap& bitmap, SafeFile& file, const QString& path) {
    PngWriter w;
    if (!w.png || !w.info)
        throw Error(QStringLiteral("Cannot write the PNG picture %1: not enough memory").arg(quoted(path)));
    const bool written = guarded(png_jmpbuf(w.png), [&] {
        png_init_io(w.png, file.stream());
        png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(bitmap.width()),
                     static_cast<png_uint_32>(bitmap.height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(w.png, w.info);
        png_set_bgr(w.png);
        for (int y = 0; y < bitmap.height(); ++y)
            png_write_row(w.png, bitmap.row(y));
        png_write_end(w.png, w.info);
    });
    if (!written)
        throw Error(QStringLiteral("Cannot write the PNG picture %1: %2")
                        .arg(quoted(path), QString::fromLocal8Bit(w.message.text)));
}

// Qt's reader hands the file to libpng, which trusts each chunk's length: a few bytes claiming a chunk
// of a gigabyte make it allocate and clear that much before it finds the data missing. So the chunks
// are walked first, and one that reaches beyond the end of the file is damage. The header's size is
// checked on the way, before anything is decoded. The rest (checksums, a missing end) is Qt's to judge.
void checkPngChunks(const Source& source) {
    auto damaged = [&](const QString& what) {
        throw Error(QStringLiteral("Damaged PNG picture %1: %2").arg(quoted(source.path), what));
    };
    auto u32 = [](const unsigned char* p) {
        return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    };
    long long at = 8; // after the signature
    for (bool first = true;; first = false) {
        unsigned char header[8 + 8];
        if (source.size - at < 8 || ::fseeko(source.file, static_cast<off_t>(at), SEEK_SET) != 0 ||
            std::fread(header, 1, 8, source.file) != 8)
            break;
        const long long length = u32(header);
        const QByteArray type(reinterpret_cast<const char*>(header + 4), 4);
        bool named = true;
        for (const char c : type)
            named = named && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
        if (length > source.size - at - 8)
            damaged(QStringLiteral("its %1chunk of %2 bytes reaches beyond the end of the file")
                        .arg(named ? QString::fromLatin1(type + ' ') : QString(), QString::number(length)));
        if (first && type == "IHDR" && length >= 8) {
            if (std::fread(header + 8, 1, 8, source.file) != 8)
                break;
            checkPictureSize(u32(header + 8), u32(header + 12), source.path, source.limits);
        }
        if (type == "IEND")
            break;
        at += 12 + length;
    }
    std::rewind(source.file);
}

} // namespace pixmora::codecs
