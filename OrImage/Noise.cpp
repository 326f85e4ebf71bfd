// Noise layers. The generator's sequence decides every byte, so a layer is drawn as one stream in pixel
// order. The generator is linear (state -> a * state + 1), so the state any number of draws ahead is a
// multiply and an add away: threads take bands of rows and start where the one-at-a-time generator would
// be at their first pixel, and the vector kernel keeps sixteen consecutive states in its lanes, each
// stepping sixteen (or forty-eight) draws at a time.
#include "Effects.h"
#include "KernelLevel.h"
#include "Parallel.h"
#include "Vector512.h"

#include <algorithm>

#if PIXMORA_X86
#include <immintrin.h>
#endif

namespace pixmora {

LcgJump LcgJump::steps(std::uint64_t count) {
    LcgJump result;
    LcgJump power{NoiseGenerator::Multiplier, 1u}; // one step
    for (; count != 0; count >>= 1) {
        if (count & 1)
            result = result.then(power);
        power = power.then(power);
    }
    return result;
}

std::uint32_t NoiseGenerator::advance(std::uint32_t state, std::uint64_t steps) {
    return LcgJump::steps(steps)(state);
}

namespace {

// Rows begin..end-1 of a layer, the first drawn from `state` on.
using FillRows = void (*)(Bitmap& layer, int begin, int end, std::uint32_t state, int n);

inline std::uint8_t sample(std::uint32_t& state, std::uint32_t range, std::int64_t half) {
    state = state * NoiseGenerator::Multiplier + 1u;
    const auto draw = static_cast<std::int64_t>((static_cast<std::uint64_t>(state) * range) >> 32);
    return static_cast<std::uint8_t>(ClampByte(draw - half));
}

template <int DrawsPerPixel> void fillRows(Bitmap& layer, int begin, int end, std::uint32_t state, int n) {
    const auto range = static_cast<std::uint32_t>(n);
    const std::int64_t half = n / 2;
    for (int y = begin; y < end; ++y) {
        std::uint8_t* p = layer.row(y);
        for (int x = 0; x < layer.width(); ++x, p += 3) {
            if constexpr (DrawsPerPixel == 3) {
                // Drawn in the order red, green, blue; stored blue, green, red.
                p[2] = sample(state, range, half);
                p[1] = sample(state, range, half);
                p[0] = sample(state, range, half);
            } else {
                p[0] = p[1] = p[2] = sample(state, range, half);
            }
        }
    }
}

#if PIXMORA_X86
PIXMORA_VECTOR_CODE_BEGIN
// Lane j of register v holds the state of draw 16 v + j of a step, and every step moves all of them on by
// as many draws as there are lanes: several registers, so that the multiplies of one register do not wait
// for those of the one before.
template <int DrawsPerPixel>
PIXMORA_TARGET_AVX512 void fillRows512(Bitmap& layer, int begin, int end, std::uint32_t state, int n) {
    // A step: 32 colour pixels (96 draws, two runs of 48 bytes) or 64 mono pixels (64 draws, 192 bytes).
    constexpr int Vectors = DrawsPerPixel == 3 ? 6 : 4;
    constexpr int Draws = 16 * Vectors;
    constexpr int Pixels = Draws / DrawsPerPixel;
    const int width = layer.width();
    const std::uint64_t drawsPerRow = static_cast<std::uint64_t>(width) * DrawsPerPixel;
    // The jumps from a row's start to its first draws, and from one step to the next.
    alignas(64) std::uint32_t firstMultiplier[Draws], firstIncrement[Draws];
    for (int j = 0; j < Draws; ++j) {
        const LcgJump jump = LcgJump::steps(static_cast<std::uint64_t>(j) + 1);
        firstMultiplier[j] = jump.multiplier;
        firstIncrement[j] = jump.increment;
    }
    const LcgJump step = LcgJump::steps(Draws), nextRow = LcgJump::steps(drawsPerRow);
    const __m512i stepMultiplier = _mm512_set1_epi32(static_cast<int>(step.multiplier));
    const __m512i stepIncrement = _mm512_set1_epi32(static_cast<int>(step.increment));
    const __m512i range = _mm512_set1_epi32(n), half = _mm512_set1_epi32(n / 2);
    const __m512i zero = _mm512_setzero_si512(), top = _mm512_set1_epi32(255);
    // Colour: 48 bytes in the order drawn (red first) to blue, green, red. Mono: 64 samples to three bytes
    // each, in three parts.
    static const ByteIndex colour = byteIndex([](int j) { return j >= 48 ? 0 : 3 * (j / 3) + 2 - j % 3; });
    static const ByteIndex mono[3] = {byteIndex([](int j) { return j / 3; }),
                                      byteIndex([](int j) { return (64 + j) / 3; }),
                                      byteIndex([](int j) { return (128 + j) / 3; })};

    auto samples = [&](__m512i states) PIXMORA_TARGET_AVX512 {
        // The high half of state * n, lanes in pairs: even lanes from the low halves of the 64-bit
        // products, odd lanes from the high ones.
        const __m512i even = _mm512_srli_epi64(_mm512_mul_epu32(states, range), 32);
        const __m512i odd = _mm512_mul_epu32(_mm512_srli_epi64(states, 32), range);
        const __m512i draw = _mm512_mask_blend_epi32(0xAAAA, even, odd);
        return _mm512_cvtepi32_epi8(
            _mm512_min_epi32(_mm512_max_epi32(_mm512_sub_epi32(draw, half), zero), top));
    };
    for (int y = begin; y < end; ++y, state = nextRow(state)) {
        __m512i lanes[Vectors];
        const __m512i start = _mm512_set1_epi32(static_cast<int>(state));
        for (int v = 0; v < Vectors; ++v)
            lanes[v] =
                _mm512_add_epi32(_mm512_mullo_epi32(start, _mm512_load_si512(firstMultiplier + 16 * v)),
                                 _mm512_load_si512(firstIncrement + 16 * v));
        std::uint8_t* out = layer.row(y);
        for (int x = 0; x < width; x += Pixels) {
            // The bytes left in the row from this step on.
            const int left = 3 * (width - x);
            auto store = [&](int offset, __m512i bytes, int count) PIXMORA_TARGET_AVX512 {
                storeBytes(out + 3 * x + offset, bytes, std::min(count, left - offset));
            };
            if constexpr (DrawsPerPixel == 3) {
                const __m512i index = _mm512_load_si512(colour.at);
                for (int h = 0; h < 2; ++h) {
                    __m512i part = _mm512_castsi128_si512(samples(lanes[3 * h]));
                    part = _mm512_inserti32x4(part, samples(lanes[3 * h + 1]), 1);
                    part = _mm512_inserti32x4(part, samples(lanes[3 * h + 2]), 2);
                    store(48 * h, _mm512_permutexvar_epi8(index, part), 48);
                }
            } else {
                __m512i part = _mm512_castsi128_si512(samples(lanes[0]));
                part = _mm512_inserti32x4(part, samples(lanes[1]), 1);
                part = _mm512_inserti32x4(part, samples(lanes[2]), 2);
                part = _mm512_inserti32x4(part, samples(lanes[3]), 3);
                for (int k = 0; k < 3; ++k)
                    store(64 * k, _mm512_permutexvar_epi8(_mm512_load_si512(mono[k].at), part), 64);
            }
            for (int v = 0; v < Vectors; ++v)
                lanes[v] = _mm512_add_epi32(_mm512_mullo_epi32(lanes[v], stepMultiplier), stepIncrement);
        }
    }
}
PIXMORA_VECTOR_CODE_END
#endif

template <int DrawsPerPixel> FillRows fillKernel() {
#if PIXMORA_X86
    if (kernelLevel() >= KernelLevel::Avx512)
        return &fillRows512<DrawsPerPixel>;
#endif
    return &fillRows<DrawsPerPixel>;
}

template <int DrawsPerPixel> void fillNoise(Bitmap& layer, int n) {
    const FillRows kernel = fillKernel<DrawsPerPixel>();
    const std::uint32_t start = NoiseGenerator::state();
    const std::uint64_t drawsPerRow = static_cast<std::uint64_t>(layer.width()) * DrawsPerPixel;
    parallelRanges(layer.height(), layer.width(), [&](int begin, int end) {
        kernel(layer, begin, end,
               NoiseGenerator::advance(start, drawsPerRow * static_cast<std::uint64_t>(begin)), n);
    });
    NoiseGenerator::setState(
        NoiseGenerator::advance(start, drawsPerRow * static_cast<std::uint64_t>(layer.height())));
}

} // namespace

void fillColorNoise(Bitmap& layer, int n) {
    fillNoise<3>(layer, n);
}

void fillMonoNoise(Bitmap& layer, int n) {
    fillNoise<1>(layer, n);
}

} // namespace pixmora
