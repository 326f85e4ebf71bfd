#pragma once

// Literal, obviously-right versions of every effect, written straight from the rules with no tables and
// no shortcuts. The engine's fast paths are proven equal to these.

#include "Bitmap.h"
#include "Effects.h"

#include <cstdint>

namespace reference {

using pixmora::Bitmap;
using pixmora::ToneSettings;

long double nearest(long double x);
int grayValue(int r, int g, int b);
int splitlightOnce(int c);

void renderTone(const Bitmap& input, const Bitmap* noise, Bitmap& output, const ToneSettings& s);

void emboss(Bitmap& p);
void mosaic(Bitmap& p, int n);
void splitBlur(Bitmap& p, int a);
void gaussianBlur(Bitmap& p, int g);
void antiAlias(Bitmap& p, int n);
// Every pass of every scan, exactly as the loops stand; `index` gives the 256-colour index of a pixel.
void trace(Bitmap& p, int n);
int traceIndex(const std::uint8_t* bgr);
void resampleBilinear(const Bitmap& s, Bitmap& d);
// The whole tile effect for a value already stored: tile size from the value before replacement.
void tile(Bitmap& area, const Bitmap& source, int tw, int th);

// A generator of its own with the same rule as the process-wide one.
struct Generator {
    std::uint32_t state = 0;
    std::uint32_t draw(std::uint32_t n);
};
void colorNoise(Bitmap& layer, int n, Generator& g);
void monoNoise(Bitmap& layer, int n, Generator& g);

} // namespace reference
