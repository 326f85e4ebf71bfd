#pragma once

// Sample picture files made on the spot, so that the tests and the fuzz targets' seeds need nothing
// beside the sources: JPEG (baseline, progressive, grey, CMYK, EXIF orientation), BMP in its header and
// depth variants, PNG with and without alpha, GIF. Baseline JPEG, 24-bit BMP and RGB PNG come from the
// program's own writers, the other variants from libjpeg, libpng and the small encoders here.

#include "Bitmap.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

namespace samples {

using pixmora::Bitmap;

// Little-endian byte writer for crafting files.
struct Bytes {
    std::vector<std::uint8_t> v;
    Bytes& u8(unsigned x) {
        v.push_back(static_cast<std::uint8_t>(x));
        return *this;
    }
    Bytes& u16(unsigned x) { return u8(x & 0xFF).u8(x >> 8 & 0xFF); }
    Bytes& u32(std::uint32_t x) { return u16(x & 0xFFFF).u16(x >> 16); }
    Bytes& raw(const std::vector<std::uint8_t>& more) {
        v.insert(v.end(), more.begin(), more.end());
        return *this;
    }
};

QByteArray bytesOf(const std::vector<std::uint8_t>& v);

// A BMP file as a writer might make it, with every field open to lies.
struct BmpSpec {
    int headerSize = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;
    unsigned bitCount = 24;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> masks{};   // after a 40-byte header, or inside a larger one
    std::vector<std::uint32_t> palette{}; // 0x00RRGGBB
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint8_t> pixels{};
    long long pixelOffset = -1; // -1: right after the palette
    std::uint32_t sizeImage = 0;
};
QByteArray makeBmp(const BmpSpec& spec);
// Rows as 32-bit pixels with an opaque alpha byte, bottom row first (a BMP's own order).
std::vector<std::uint8_t> pixels32(const Bitmap& b);
// A copy of the bitmap as a Qt image, for Qt's encoders and transforms.
QImage toQImage(const Bitmap& b);

// A photo-like picture: gradients, a disc with a hard edge, fine stripes.
Bitmap photo(int width, int height);
// A picture of at most 16 colours, all taken from `palette16()`, given as palette indexes too.
struct IndexedPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> indexes; // row 0 first
    Bitmap bitmap() const;
};
IndexedPicture fewColours(int width, int height);
const std::vector<std::uint32_t>& palette16(); // 0x00RRGGBB

// Encoders for the variants the program does not write itself.
enum class JpegKind { Baseline, Progressive, Grey, AdobeCmyk, Arithmetic, Restarts };
QByteArray jpeg(const Bitmap& picture, JpegKind kind, int quality = 90);
// The JPEG with an EXIF segment holding one orientation entry, right after its start marker.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation, bool bigEndian, int entryType = 3);

enum class PngKind { Rgb, RgbAlpha, Grey, Palette, Rgb16, Interlaced };
QByteArray png(const Bitmap& picture, PngKind kind);

struct GifOptions {
    bool interlaced = false;
    int transparentIndex = -1;
    int frames = 1; // further frames repeat the first, shifted
};
QByteArray gif(const IndexedPicture& picture, const GifOptions& options = {});

// Index pixels as RLE8 or RLE4 data: runs, a literal, end of line and end of picture codes.
std::vector<std::uint8_t> rle8(const IndexedPicture& picture);
std::vector<std::uint8_t> rle4(const IndexedPicture& picture);

// The sample files, by name: logo.jpg, logo-progressive.jpg, logo-gray.jpg, logo-cmyk.jpg,
// logo-exif6.jpg, logo.png (320 x 240, a photo-like picture); rose.bmp (V5 header), rose-24.bmp,
// rose-32.bmp, rose-pal8.bmp (4-bit palette), rose-rle8.bmp, rose.gif, rose-alpha.png (70 x 46, the
// same sixteen-colour picture).
void writeSamples(const QString& folder);

} // namespace samples
