// Windows and OS/2 bitmap files. Every size, offset and count in the file is checked against the file's
// length before it is used, so a hostile file ends in an Error, never in a read past the data.

#include "Errors.h"
#include "PictureCodecs.h"

#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pixmora::codecs {

namespace {

enum Compression : std::uint32_t {
    Rgb = 0,
    Rle8 = 1,
    Rle4 = 2,
    BitFields = 3,
    Jpeg = 4,
    Png = 5,
    AlphaBitFields = 6,
};

using Colour = std::array<std::uint8_t, 3>; // blue, green, red

// One colour channel of a 16- or 32-bit pixel. Narrow channels are widened to eight bits by repeating
// their bits, as Windows does (5 bits: 31 -> 255, 16 -> 132), so that white stays white; wider ones keep
// their top eight bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m = 0) : mask(m) {
        if (mask == 0)
            return;
        shift = std::countr_zero(mask);
        bits = std::bit_width(mask >> shift);
    }
    std::uint8_t operator()(std::uint32_t pixel) const {
        if (bits == 0)
            return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8)
            return static_cast<std::uint8_t>(v >> (bits - 8));
        std::uint32_t wide = 0;
        int filled = 0;
        for (; filled < 8; filled += bits)
            wide = wide << bits | v;
        return static_cast<std::uint8_t>(wide >> (filled - 8));
    }
};

class BmpReader {
public:
    explicit BmpReader(const Source& source)
        : m_file(source.file), m_fileSize(source.size), m_path(source.path), m_limits(source.limits) {}

    Bitmap read() {
        readHeaders();
        Bitmap bitmap = allocateBitmap(static_cast<int>(m_width), static_cast<int>(m_height), m_path);
        if (m_compression == Rle8 || m_compression == Rle4)
            readRle(bitmap);
        else
            readRows(bitmap);
        return bitmap;
    }

private:
    [[noreturn]] void damaged(const QString& what) const {
        throw Error(QStringLiteral("Damaged BMP picture %1: %2").arg(quoted(m_path), what));
    }
    [[noreturn]] void unsupported(const QString& what) const {
        throw Error(QStringLiteral("Unsupported BMP picture %1: %2").arg(quoted(m_path), what));
    }
    // A read that the checks said would succeed failed after all: the file changed or the disk failed.
    [[noreturn]] void readFailed() const {
        if (std::ferror(m_file) && errno != 0)
            throw fileError(errno, m_path);
        damaged(QStringLiteral("the file ends early"));
    }

    void readAt(long long offset, void* buffer, std::size_t bytes) {
        if (::fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0 ||
            std::fread(buffer, 1, bytes, m_file) != bytes)
            readFailed();
    }
    void readNext(void* buffer, std::size_t bytes) {
        if (std::fread(buffer, 1, bytes, m_file) != bytes)
            readFailed();
    }

    static std::uint32_t u16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
    static std::uint32_t u32(const std::uint8_t* p) {
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }

    void readHeaders() {
        constexpr long long FileHeader = 14;
        if (m_fileSize < FileHeader + 4)
            damaged(QStringLiteral("the file ends inside its header"));
        std::uint8_t h[FileHeader + 124] = {};
        readAt(0, h, FileHeader + 4);
        const long long pixelOffset = u32(h + 10);
        const std::uint32_t headerSize = u32(h + 14);
        switch (headerSize) {
        case 12:
        case 40:
        case 52:
        case 56:
        case 108:
        case 124:
            break;
        case 16:
        case 64:
            unsupported(QStringLiteral("OS/2 2.x bitmaps are not supported"));
        default:
            damaged(QStringLiteral("unknown header size of %1 bytes").arg(headerSize));
        }
        if (FileHeader + headerSize > m_fileSize)
            damaged(QStringLiteral("the file ends inside its header"));
        readAt(FileHeader, h + FileHeader, headerSize);

        const bool core = headerSize == 12;
        std::uint32_t bitCount, colorsUsed = 0;
        if (core) {
            m_width = u16(h + 18);
            m_height = u16(h + 20);
            bitCount = u16(h + 24);
            m_compression = Rgb;
        } else {
            m_width = static_cast<std::int32_t>(u32(h + 18));
            const long long height = static_cast<std::int32_t>(u32(h + 22));
            m_topDown = height < 0;
            m_height = m_topDown ? -height : height;
            bitCount = u16(h + 28);
            m_compression = u32(h + 30);
            m_compressedSize = u32(h + 34);
            colorsUsed = u32(h + 46);
        }
        if (m_width <= 0)
            damaged(QStringLiteral("its width is %1 pixels").arg(m_width));
        if (m_height == 0)
            damaged(QStringLiteral("its height is 0 pixels"));
        checkPictureSize(m_width, m_height, m_path, m_limits);
        m_bitCount = static_cast<int>(bitCount);

        // The bit masks of a 40-byte header follow it; the larger headers hold them.
        long long tableStart = FileHeader + headerSize;
        std::uint32_t red = 0, green = 0, blue = 0;
        switch (m_compression) {
        case Rgb:
            if (bitCount != 1 && bitCount != 2 && bitCount != 4 && bitCount != 8 && bitCount != 16 &&
                bitCount != 24 && bitCount != 32)
                unsupported(QStringLiteral("a colour depth of %1 bits").arg(bitCount));
            if (core && (bitCount == 2 || bitCount == 16 || bitCount == 32))
                unsupported(QStringLiteral("a colour depth of %1 bits").arg(bitCount));
            if (bitCount == 16)
                red = 0x7C00, green = 0x03E0, blue = 0x001F;
            else
                red = 0xFF0000, green = 0xFF00, blue = 0xFF;
            break;
        case Rle8:
        case Rle4: {
            const std::uint32_t needed = m_compression == Rle8 ? 8 : 4;
            if (bitCount != needed)
                damaged(QStringLiteral("RLE%1 compression with %2 bits per pixel").arg(needed).arg(bitCount));
            break;
        }
        case BitFields:
        case AlphaBitFields:
            if (bitCount != 16 && bitCount != 32)
                damaged(QStringLiteral("bit masks with %1 bits per pixel").arg(bitCount));
            if (headerSize == 40) {
                const long long maskBytes = m_compression == BitFields ? 12 : 16;
                if (tableStart + maskBytes > m_fileSize)
                    damaged(QStringLiteral("the file ends inside its bit masks"));
                readAt(tableStart, h + tableStart, 12);
                tableStart += maskBytes;
            }
            red = u32(h + 54), green = u32(h + 58), blue = u32(h + 62);
            break;
        case Jpeg:
        case Png:
            unsupported(QStringLiteral("embedded %1 data is not supported")
                            .arg(m_compression == Jpeg ? QStringLiteral("JPEG") : QStringLiteral("PNG")));
        default:
            damaged(QStringLiteral("unknown compression %1").arg(m_compression));
        }
        m_red = Channel(red), m_green = Channel(green), m_blue = Channel(blue);

        if (pixelOffset < FileHeader + headerSize)
            damaged(
                QStringLiteral("its pixel data would start at byte %1, inside its header").arg(pixelOffset));
        if (pixelOffset >= m_fileSize)
            damaged(QStringLiteral("its pixel data would start at byte %1, beyond the end of the file")
                        .arg(pixelOffset));
        m_pixelOffset = pixelOffset;

        if (bitCount <= 8)
            readColourTable(tableStart, core ? 3 : 4, colorsUsed);
    }

    void readColourTable(long long start, int entryBytes, std::uint32_t colorsUsed) {
        const long long possible = 1LL << m_bitCount;
        long long count = colorsUsed != 0 && colorsUsed < possible ? colorsUsed : possible;
        // Some writers store fewer entries than the depth allows and start the pixels right after them.
        if (m_pixelOffset >= start && (m_pixelOffset - start) / entryBytes < count)
            count = (m_pixelOffset - start) / entryBytes;
        if (count == 0)
            damaged(QStringLiteral("its colour table is missing"));
        if (start + count * entryBytes > m_fileSize)
            damaged(QStringLiteral("its colour table reaches beyond the end of the file"));
        std::uint8_t table[256 * 4];
        readAt(start, table, static_cast<std::size_t>(count * entryBytes));
        // Indexes beyond the table show black.
        for (long long i = 0; i < count; ++i)
            std::memcpy(m_palette[i].data(), table + i * entryBytes, 3);
    }

    int targetRow(long long storedRow) const {
        return static_cast<int>(m_topDown ? storedRow : m_height - 1 - storedRow);
    }

    void readRows(Bitmap& bitmap) {
        const long long rowBits = m_width * m_bitCount;
        const long long storedStride = (rowBits + 31) / 32 * 4;
        const long long rowBytes = (rowBits + 7) / 8;
        // The last row may lack its padding: some writers leave it out.
        const long long needed = storedStride * (m_height - 1) + rowBytes;
        if (needed > m_fileSize - m_pixelOffset)
            damaged(QStringLiteral("its pixel data is cut short (%1 of %2 bytes)")
                        .arg(m_fileSize - m_pixelOffset)
                        .arg(needed));

        std::vector<std::uint8_t> stored(static_cast<std::size_t>(storedStride));
        std::vector<Colour> wide;
        if (m_bitCount == 16) {
            // Every 16-bit value once, instead of three divisions per pixel.
            wide.resize(65536);
            for (std::uint32_t v = 0; v < 65536; ++v)
                wide[v] = {m_blue(v), m_green(v), m_red(v)};
        }
        const bool plain32 = m_red.mask == 0xFF0000 && m_green.mask == 0xFF00 && m_blue.mask == 0xFF;
        if (::fseeko(m_file, static_cast<off_t>(m_pixelOffset), SEEK_SET) != 0)
            readFailed();
        for (long long i = 0; i < m_height; ++i) {
            const bool last = i == m_height - 1;
            const std::size_t bytes = static_cast<std::size_t>(last ? rowBytes : storedStride);
            std::uint8_t* out = bitmap.row(targetRow(i));
            if (m_bitCount == 24) {
                readNext(out, static_cast<std::size_t>(rowBytes));
                if (!last)
                    readNext(stored.data(), bytes - static_cast<std::size_t>(rowBytes));
                continue;
            }
            readNext(stored.data(), bytes);
            const std::uint8_t* in = stored.data();
            if (m_bitCount == 32) {
                for (long long x = 0; x < m_width; ++x, in += 4, out += 3) {
                    if (plain32) {
                        out[0] = in[0], out[1] = in[1], out[2] = in[2];
                    } else {
                        const std::uint32_t v = u32(in);
                        out[0] = m_blue(v), out[1] = m_green(v), out[2] = m_red(v);
                    }
                }
            } else if (m_bitCount == 16) {
                for (long long x = 0; x < m_width; ++x, in += 2, out += 3)
                    std::memcpy(out, wide[u16(in)].data(), 3);
            } else {
                const int bits = m_bitCount;
                const unsigned mask = (1u << bits) - 1;
                for (long long x = 0; x < m_width; ++x, out += 3) {
                    const long long bit = x * bits;
                    const unsigned index = (in[bit / 8] >> (8 - bits - bit % 8)) & mask;
                    std::memcpy(out, m_palette[index].data(), 3);
                }
            }
        }
    }

    // Run-length coded pixels, read as a stream so that nothing beyond the file's length is trusted.
    void readRle(Bitmap& bitmap) {
        long long remaining = m_fileSize - m_pixelOffset;
        if (m_compressedSize != 0 && m_compressedSize < remaining)
            remaining = m_compressedSize;
        if (::fseeko(m_file, static_cast<off_t>(m_pixelOffset), SEEK_SET) != 0)
            readFailed();
        auto next = [&]() -> int {
            if (remaining <= 0)
                return -1;
            --remaining;
            const int c = std::getc(m_file);
            if (c == EOF)
                readFailed();
            return c;
        };
        const bool rle8 = m_compression == Rle8;
        long long x = 0, row = 0;
        // Pixels the data skips stay black.
        auto put = [&](unsigned index) {
            if (x < m_width && row < m_height)
                std::memcpy(bitmap.pixel(static_cast<int>(x), targetRow(row)), m_palette[index].data(), 3);
            ++x;
        };
        auto endsEarly = [&] { damaged(QStringLiteral("its compressed pixel data ends early")); };
        while (row < m_height) {
            const int count = next();
            const int value = next();
            if (value < 0)
                endsEarly();
            if (count > 0) {
                for (int k = 0; k < count; ++k)
                    put(rle8 ? static_cast<unsigned>(value) : (k % 2 == 0 ? value >> 4 : value & 15));
                continue;
            }
            if (value == 0) { // end of line
                x = 0;
                ++row;
            } else if (value == 1) { // end of picture
                break;
            } else if (value == 2) { // move right and up
                const int dx = next();
                const int dy = next();
                if (dy < 0)
                    endsEarly();
                x += dx;
                row += dy;
            } else { // `value` pixels stored as they are, padded to a whole 16-bit word
                int byte = 0;
                for (int k = 0; k < value; ++k) {
                    if (rle8 || k % 2 == 0) {
                        byte = next();
                        if (byte < 0)
                            endsEarly();
                    }
                    put(rle8 ? static_cast<unsigned>(byte) : (k % 2 == 0 ? byte >> 4 : byte & 15));
                }
                const int stored = rle8 ? value : (value + 1) / 2;
                if (stored % 2 != 0)
                    next();
            }
        }
    }

    std::FILE* m_file;
    long long m_fileSize;
    QString m_path;
    PictureLimits m_limits;

    long long m_width = 0;
    long long m_height = 0;
    bool m_topDown = false;
    int m_bitCount = 0;
    std::uint32_t m_compression = Rgb;
    long long m_compressedSize = 0;
    long long m_pixelOffset = 0;
    Channel m_red, m_green, m_blue;
    std::array<Colour, 256> m_palette{};
};

} // namespace

Bitmap readBmp(const Source& source) {
    return BmpReader(source).read();
}

} // namespace pixmora::codecs
