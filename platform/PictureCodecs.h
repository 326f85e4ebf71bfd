#pragma once

// The codecs behind PictureFile.h. Not for use outside platform/ (and its tests and fuzz targets).

#include "Bitmap.h"
#include "PictureFile.h"

#include <QString>

#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
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

// Rows of a picture that one thread decodes while another reads them, from the top.
class RowsInFlight {
public:
    // Rows 0..count-1 are final.
    void deliver(int count);
    // No more rows will come.
    void fail();
    // Waits until row `row` is final; returns how many rows are, or -1 once the delivery has failed.
    int waitFor(int row);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_rows = 0;
    bool m_failed = false;
};

// A JPEG file read in two steps: its header when constructed (the size checked against the limits, the
// EXIF orientation read; throws Error), then its rows.
class JpegReader {
public:
    explicit JpegReader(const Source& source);
    ~JpegReader();
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;
    int width() const;
    int height() const;
    int orientation() const; // 1..8, 1 when the file gives none
    // Decodes every row into `bitmap`, of the picture's size, as they stand in the file (the orientation
    // not applied); `delivered`, if given, hears how many rows are final each time more are. Throws Error.
    void decode(Bitmap& bitmap, const std::function<void(int)>& delivered = {});

private:
    struct Decoder;
    std::unique_ptr<Decoder> m_decoder;
};

// Readers.
Bitmap readJpeg(const Source& source);
Bitmap readBmp(const Source& source);
Bitmap readWithQt(const Source& source);
// Throws when the first frame of a GIF file is incomplete; anything else about it is left to Qt.
void checkGifFrame(const Source& source);
// Throws when a chunk of a PNG file claims more bytes than the file holds.
void checkPngChunks(const Source& source);

// Writers into an open SafeFile; writeAtomically commits it.
// With `rows`, each row is encoded once it is final there; a failed delivery stops the writer with an Error.
void writeJpeg(const Bitmap& bitmap, SafeFile& file, int quality, const QString& path,
               RowsInFlight* rows = nullptr);
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
