#pragma once

#include "Bitmap.h"

#include <QString>

#include <cstddef>
#include <functional>

namespace pixmora {

enum class PictureFormat { Bmp, Jpeg, Png, Gif, Unknown };

// What a file's first bytes say it holds: JPEG, BMP, PNG or GIF, Unknown for anything else (which one of
// Qt's readers may still know). ContentSniffBytes are enough to decide.
constexpr std::size_t ContentSniffBytes = 8;
PictureFormat formatOfContent(const unsigned char* start, std::size_t size);
// The same for a file's content; Unknown also when the file cannot be read.
PictureFormat formatOfFile(const QString& path);

// How large a picture the loader takes on.
struct PictureLimits {
    // At most this many pixels; 0: as many as this machine's memory allows for editing the picture.
    long long maxPixels = 0;
};

// The bytes the program holds to edit a picture of this size: its source, the shown picture, the area
// result and the noise layer.
long long editingBytes(long long width, long long height);
// The memory pictures may take: half of the lesser of what the system reports as available and what the
// process's address-space limit leaves. Asked afresh at every load.
long long pictureMemoryBudget();

// Reads a picture file into a working bitmap, by the file's content (not its name): JPEG through
// libjpeg, BMP, and everything Qt's image reader knows (PNG, GIF, ICO ...). A JPEG's EXIF orientation is
// applied. Throws Error with a message that says what went wrong and names the file (a file that cannot
// be opened gets the platform's file error text, e.g. `File not found: "<path>"`).
//
// The picture's size is checked against `limits` from its header, before any pixel buffer exists, and
// rows are paid for as the decoder delivers them, so a file that claims a huge picture and ends early
// costs little. A damaged picture (data missing before its last row) is refused, never shown in part.
Bitmap loadPicture(const QString& path, const PictureLimits& limits = {});

// Refuses, with a clear Error, a picture of this size: a side of 65 536 pixels or more, more pixels than
// limits.maxPixels, or (without that limit) more than pictureMemoryBudget() can hold for editing.
void checkPictureSize(long long width, long long height, const PictureLimits& limits = {});

// The writer a file name asks for, by its ending, letter case ignored: .bmp, .jpg/.jpeg, .png.
PictureFormat formatForFileName(const QString& path);

// Writers. Each one writes through a SafeFile, so a failure or a stopped process leaves any old file
// untouched and never a half-written one. Failures throw Error naming the file. JPEG and PNG cannot hold
// an empty (0 x 0) picture.
void savePictureBmp(const Bitmap& bitmap, const QString& path);               // 24-bit, uncompressed
void savePictureJpeg(const Bitmap& bitmap, const QString& path, int quality); // colour, baseline
void savePicturePng(const Bitmap& bitmap, const QString& path);
// By format; a format without a writer (GIF, Unknown) throws an Error and writes nothing.
void savePicture(const Bitmap& bitmap, const QString& path, PictureFormat format, int jpegQuality = 80);

// Turns row y of the picture as read into the row to write, in place.
using RowFilter = std::function<void(Bitmap& picture, int y)>;

// loadPicture followed by savePicture, the same file and the same errors; with `filter`, what is saved
// is the picture it makes of the one read, row by row, in place. With `twoThreads`, a JPEG written as JPEG
// goes from the decoder (and the filter) to the encoder row by row, the two at work at once on two threads
// (one with an EXIF orientation to apply is read whole first).
void convertPicture(const QString& input, const QString& output, PictureFormat format, int jpegQuality,
                    const PictureLimits& limits, bool twoThreads, const RowFilter& filter = {});

} // namespace pixmora
