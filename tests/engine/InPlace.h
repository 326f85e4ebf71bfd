#pragma once

// The neighbourhood effects as the rules state them, in place on one picture. The engine's kernels write
// into a result of their own; here that result first holds stale bytes, as a reused area result would,
// so a pixel the kernel forgets to write shows.

#include "Effects.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <utility>

namespace inPlace {

using pixmora::Bitmap;

template <typename Effect> void apply(Bitmap& p, Effect&& effect) {
    Bitmap result(p.width(), p.height());
    for (int y = 0; y < result.height(); ++y)
        for (int x = 0; x < 3 * result.width(); ++x)
            result.row(y)[x] = static_cast<std::uint8_t>(0xA5 ^ (x * 7 + y));
    effect(const_cast<const Bitmap&>(p), result);
    EXPECT_TRUE(testpics::paddingIsZero(result)) << p.width() << "x" << p.height();
    p = std::move(result);
}

inline void emboss(Bitmap& p) {
    apply(p, [](const Bitmap& s, Bitmap& r) { pixmora::emboss(s, r); });
}
inline void mosaic(Bitmap& p, int n) {
    apply(p, [n](const Bitmap& s, Bitmap& r) { pixmora::mosaic(s, r, n); });
}
inline void splitBlur(Bitmap& p, int amount) {
    apply(p, [amount](const Bitmap& s, Bitmap& r) { pixmora::splitBlur(s, r, amount); });
}
inline void gaussianBlur(Bitmap& p, int strength) {
    apply(p, [strength](const Bitmap& s, Bitmap& r) { pixmora::gaussianBlur(s, r, strength); });
}
inline void antiAlias(Bitmap& p, int passes) {
    apply(p, [passes](const Bitmap& s, Bitmap& r) { pixmora::antiAlias(s, r, passes); });
}
inline void trace(Bitmap& p, int intensity) {
    apply(p, [intensity](const Bitmap& s, Bitmap& r) { pixmora::trace(s, r, intensity); });
}

} // namespace inPlace
