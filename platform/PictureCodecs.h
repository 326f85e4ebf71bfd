#pragma once

// The codecs behind PictureFile.h. Not for use outside platform/.

#include "Bitmap.h"

#include <QString>

#include <cstdio>

namespace pixmora {

class SafeFile;

namespace codecs {

// The path as messages show it, in double quotes.
QString quoted(const QString& path);
// Throws the file error for a C errno value, naming the file ("Disk full: \"...\"").
[[noreturn]] void raiseFileError(int err, const QString& path);

// checkPictureSize with the file named in the message.
void checkPictureSize(long long width, long long height, const QString& path);
// A black bitmap of a size that passed checkPictureSize; running out of memory becomes a clear Error.
Bitmap allocateBitmap(int width, int height, const QString& path);

// Readers. `file` is open at its start; `fileSize` is its length in bytes.
Bitmap readJpeg(std::FILE* file, const QString& path);
Bitmap readBmp(std::FILE* file, long long fileSize, const QString& path);

// Writers into an open SafeFile; the caller commits it.
void writeJpeg(const Bitmap& bitmap, SafeFile& file, int quality, const QString& path);
void writePng(const Bitmap& bitmap, SafeFile& file, const QString& path);

// The EXIF orientation (1..8) stored in the payload of an APP1 segment, or 0 when it holds none.
int exifOrientation(const unsigned char* data, std::size_t size);
// The picture turned and mirrored so that an EXIF orientation of `orientation` shows upright.
Bitmap orientedBitmap(const Bitmap& bitmap, int orientation, const QString& path);

} // namespace codecs
} // namespace pixmora
