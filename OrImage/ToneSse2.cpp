// Tone row kernels for the x86-64 baseline. Only brightness alone gains from 16-byte vectors without
// a byte shuffle; everything else is left to the plain kernels.
#include "ToneKernels.h"

#if PIXMORA_X86
#include <emmintrin.h>
#endif

#include <cstdlib>

namespace pixmora::tone {

#if PIXMORA_X86
namespace {

void brightnessRowSse2(const TonePlan& plan, const std::uint8_t* in, const std::uint8_t*, std::uint8_t* out,
                       int width) {
    const int brightness = plan.settings.brightness;
    const int bytes = 3 * width;
    int i = 0;
    const __m128i amount = _mm_set1_epi8(static_cast<char>(static_cast<std::uint8_t>(std::abs(brightness))));
    if (brightness >= 0)
        for (; i + 16 <= bytes; i += 16)
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(out + i),
                _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), amount));
    else
        for (; i + 16 <= bytes; i += 16)
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(out + i),
                _mm_subs_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), amount));
    for (; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>(ClampByte(in[i] + brightness));
}

} // namespace

ToneRow sse2ToneRow(TonePlan& plan) {
    return plan.brightnessOnly && plan.settings.brightness != 0 ? &brightnessRowSse2 : nullptr;
}
#else
ToneRow sse2ToneRow(TonePlan&) {
    return nullptr;
}
#endif

} // namespace pixmora::tone
