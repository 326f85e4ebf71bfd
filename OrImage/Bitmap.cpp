#include "Bitmap.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace pixmora {

std::ptrdiff_t Bitmap::strideFor(int width) {
    if (width < 0 || width > MaxSide)
        return -1;
    return (static_cast<std::ptrdiff_t>(width) * 3 + 3) & ~std::ptrdiff_t(3);
}

Bitmap::Bitmap(int width, int height) {
    if (width < 0 || height < 0 || width > MaxSide || height > MaxSide)
        throw std::length_error("picture size out of range");
    m_width = width;
    m_height = height;
    m_stride = strideFor(width);
    m_bytes = static_cast<std::size_t>(m_stride) * static_cast<std::size_t>(height);
    // calloc takes large blocks straight from the system, already zero, without writing them. A picture
    // without pixels still gets a buffer, so that its rows are valid pointers.
    m_data.reset(static_cast<std::uint8_t*>(std::calloc(m_bytes == 0 ? 1 : m_bytes, 1)));
    if (!m_data)
        throw std::bad_alloc();
}

Bitmap::Bitmap(const Bitmap& other) : Bitmap() {
    *this = other;
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : m_width(std::exchange(other.m_width, 0)), m_height(std::exchange(other.m_height, 0)),
      m_stride(std::exchange(other.m_stride, 0)), m_bytes(std::exchange(other.m_bytes, 0)),
      m_data(std::move(other.m_data)) {}

Bitmap& Bitmap::operator=(const Bitmap& other) {
    if (this == &other)
        return *this;
    if (m_bytes != other.m_bytes || !m_data) {
        std::unique_ptr<std::uint8_t, Release> data;
        if (other.m_data) {
            data.reset(static_cast<std::uint8_t*>(std::malloc(other.m_bytes == 0 ? 1 : other.m_bytes)));
            if (!data)
                throw std::bad_alloc();
        }
        m_data = std::move(data);
        m_bytes = other.m_bytes;
    }
    if (m_bytes != 0)
        std::memcpy(m_data.get(), other.m_data.get(), m_bytes);
    m_width = other.m_width;
    m_height = other.m_height;
    m_stride = other.m_stride;
    return *this;
}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    m_width = std::exchange(other.m_width, 0);
    m_height = std::exchange(other.m_height, 0);
    m_stride = std::exchange(other.m_stride, 0);
    m_bytes = std::exchange(other.m_bytes, 0);
    m_data = std::move(other.m_data);
    return *this;
}

void Bitmap::Release::operator()(std::uint8_t* p) const noexcept {
    std::free(p);
}

bool operator==(const Bitmap& a, const Bitmap& b) {
    if (a.m_width != b.m_width || a.m_height != b.m_height)
        return false;
    for (int y = 0; y < a.m_height; ++y)
        if (std::memcmp(a.row(y), b.row(y), a.rowBytes()) != 0)
            return false;
    return true;
}

} // namespace pixmora
