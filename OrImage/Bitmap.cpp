#include "Bitmap.h"

#include <cstring>
#include <stdexcept>

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
    m_data.assign(static_cast<std::size_t>(m_stride) * static_cast<std::size_t>(height), 0);
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
