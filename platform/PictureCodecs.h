#pragma once

// The codecs behind PictureFile.h. Not for use outside platform/ (and its tests and fuzz targets).

#include "Bitmap.h"
#include "PictureFile.h"

#include <QString>

#include <csetjmp>
#include <cstdio>
#include <type_traits>

namespace pixmora {

class SafeFile;

namespace codecs {

// A picture file being read: open at its start, its length, its name for messages, the size it may have.
struct Source {
    std::FILE* file;
    long long size;
    QString path;
    PictureLimits limits;
};

// checkPictureSize with the file named in the message.
void checkPictureSize(long long width, long long height, const QString& path, const PictureLimits& limits);
// The bytes a decoder may hold besides the bitmap it fills, for a picture that passed checkPictureSize.
long long decoderAllowance(long long width, long long height, const PictureLimits& limits);
// A black bitmap of a size that passed checkPictureSize; running out of memory becomes a clear Error.
Bitmap allocateBitmap(int width, int height, const QString& path);

// Readers.
Bitmap readJpeg(const Source& source);
Bitmap readBmp(const Source& source);
Bitmap readWithQt(const Source& source);
// Throws when the first frame of a GIF file is incomplete; anything else about it is left to Qt.
void checkGifFrame(const Source& source);
// Throws when a chunk of a PNG file claims more bytes than the file holds.
void checkPngChunks(const Source& source);

// Writers into an open SafeFile; writeAtomically commits it.
void writeJpeg(const Bitmap& bitmap, SafeFile& file, int quality, const QString& path);
void writePng(const Bitmap& bitmap, SafeFile& file, const QString& path);

// The EXIF orientation (1..8) stored in the payload of an APP1 segment, or 0 when it holds none.
int exifOrientation(const unsigned char* data, std::size_t size);
// The picture turned and mirrored so that an EXIF orientation of `orientation` shows upright.
Bitmap orientedBitmap(const Bitmap& bitmap, int orientation, const QString& path);

// libjpeg and libpng report errors by a longjmp out of the running call. The frame holding setjmp must
// not hold live C++ objects that the jump would skip, so every such call runs inside this one and the
// step it calls, and those hold none. Returns false when the step jumped back.
bool runGuarded(std::jmp_buf& jump, void (*step)(void*), void* context);

template <typename Step> bool guarded(std::jmp_buf& jump, Step&& step) {
    return runGuarded(
        jump, [](void* context) { (*static_cast<std::remove_reference_t<Step>*>(context))(); }, &step);
}

} // namespace codecs
} // namespace pixmora
