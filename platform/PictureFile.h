#pragma once

#include "Bitmap.h"

#include <QString>

namespace pixmora {

enum class PictureFormat { Bmp, Jpeg, Png, Unknown };

// Reads a picture file into a working bitmap, by the file's content (not its name): JPEG through
// libjpeg, BMP, and everything Qt's image reader knows (PNG, GIF, ICO ...). A JPEG's EXIF orientation is
// applied. Throws Error with a message that says what went wrong and names the file (a file that cannot
// be opened gets the platform's file error text, e.g. `File not found: "<path>"`); nothing large is
// allocated for a picture the program cannot hold (see checkPictureSize).
Bitmap loadPicture(const QString& path);

// Refuses, with a clear Error, a picture of this size: a side of 65 536 pixels or more, or more bytes
// than this machine can hold several times over.
void checkPictureSize(long long width, long long height);

// The writer a file name asks for, by its ending, letter case ignored: .bmp, .jpg/.jpeg, .png.
PictureFormat formatForFileName(const QString& path);

// Writers. Each one writes through a temporary file in the target's folder and renames it over the
// target at the end, so a failure leaves any old file untouched and never a half-written one. Failures
// throw Error naming the file. JPEG and PNG cannot hold an empty (0 x 0) picture.
void savePictureBmp(const Bitmap& bitmap, const QString& path);               // 24-bit, uncompressed
void savePictureJpeg(const Bitmap& bitmap, const QString& path, int quality); // colour, baseline
void savePicturePng(const Bitmap& bitmap, const QString& path);
// By format; Unknown throws an Error and writes nothing.
void savePicture(const Bitmap& bitmap, const QString& path, PictureFormat format, int jpegQuality = 80);

} // namespace pixmora
