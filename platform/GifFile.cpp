// GIF pictures are decoded by Qt, which shows a frame whose data ends early as a picture with a blank
// part. The first frame (the one the program shows) is therefore walked here first: its blocks read and
// its LZW codes counted, without decoding a pixel, to see that it is whole.

#include "Errors.h"
#include "PictureCodecs.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace pixmora::codecs {

namespace {

class GifWalker {
public:
    explicit GifWalker(const Source& source)
        : m_file(source.file), m_path(source.path), m_limits(source.limits) {}

    void checkFirstFrame() {
        std::uint8_t screen[13];
        read(screen, sizeof screen);
        const long long screenWidth = screen[6] | screen[7] << 8, screenHeight = screen[8] | screen[9] << 8;
        skipColourTable(screen[10]);
        for (;;) {
            const int introducer = byte();
            if (introducer == 0x21) { // extension: a label, then sub-blocks
                byte();
                skipSubBlocks();
            } else if (introducer == 0x2C) {
                std::uint8_t descriptor[9];
                read(descriptor, sizeof descriptor);
                const long long left = descriptor[0] | descriptor[1] << 8,
                                top = descriptor[2] | descriptor[3] << 8;
                const long long width = descriptor[4] | descriptor[5] << 8;
                const long long height = descriptor[6] | descriptor[7] << 8;
                // Qt's picture holds the whole screen and the frame on it, so that is what must fit.
                checkPictureSize(std::max(screenWidth, left + width), std::max(screenHeight, top + height),
                                 m_path, m_limits);
                skipColourTable(descriptor[8]);
                countPixels(width * height);
                return;
            } else {
                return; // the trailer or a stray byte: Qt tells whether there is a picture at all
            }
        }
    }

private:
    [[noreturn]] void damaged(const QString& what) const {
        throw Error(QStringLiteral("Damaged GIF picture %1: %2").arg(quoted(m_path), what));
    }
    [[noreturn]] void endsEarly() const { damaged(QStringLiteral("its first frame is incomplete")); }

    int byte() {
        const int c = std::getc(m_file);
        if (c == EOF)
            endsEarly();
        return c;
    }
    void read(std::uint8_t* buffer, std::size_t bytes) {
        if (std::fread(buffer, 1, bytes, m_file) != bytes)
            endsEarly();
    }
    void skip(long bytes) {
        for (; bytes > 0; --bytes)
            byte();
    }
    void skipColourTable(std::uint8_t flags) {
        if (flags & 0x80)
            skip(3L << ((flags & 7) + 1));
    }
    void skipSubBlocks() {
        while (const int length = byte())
            skip(length);
    }

    // Follows the LZW code stream of one frame as a decoder would, keeping only the length of each
    // table entry, until it has accounted for every pixel of the frame.
    void countPixels(long long pixels) {
        const int minimum = byte();
        if (minimum < 1 || minimum > 11)
            damaged(QStringLiteral("its LZW code size is %1").arg(minimum));
        const int clear = 1 << minimum, end = clear + 1;
        std::array<std::uint16_t, 4096> length{};
        for (int i = 0; i < clear; ++i)
            length[i] = 1;
        int width = minimum + 1, next = end + 1, previous = -1;
        long long seen = 0;
        std::uint32_t bits = 0;
        int bitCount = 0, blockLeft = 0;
        bool blocksEnded = false;
        while (seen < pixels) {
            while (bitCount < width) {
                if (blockLeft == 0 && !blocksEnded) {
                    blockLeft = byte();
                    blocksEnded = blockLeft == 0;
                }
                if (blocksEnded)
                    endsEarly();
                bits |= static_cast<std::uint32_t>(byte()) << bitCount;
                bitCount += 8;
                --blockLeft;
            }
            const int code = static_cast<int>(bits & ((1u << width) - 1));
            bits >>= width;
            bitCount -= width;
            if (code == clear) {
                width = minimum + 1;
                next = end + 1;
                previous = -1;
                continue;
            }
            if (code == end)
                endsEarly();
            if (previous < 0) {
                if (code > clear)
                    damaged(QStringLiteral("its LZW data is corrupt"));
                seen += 1;
                previous = code;
                continue;
            }
            if (code < next)
                seen += length[code];
            else if (code == next)
                seen += length[previous] + 1;
            else
                damaged(QStringLiteral("its LZW data is corrupt"));
            if (next < 4096) {
                length[next] = static_cast<std::uint16_t>(length[previous] + 1);
                ++next;
                if (next == 1 << width && width < 12)
                    ++width;
            }
            previous = code;
        }
    }

    std::FILE* m_file;
    QString m_path;
    PictureLimits m_limits;
};

} // namespace

void checkGifFrame(const Source& source) {
    GifWalker(source).checkFirstFrame();
    std::rewind(source.file);
}

} // namespace pixmora::codecs
