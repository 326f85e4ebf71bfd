// PNG through libpng, written straight from the working bitmap's rows.

#include "Errors.h"
#include "PictureCodecs.h"
#include "SafeFile.h"

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

} // namespace pixmora::codecs
