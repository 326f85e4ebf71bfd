#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace pixmora {

// The working bitmap: 24 bits per pixel, row 0 at the top, each pixel stored as blue, green, red.
// Rows are padded to a multiple of four bytes (as in a BMP file, and as QImage likes them); the padding
// bytes are always zero and never take part in any effect.
class Bitmap {
public:
    Bitmap() = default;
    // A black bitmap of the given size. Throws std::length_error for sizes the program does not handle,
    // std::bad_alloc when the memory is not there. The pixels come from the system as untouched zero
    // pages, so a row costs memory only once it is written: a decoder that stops early has paid only
    // for the rows it delivered. Large pictures are mapped in huge pages where the system offers them.
    Bitmap(int width, int height);
    Bitmap(const Bitmap& other);
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(const Bitmap& other); // reuses the buffer when the size is unchanged
    Bitmap& operator=(Bitmap&& other) noexcept;

    int width() const { return m_width; }
    int height() const { return m_height; }
    std::ptrdiff_t stride() const { return m_stride; }
    bool isEmpty() const { return m_width == 0 || m_height == 0; }
    std::size_t byteCount() const { return m_bytes; }
    // Bytes of pixels in a row, without the padding.
    std::size_t rowBytes() const { return static_cast<std::size_t>(m_width) * 3; }

    std::uint8_t* bits() { return m_data.get(); }
    const std::uint8_t* bits() const { return m_data.get(); }
    std::uint8_t* row(int y) { return m_data.get() + y * m_stride; }
    const std::uint8_t* row(int y) const { return m_data.get() + y * m_stride; }
    std::uint8_t* pixel(int x, int y) { return row(y) + 3 * x; }
    const std::uint8_t* pixel(int x, int y) const { return row(y) + 3 * x; }

    // Bytes per row for a given width, or -1 when the width is negative or too large.
    static std::ptrdiff_t strideFor(int width);
    // Largest side the program accepts: positions of the tile resampling are 32-bit fixed point.
    static constexpr int MaxSide = 65535;

    // Lets the process keep up to `count` of the large buffers its bitmaps release and give them, cleared,
    // to new bitmaps that need the same length; 0 (the default) unmaps them. For many pictures of one
    // size in turn, whose fresh pages the system would otherwise fault in and clear for every picture.
    static void keepReleasedBuffers(int count);

    // Pixel-wise equality of size and content (padding is not compared).
    friend bool operator==(const Bitmap& a, const Bitmap& b);

private:
    struct Release {
        constexpr Release() noexcept : mapped(0) {}
        constexpr explicit Release(std::size_t length) noexcept : mapped(length) {}
        void operator()(std::uint8_t* p) const noexcept;
        std::size_t mapped; // the length of a buffer mapped from the system, 0 for one from the heap
    };
    using Buffer = std::unique_ptr<std::uint8_t, Release>;
    static Buffer allocate(std::size_t bytes);

    int m_width = 0;
    int m_height = 0;
    std::ptrdiff_t m_stride = 0;
    std::size_t m_bytes = 0;
    Buffer m_data;
};

} // namespace pixmora
