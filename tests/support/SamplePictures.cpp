#include "SamplePictures.h"

#include "PictureFile.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

namespace samples {

QByteArray bytesOf(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

QByteArray makeBmp(const BmpSpec& s) {
    Bytes info;
    if (s.headerSize == 12) {
        info.u32(12)
            .u16(static_cast<unsigned>(s.width))
            .u16(static_cast<unsigned>(s.height))
            .u16(1)
            .u16(s.bitCount);
    } else {
        info.u32(static_cast<std::uint32_t>(s.headerSize))
            .u32(static_cast<std::uint32_t>(s.width))
            .u32(static_cast<std::uint32_t>(s.height))
            .u16(1)
            .u16(s.bitCount)
            .u32(s.compression)
            .u32(s.sizeImage)
            .u32(0)
            .u32(0)
            .u32(s.colorsUsed)
            .u32(0);
        if (s.headerSize > 40) {
            for (int i = 0; i < 4; ++i)
                info.u32(i < static_cast<int>(s.masks.size()) ? s.masks[i] : 0);
            while (static_cast<int>(info.v.size()) < s.headerSize)
                info.u8(0);
        } else {
            for (std::uint32_t m : s.masks)
                info.u32(m);
        }
    }
    for (std::uint32_t c : s.palette) {
        info.u8(c & 0xFF).u8(c >> 8 & 0xFF).u8(c >> 16 & 0xFF);
        if (s.headerSize != 12)
            info.u8(0);
    }
    const long long offset = s.pixelOffset >= 0 ? s.pixelOffset : 14 + static_cast<long long>(info.v.size());
    Bytes file;
    file.u8('B').u8('M').u32(static_cast<std::uint32_t>(14 + info.v.size() + s.pixels.size())).u32(0);
    file.u32(static_cast<std::uint32_t>(offset)).raw(info.v);
    while (static_cast<long long>(file.v.size()) < offset)
        file.u8(0);
    file.raw(s.pixels);
    return bytesOf(file.v);
}

Bitmap photo(int width, int height) {
    Bitmap p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* q = p.pixel(x, y);
            const int dx = x - width * 2 / 3, dy = y - height / 3;
            const bool disc = dx * dx + dy * dy < (height / 4) * (height / 4);
            const bool stripe = x < width / 4 && (y / 4) % 2 == 0;
            q[0] = static_cast<std::uint8_t>(255 * y / height);
            q[1] = static_cast<std::uint8_t>(225 * x / width + (stripe ? 0 : 30));
            q[2] = static_cast<std::uint8_t>(disc ? 220 : 40 + 60 * (x + y) / (width + height));
        }
    return p;
}

const std::vector<std::uint32_t>& palette16() {
    static const std::vector<std::uint32_t> colours = {
        0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
        0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
    };
    return colours;
}

IndexedPicture fewColours(int width, int height) {
    IndexedPicture p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // Petals of a flower on bands: long runs for RLE, single pixels at the edges.
            const int dx = x - width / 2, dy = y - height / 2;
            const int r2 = dx * dx + dy * dy;
            int index = (y * 4 / height) + 4;
            if (r2 < (height / 3) * (height / 3))
                index = 9 + (dx * dy > 0 ? 0 : 4);
            if (r2 < 16)
                index = 11;
            if ((x * 7 + y * 3) % 23 == 0)
                index = (x + y) % 16;
            p.indexes[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(index);
        }
    return p;
}

Bitmap IndexedPicture::bitmap() const {
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = palette16()[indexes[static_cast<std::size_t>(y) * width + x]];
            std::uint8_t* q = b.pixel(x, y);
            q[0] = static_cast<std::uint8_t>(c);
            q[1] = static_cast<std::uint8_t>(c >> 8);
            q[2] = static_cast<std::uint8_t>(c >> 16);
        }
    return b;
}

// --- JPEG -------------------------------------------------------------------------------------------

QByteArray jpeg(const Bitmap& picture, JpegKind kind, int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width());
    cinfo.image_height = static_cast<JDIMENSION>(picture.height());
    switch (kind) {
    case JpegKind::Grey:
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
        break;
    case JpegKind::AdobeCmyk:
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_CMYK;
        break;
    default:
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        break;
    }
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (kind == JpegKind::AdobeCmyk)
        jpeg_set_colorspace(&cinfo, JCS_YCCK); // as Adobe's programs store it, marker included
    if (kind == JpegKind::Progressive)
        jpeg_simple_progression(&cinfo);
    if (kind == JpegKind::Arithmetic)
        cinfo.arith_code = TRUE;
    if (kind == JpegKind::Restarts)
        cinfo.restart_in_rows = 1;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(picture.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* in = picture.row(static_cast<int>(cinfo.next_scanline));
        for (int x = 0; x < picture.width(); ++x, in += 3) {
            if (kind == JpegKind::Grey) {
                row[x] = static_cast<JSAMPLE>((in[0] * 29 + in[1] * 150 + in[2] * 77) >> 8);
            } else if (kind == JpegKind::AdobeCmyk) {
                // Inverted, no black: each ink channel holds the colour it leaves.
                row[4 * x] = in[2], row[4 * x + 1] = in[1], row[4 * x + 2] = in[0], row[4 * x + 3] = 255;
            } else {
                row[3 * x] = in[0], row[3 * x + 1] = in[1], row[3 * x + 2] = in[2];
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray result(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    std::free(out);
    return result;
}

QByteArray withExifOrientation(const QByteArray& jpegBytes, int orientation, bool bigEndian, int entryType) {
    Bytes tiff;
    auto u16 = [&](unsigned v) { bigEndian ? tiff.u8(v >> 8).u8(v & 0xFF) : tiff.u16(v); };
    auto u32 = [&](std::uint32_t v) {
        if (bigEndian) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            tiff.u32(v);
        }
    };
    tiff.u8(bigEndian ? 'M' : 'I').u8(bigEndian ? 'M' : 'I');
    u16(42);
    u32(8);
    u16(1);
    u16(0x0112);
    u16(static_cast<unsigned>(entryType));
    u32(1);
    if (entryType == 3) {
        u16(static_cast<unsigned>(orientation));
        u16(0);
    } else {
        u32(static_cast<std::uint32_t>(orientation));
    }
    u32(0);
    const QByteArray segment = QByteArray("Exif", 4) + QByteArray(2, '\0') + bytesOf(tiff.v);
    const int length = static_cast<int>(segment.size()) + 2;
    QByteArray marker("\xFF\xE1", 2);
    marker.append(static_cast<char>(length >> 8)).append(static_cast<char>(length & 0xFF));
    return jpegBytes.left(2) + marker + segment + jpegBytes.mid(2);
}

// --- PNG --------------------------------------------------------------------------------------------

namespace {

void appendPng(png_structp png, png_bytep data, png_size_t length) {
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
}

} // namespace

QByteArray png(const Bitmap& picture, PngKind kind) {
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
        throw std::runtime_error("libpng failed to write a sample");
    png_set_write_fn(png, &out, appendPng, nullptr);
    const int w = picture.width(), h = picture.height();
    int colourType = PNG_COLOR_TYPE_RGB, depth = 8, channels = 3;
    switch (kind) {
    case PngKind::RgbAlpha:
        colourType = PNG_COLOR_TYPE_RGB_ALPHA, channels = 4;
        break;
    case PngKind::Grey:
        colourType = PNG_COLOR_TYPE_GRAY, channels = 1;
        break;
    case PngKind::Palette:
        colourType = PNG_COLOR_TYPE_PALETTE, channels = 1;
        break;
    case PngKind::Rgb16:
        depth = 16;
        break;
    default:
        break;
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), depth, colourType,
                 kind == PngKind::Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette(256);
    if (kind == PngKind::Palette) {
        for (int i = 0; i < 256; ++i)
            palette[i] = {static_cast<png_byte>(i), static_cast<png_byte>(255 - i),
                          static_cast<png_byte>(i / 2)};
        png_set_PLTE(png, info, palette.data(), 256);
    }
    png_write_info(png, info);
    const int bytesPerSample = depth / 8;
    std::vector<png_byte> rows(static_cast<std::size_t>(w) * h * channels * bytesPerSample);
    std::vector<png_bytep> rowPointers(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        png_bytep row = rows.data() + static_cast<std::size_t>(y) * w * channels * bytesPerSample;
        rowPointers[y] = row;
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* q = picture.pixel(x, y);
            const int rgb[3] = {q[2], q[1], q[0]};
            for (int c = 0; c < channels; ++c) {
                int v;
                if (kind == PngKind::Grey || kind == PngKind::Palette)
                    v = (rgb[0] * 77 + rgb[1] * 150 + rgb[2] * 29) >> 8;
                else
                    v = c < 3 ? rgb[c] : (x * 255 / std::max(1, w - 1)); // alpha across the picture
                png_bytep sample = row + (static_cast<std::size_t>(x) * channels + c) * bytesPerSample;
                if (bytesPerSample == 2) {
                    const int wide = v * 257 + (x + y) % 200; // low bytes that only 16 bits hold
                    sample[0] = static_cast<png_byte>(wide >> 8);
                    sample[1] = static_cast<png_byte>(wide & 0xFF);
                } else {
                    sample[0] = static_cast<png_byte>(v);
                }
            }
        }
    }
    png_write_image(png, rowPointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// --- GIF --------------------------------------------------------------------------------------------

namespace {

// LZW that never lets the code width grow: a clear code before the table would need a wider code.
// Every decoder reads it; it compresses nothing, which samples do not need.
void lzwLiterals(Bytes& out, const std::vector<std::uint8_t>& pixels, int minimumCodeSize) {
    const unsigned clear = 1u << minimumCodeSize, end = clear + 1;
    const int width = minimumCodeSize + 1;
    std::vector<std::uint8_t> data;
    std::uint32_t bits = 0;
    int bitCount = 0;
    auto put = [&](unsigned code) {
        bits |= code << bitCount;
        bitCount += width;
        while (bitCount >= 8) {
            data.push_back(static_cast<std::uint8_t>(bits));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    const std::size_t perClear = clear - 3;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i % perClear == 0)
            put(clear);
        put(pixels[i]);
    }
    put(end);
    if (bitCount > 0)
        data.push_back(static_cast<std::uint8_t>(bits));
    out.u8(static_cast<unsigned>(minimumCodeSize));
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        out.u8(static_cast<unsigned>(n));
        out.v.insert(out.v.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.u8(0);
}

} // namespace

QByteArray gif(const IndexedPicture& picture, const GifOptions& options) {
    const int w = picture.width, h = picture.height;
    Bytes out;
    for (char c : std::string("GIF89a"))
        out.u8(static_cast<unsigned char>(c));
    out.u16(static_cast<unsigned>(w)).u16(static_cast<unsigned>(h));
    out.u8(0x80 | 3 << 4 | 3).u8(0).u8(0); // global table of 16 colours
    for (std::uint32_t c : palette16())
        out.u8(c >> 16 & 0xFF).u8(c >> 8 & 0xFF).u8(c & 0xFF);
    if (options.frames > 1) {
        const char loop[] = "NETSCAPE2.0";
        out.u8(0x21).u8(0xFF).u8(11);
        for (int i = 0; i < 11; ++i)
            out.u8(static_cast<unsigned char>(loop[i]));
        out.u8(3).u8(1).u16(0).u8(0);
    }
    for (int frame = 0; frame < options.frames; ++frame) {
        if (options.transparentIndex >= 0 || options.frames > 1) {
            const bool transparent = options.transparentIndex >= 0;
            out.u8(0x21).u8(0xF9).u8(4).u8(transparent ? 1 : 0).u16(10);
            out.u8(transparent ? static_cast<unsigned>(options.transparentIndex) : 0).u8(0);
        }
        out.u8(0x2C).u16(0).u16(0).u16(static_cast<unsigned>(w)).u16(static_cast<unsigned>(h));
        out.u8(options.interlaced ? 0x40 : 0);
        std::vector<std::uint8_t> order;
        auto addRow = [&](int y) {
            for (int x = 0; x < w; ++x)
                order.push_back(static_cast<std::uint8_t>(
                    (picture.indexes[static_cast<std::size_t>(y) * w + x] + frame) % 16));
        };
        if (options.interlaced) {
            for (const auto& [first, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
                for (int y = first; y < h; y += step)
                    addRow(y);
        } else {
            for (int y = 0; y < h; ++y)
                addRow(y);
        }
        lzwLiterals(out, order, 4);
    }
    out.u8(0x3B);
    return bytesOf(out.v);
}

// --- RLE --------------------------------------------------------------------------------------------

namespace {

// Rows are stored from the bottom. Each row: runs of equal pixels, with one literal of three pixels
// where the row starts unevenly, then an end of line; the picture ends with an end of picture code.
std::vector<std::uint8_t> rle(const IndexedPicture& p, bool four) {
    std::vector<std::uint8_t> out;
    for (int y = p.height - 1; y >= 0; --y) {
        const std::uint8_t* row = p.indexes.data() + static_cast<std::size_t>(y) * p.width;
        int x = 0;
        if (p.width >= 3 && row[0] != row[1]) {
            out.insert(out.end(), {0, 3});
            if (four)
                out.insert(out.end(), {static_cast<std::uint8_t>(row[0] << 4 | row[1]),
                                       static_cast<std::uint8_t>(row[2] << 4)});
            else
                out.insert(out.end(), {row[0], row[1], row[2], 0});
            x = 3;
        }
        while (x < p.width) {
            int n = 1;
            while (x + n < p.width && n < 255 && row[x + n] == row[x])
                ++n;
            out.push_back(static_cast<std::uint8_t>(n));
            out.push_back(four ? static_cast<std::uint8_t>(row[x] << 4 | row[x]) : row[x]);
            x += n;
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
}

} // namespace

std::vector<std::uint8_t> rle8(const IndexedPicture& picture) {
    return rle(picture, false);
}
std::vector<std::uint8_t> rle4(const IndexedPicture& picture) {
    return rle(picture, true);
}

// --- the sample files -------------------------------------------------------------------------------

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write the sample " + path.toStdString());
}

// Rows of 4-bit indexes, bottom row first, each padded to four bytes.
std::vector<std::uint8_t> packed4(const IndexedPicture& p) {
    const int stride = ((p.width * 4 + 31) / 32) * 4;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(stride) * p.height);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t index = p.indexes[static_cast<std::size_t>(y) * p.width + x];
            out[static_cast<std::size_t>(p.height - 1 - y) * stride + x / 2] |=
                static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
    return out;
}

} // namespace

std::vector<std::uint8_t> pixels32(const Bitmap& b) {
    std::vector<std::uint8_t> out;
    for (int y = b.height() - 1; y >= 0; --y)
        for (int x = 0; x < b.width(); ++x) {
            const std::uint8_t* q = b.pixel(x, y);
            out.insert(out.end(), {q[0], q[1], q[2], 255});
        }
    return out;
}

QImage toQImage(const Bitmap& b) {
    QImage image(b.width(), b.height(), QImage::Format_BGR888);
    for (int y = 0; y < b.height(); ++y)
        std::copy_n(b.row(y), 3 * b.width(), image.scanLine(y));
    return image;
}

void writeSamples(const QString& folder) {
    QDir().mkpath(folder);
    auto at = [&](const char* name) { return QDir(folder).filePath(QLatin1String(name)); };

    const Bitmap logo = photo(320, 240);
    pixmora::savePictureJpeg(logo, at("logo.jpg"), 90);
    QFile baseline(at("logo.jpg"));
    baseline.open(QIODevice::ReadOnly);
    const QByteArray logoJpeg = baseline.readAll();
    write(at("logo-progressive.jpg"), jpeg(logo, JpegKind::Progressive));
    write(at("logo-gray.jpg"), jpeg(logo, JpegKind::Grey));
    write(at("logo-cmyk.jpg"), jpeg(logo, JpegKind::AdobeCmyk));
    write(at("logo-exif6.jpg"), withExifOrientation(logoJpeg, 6, true));
    pixmora::savePicturePng(logo, at("logo.png"));

    const IndexedPicture rose = fewColours(70, 46);
    const Bitmap roseBitmap = rose.bitmap();
    write(at("rose.bmp"), makeBmp({.headerSize = 124,
                                   .width = rose.width,
                                   .height = rose.height,
                                   .bitCount = 32,
                                   .compression = 3,
                                   .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                                   .pixels = pixels32(roseBitmap)}));
    pixmora::savePictureBmp(roseBitmap, at("rose-24.bmp"));
    write(at("rose-32.bmp"),
          makeBmp(
              {.width = rose.width, .height = rose.height, .bitCount = 32, .pixels = pixels32(roseBitmap)}));
    write(at("rose-pal8.bmp"), makeBmp({.width = rose.width,
                                        .height = rose.height,
                                        .bitCount = 4,
                                        .palette = palette16(),
                                        .colorsUsed = 16,
                                        .pixels = packed4(rose)}));
    write(at("rose-rle8.bmp"), makeBmp({.width = rose.width,
                                        .height = rose.height,
                                        .bitCount = 8,
                                        .compression = 1,
                                        .palette = palette16(),
                                        .colorsUsed = 16,
                                        .pixels = rle8(rose)}));
    write(at("rose.gif"), gif(rose));
    write(at("rose-alpha.png"), png(roseBitmap, PngKind::RgbAlpha));
}

} // namespace samples
