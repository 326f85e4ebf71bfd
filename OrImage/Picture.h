#pragma once

#include "Bitmap.h"

#include <optional>

namespace pixmora {

// A picture either holds a graphic (always a 24-bit working bitmap here) or holds nothing.
class Picture {
public:
    bool hasGraphic() const { return m_bitmap.has_value(); }
    int width() const { return m_bitmap ? m_bitmap->width() : 0; }
    int height() const { return m_bitmap ? m_bitmap->height() : 0; }

    // Only valid while hasGraphic() is true.
    Bitmap& bitmap() { return *m_bitmap; }
    const Bitmap& bitmap() const { return *m_bitmap; }

    void assign(const Bitmap& bitmap) {
        if (m_bitmap)
            *m_bitmap = bitmap; // reuses the buffer when the size is unchanged
        else
            m_bitmap = bitmap;
    }
    void assign(Bitmap&& bitmap) { m_bitmap = std::move(bitmap); }
    void clear() { m_bitmap.reset(); }

private:
    std::optional<Bitmap> m_bitmap;
};

} // namespace pixmora
