#include "OrImage.h"

#include "KernelLevel.h"

#include <QElapsedTimer>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

using pixmora::Bitmap;

QImage imageView(const Bitmap& bitmap) {
    if (bitmap.isEmpty())
        return QImage();
    return QImage(bitmap.bits(), bitmap.width(), bitmap.height(), bitmap.stride(), QImage::Format_BGR888);
}

Bitmap bitmapFromImage(const QImage& image) {
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    Bitmap bitmap(bgr.width(), bgr.height());
    for (int y = 0; y < bgr.height(); ++y)
        std::memcpy(bitmap.row(y), bgr.constScanLine(y), static_cast<std::size_t>(bgr.width()) * 3);
    return bitmap;
}

TOrImage::TOrImage(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    resize(105, 105);
}

TOrImage::~TOrImage() {
    showBusyCursor(false);
}

void TOrImage::setStretch(bool value) {
    if (value == m_stretch)
        return;
    m_stretch = value;
    ShownChanged();
}

void TOrImage::setCenter(bool value) {
    if (value == m_center)
        return;
    m_center = value;
    ShownChanged();
}

void TOrImage::setTransparent(bool value) {
    if (value == m_transparent)
        return;
    m_transparent = value;
    ShownChanged();
}

void TOrImage::setAutoSize(bool value) {
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    if (m_autoSize)
        resize(CanAutoSize(size()));
}

QSize TOrImage::naturalSize() const {
    // One picture pixel per device pixel, also on high-density screens.
    const qreal ratio = devicePixelRatioF();
    const int w = PictureShown().width();
    const int h = PictureShown().height();
    if (ratio == 1.0)
        return QSize(w, h);
    return QSize(qCeil(w / ratio), qCeil(h / ratio));
}

QSize TOrImage::CanAutoSize(QSize proposed) const {
    const QSize natural = naturalSize();
    const int w = natural.width();
    const int h = natural.height();
    if (w <= 0 || h <= 0)
        return proposed;
    if (m_align == alNone || m_align == alLeft || m_align == alRight)
        proposed.setWidth(w);
    if (m_align == alNone || m_align == alTop || m_align == alBottom)
        proposed.setHeight(h);
    return proposed;
}

QRect TOrImage::TargetRect() const {
    const QSize natural = naturalSize();
    const int w = natural.width();
    const int h = natural.height();
    if (m_stretch)
        return QRect(0, 0, width(), height());
    if (m_center) {
        // Division truncates toward zero, so a picture larger than the control is clipped on both sides.
        const int left = (width() - w) / 2;
        const int top = (height() - h) / 2;
        return QRect(left, top, w, h);
    }
    return QRect(0, 0, w, h);
}

void TOrImage::updateOpaque() {
    bool opaque = false;
    const QSize natural = naturalSize();
    if (PictureShown().hasGraphic())
        opaque =
            !m_transparent && (m_stretch || (natural.width() >= width() && natural.height() >= height()));
    setAttribute(Qt::WA_OpaquePaintEvent, opaque);
}

void TOrImage::ShownChanged() {
    ++m_shownSerial;
    const QSize natural = naturalSize();
    if (m_autoSize && natural.width() > 0 && natural.height() > 0)
        setGeometry(x(), y(), natural.width(), natural.height());
    updateOpaque();
    if (!m_drawing)
        update();
}

void TOrImage::repaintNow() {
    ++m_renderCount;
    ++m_shownSerial;
    update();
    repaint();
}

void TOrImage::showBusyCursor(bool on) {
    if (on == m_busyCursor)
        return;
    m_busyCursor = on;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    if (on)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

void TOrImage::beginLongWork() {
    if (m_longWorkDepth++ == 0 && (!m_inWrite || m_writeLooksLong))
        showBusyCursor(true);
}

void TOrImage::endLongWork() {
    // Within a write the cursor stays until the write ends: between an area effect and its render it
    // would otherwise flicker.
    if (m_longWorkDepth > 0 && --m_longWorkDepth == 0 && !m_inWrite)
        showBusyCursor(false);
}

bool TOrImage::expectsLongWrite(const pixmora::EffectDescription& effect, long long pixels) const {
    const WriteTime& last = m_writeTimes[static_cast<std::size_t>(&effect - pixmora::Effects.data())];
    if (last.pixels > 0)
        return last.ms * pixels > BlinkMs * last.pixels;
    // The engine only calls work long on pictures large enough; a tone pass is fast even then.
    return effect.kind != pixmora::EffectKind::Tone;
}

void TOrImage::writeEffect(const pixmora::EffectDescription& effect, int value) {
    const long long pixels = static_cast<long long>(PictureOriginal().width()) * PictureOriginal().height();
    const bool nested = m_inWrite;
    const bool looksLong = m_writeLooksLong;
    m_inWrite = true;
    m_writeLooksLong = expectsLongWrite(effect, pixels);
    const auto finish = [&] {
        m_inWrite = nested;
        m_writeLooksLong = looksLong;
        if (!nested && m_longWorkDepth == 0)
            showBusyCursor(false);
    };
    QElapsedTimer clock;
    clock.start();
    try {
        effect.set(*this, value);
    } catch (...) {
        finish();
        throw;
    }
    if (pixels > 0)
        m_writeTimes[static_cast<std::size_t>(&effect - pixmora::Effects.data())] = {pixels, clock.elapsed()};
    finish();
}

QImage TOrImage::shownImage() const {
    if (!PictureShown().hasGraphic())
        return QImage();
    return imageView(PictureShown().bitmap()).copy();
}

void TOrImage::setPictureOriginal(const QImage& image) {
    setPictureOriginal(bitmapFromImage(image));
}

namespace {

// How the target pixels along one side draw on the source pixels. A side that shrinks (or keeps its
// size) averages the source pixels under each target pixel, each weighed by the length of it the target
// pixel covers, measured in 1/target of a source pixel so that every weight is a whole number and they
// add up to `source`; a pixel covered whole weighs `target`. A side that grows blends the two source
// pixels around each target pixel's centre, in 256ths.
struct Span {
    int first = 0; // the first source pixel the target pixel draws on
    int count = 0; // how many consecutive source pixels it draws on
    std::uint32_t firstWeight = 0, lastWeight = 0;
};

struct Axis {
    std::vector<Span> spans; // one per target pixel
    std::uint32_t inner = 0; // the weight of every source pixel between a span's first and last
    std::uint32_t total = 0; // what the weights of every span add up to

    std::uint32_t weight(const Span& span, int t) const {
        return t == 0 ? span.firstWeight : (t == span.count - 1 ? span.lastWeight : inner);
    }
};

Axis axisFor(int source, int target) {
    Axis axis;
    axis.spans.resize(static_cast<std::size_t>(target));
    if (source >= target) {
        axis.inner = static_cast<std::uint32_t>(target);
        axis.total = static_cast<std::uint32_t>(source);
        for (int i = 0; i < target; ++i) {
            // Target pixel i covers [i * source, (i + 1) * source) and source pixel s covers
            // [s * target, (s + 1) * target), both in 1/target of a source pixel.
            const long long begin = static_cast<long long>(i) * source;
            const long long end = begin + source;
            const auto first = static_cast<int>(begin / target);
            const auto last = static_cast<int>((end - 1) / target);
            Span& span = axis.spans[static_cast<std::size_t>(i)];
            span.first = first;
            span.count = last - first + 1;
            span.firstWeight =
                static_cast<std::uint32_t>(std::min(end, static_cast<long long>(first + 1) * target) - begin);
            span.lastWeight =
                static_cast<std::uint32_t>(end - std::max(begin, static_cast<long long>(last) * target));
        }
    } else {
        axis.total = 256;
        for (int i = 0; i < target; ++i) {
            const double centre = std::clamp((i + 0.5) * source / target - 0.5, 0.0, source - 1.0);
            const int first = static_cast<int>(centre);
            const auto weight = static_cast<std::uint32_t>((centre - first) * 256 + 0.5);
            Span& span = axis.spans[static_cast<std::size_t>(i)];
            if (first + 1 < source)
                span = {first, 2, 256 - weight, weight};
            else
                span = {first, 1, 256, 256};
        }
    }
    return axis;
}

// Division by a fixed divisor, rounded down, of any dividend below `bound`: a multiplication by the
// divisor's inverse in 2^-shift, rounded up, taken wide enough that the rounding never reaches the
// quotient.
class Divider {
public:
    Divider(std::uint64_t divisor, std::uint64_t bound) {
        const int dividendBits = std::bit_width(bound);
        m_shift = dividendBits + std::bit_width(divisor - 1);
        m_multiplier = static_cast<std::uint64_t>(((Wide{1} << m_shift) + divisor - 1) / divisor);
    }
    std::uint64_t operator()(std::uint64_t dividend) const {
        return static_cast<std::uint64_t>((Wide{dividend} * m_multiplier) >> m_shift);
    }

private:
    __extension__ using Wide = unsigned __int128;
    std::uint64_t m_multiplier = 0;
    int m_shift = 0;
};

#if PIXMORA_X86
// The rows of the pass down, paired for pmaddwd: two rows' bytes side by side, each pair's two weights
// in one 32-bit lane. An odd tap pairs with its own row at a weight of 0.
struct RowPairs {
    static constexpr int Max = 64;
    int count = 0;
    std::uint32_t weights[Max];
    const std::uint8_t* rows[2 * Max];

    // False when the rows cannot be paired: too many, or a weight beyond 16 signed bits (a picture
    // shrunk to 32768 rows or more).
    bool pair(const std::uint8_t* const* from, const std::uint32_t* w, int taps) {
        count = (taps + 1) / 2;
        if (count > Max || !std::all_of(w, w + taps, [](std::uint32_t v) { return v < 32768; }))
            return false;
        for (int i = 0; i < count; ++i) {
            const bool whole = 2 * i + 1 < taps;
            weights[i] = w[2 * i] | ((whole ? w[2 * i + 1] : 0) << 16);
            rows[2 * i] = from[2 * i];
            rows[2 * i + 1] = from[whole ? 2 * i + 1 : 2 * i];
        }
        return true;
    }
};

// Asks for the bytes a little ahead of `row + k` to be on their way to the cache: each row is a short run
// of its own, which the processor's prefetcher would only pick up after a few misses, and again after
// every page. A prefetch never faults, even past the end of the picture.
inline void prefetchAhead(const std::uint8_t* row, std::size_t k) {
    _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(row) + k + 1024),
                 _MM_HINT_T0);
}

// Sums the paired rows' bytes from k on, 16 at a time, while 16 are left of n; returns where it stopped.
std::size_t sumPairsSse2(std::uint32_t* sum, const RowPairs& pairs, std::size_t k, std::size_t n) {
    const __m128i zero = _mm_setzero_si128();
    for (; k + 16 <= n; k += 16) {
        __m128i s0 = zero, s1 = zero, s2 = zero, s3 = zero;
        for (int i = 0; i < pairs.count; ++i) {
            prefetchAhead(pairs.rows[2 * i], k);
            prefetchAhead(pairs.rows[2 * i + 1], k);
            const __m128i w = _mm_set1_epi32(static_cast<int>(pairs.weights[i]));
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs.rows[2 * i] + k));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs.rows[2 * i + 1] + k));
            const __m128i low = _mm_unpacklo_epi8(a, b);
            const __m128i high = _mm_unpackhi_epi8(a, b);
            s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), w));
            s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), w));
            s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), w));
            s3 = _mm_add_epi32(s3, _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), w));
        }
        auto* to = reinterpret_cast<__m128i*>(sum + k);
        _mm_storeu_si128(to, s0);
        _mm_storeu_si128(to + 1, s1);
        _mm_storeu_si128(to + 2, s2);
        _mm_storeu_si128(to + 3, s3);
    }
    return k;
}

// The same, 32 bytes at a time. The unpacks work within each 128-bit half, so the sums come out as
// bytes 0-3 and 16-19, 4-7 and 20-23, ...: the halves are put back in order before the store.
PIXMORA_TARGET_AVX2 std::size_t sumPairsAvx2(std::uint32_t* sum, const RowPairs& pairs, std::size_t k,
                                             std::size_t n) {
    const __m256i zero = _mm256_setzero_si256();
    for (; k + 32 <= n; k += 32) {
        __m256i s0 = zero, s1 = zero, s2 = zero, s3 = zero;
        for (int i = 0; i < pairs.count; ++i) {
            prefetchAhead(pairs.rows[2 * i], k);
            prefetchAhead(pairs.rows[2 * i + 1], k);
            const __m256i w = _mm256_set1_epi32(static_cast<int>(pairs.weights[i]));
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs.rows[2 * i] + k));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs.rows[2 * i + 1] + k));
            const __m256i low = _mm256_unpacklo_epi8(a, b);
            const __m256i high = _mm256_unpackhi_epi8(a, b);
            s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_unpacklo_epi8(low, zero), w));
            s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_unpackhi_epi8(low, zero), w));
            s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(_mm256_unpacklo_epi8(high, zero), w));
            s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(_mm256_unpackhi_epi8(high, zero), w));
        }
        auto* to = reinterpret_cast<__m256i*>(sum + k);
        _mm256_storeu_si256(to, _mm256_permute2x128_si256(s0, s1, 0x20));
        _mm256_storeu_si256(to + 1, _mm256_permute2x128_si256(s2, s3, 0x20));
        _mm256_storeu_si256(to + 2, _mm256_permute2x128_si256(s0, s1, 0x31));
        _mm256_storeu_si256(to + 3, _mm256_permute2x128_si256(s2, s3, 0x31));
    }
    return k;
}
#endif

// The pass down the rows for one target row: sum[k] = the weighed sum of rows[t][k] over the taps. Column
// by column, all taps at once, so that the sums stay in registers.
void sumRows(std::uint32_t* sum, const std::uint8_t* const* rows, const std::uint32_t* weights, int taps,
             std::size_t n) {
    std::size_t k = 0;
#if PIXMORA_X86
    RowPairs pairs;
    if (pairs.pair(rows, weights, taps)) {
        if (pixmora::kernelLevel() >= pixmora::KernelLevel::Avx2)
            k = sumPairsAvx2(sum, pairs, k, n);
        k = sumPairsSse2(sum, pairs, k, n);
    }
#endif
    for (; k < n; ++k) {
        std::uint32_t total = 0;
        for (int t = 0; t < taps; ++t)
            total += weights[t] * rows[t][k];
        sum[k] = total;
    }
}

// A row with the key colour left out, four bytes a pixel: blue, green, red and 255, or all four 0 where
// the pixel has the key colour. Averaged like the colours, the fourth byte gives the alpha, and the
// colours come out premultiplied by it.
void keyedRow(std::uint8_t* to, const std::uint8_t* from, int width, const std::uint8_t* key) {
    const std::uint32_t keyColour = key[0] | key[1] << 8 | key[2] << 16;
    const auto keyed = [keyColour](std::uint32_t colour) {
        return colour == keyColour ? 0u : colour | 0xff000000u;
    };
    int x = 0;
    // Four bytes read at a time, the fourth being the next pixel's: all but the last pixel.
    for (; x + 1 < width; ++x) {
        std::uint32_t colour;
        std::memcpy(&colour, from + 3 * x, 4);
        colour = keyed(colour & 0xffffffu);
        std::memcpy(to + 4 * x, &colour, 4);
    }
    if (x < width) {
        const std::uint8_t* p = from + 3 * x;
        const std::uint32_t colour = keyed(p[0] | p[1] << 8 | p[2] << 16);
        std::memcpy(to + 4 * x, &colour, 4);
    }
}

// The pass across for one target row, from the row of sums down: each target pixel's weighed sum of
// the sums under it, divided by the whole weight and rounded to nearest.
template <int Lanes>
void acrossScalar(QRgb* line, const std::uint32_t* column, const Axis& across, const Divider& divide,
                  std::uint64_t half) {
    for (std::size_t x = 0; x < across.spans.size(); ++x) {
        const Span& h = across.spans[x];
        const std::uint32_t* from = column + static_cast<std::size_t>(h.first) * Lanes;
        std::uint64_t total[Lanes];
        for (int c = 0; c < Lanes; ++c)
            total[c] = std::uint64_t{h.firstWeight} * from[c];
        if (h.count > 1) {
            // The pixels between the first and the last weigh alike: added first, multiplied once.
            std::uint64_t inner[Lanes] = {};
            const std::uint32_t* last = from + static_cast<std::size_t>(h.count - 1) * Lanes;
            for (const std::uint32_t* p = from + Lanes; p != last; p += Lanes)
                for (int c = 0; c < Lanes; ++c)
                    inner[c] += p[c];
            for (int c = 0; c < Lanes; ++c)
                total[c] += inner[c] * across.inner + std::uint64_t{h.lastWeight} * last[c];
        }
        const int blue = static_cast<int>(divide(total[0] + half));
        const int green = static_cast<int>(divide(total[1] + half));
        const int red = static_cast<int>(divide(total[2] + half));
        if constexpr (Lanes == 3)
            line[x] = qRgb(red, green, blue);
        else
            line[x] = qRgba(red, green, blue, static_cast<int>(divide(total[3] + half)));
    }
}

struct ExactDoubles {
    double divisor, half;
};

#if PIXMORA_X86
// The same with a pixel's lanes in one vector of doubles, which hold every whole number involved
// exactly. The quotient from a multiplication by the inverse can be one off either way; the remainder,
// also exact, puts it right.
template <int Lanes>
PIXMORA_TARGET_AVX2 void acrossAvx2(QRgb* line, const std::uint32_t* column, const Axis& across,
                                    ExactDoubles exact) {
    const __m256d divisor = _mm256_set1_pd(exact.divisor);
    const __m256d inverse = _mm256_set1_pd(1.0 / exact.divisor);
    const __m256d half = _mm256_set1_pd(exact.half);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d innerWeight = _mm256_set1_pd(static_cast<double>(across.inner));
    for (std::size_t x = 0; x < across.spans.size(); ++x) {
        const Span& h = across.spans[x];
        // A pixel's sums and the first lane of the next (or the padding), as doubles.
        const std::uint32_t* from = column + static_cast<std::size_t>(h.first) * Lanes;
#define PIXMORA_LANES(p) _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))
        __m256d total = _mm256_mul_pd(PIXMORA_LANES(from), _mm256_set1_pd(h.firstWeight));
        if (h.count > 1) {
            __m256d inner = zero;
            const std::uint32_t* last = from + static_cast<std::size_t>(h.count - 1) * Lanes;
            for (const std::uint32_t* p = from + Lanes; p != last; p += Lanes)
                inner = _mm256_add_pd(inner, PIXMORA_LANES(p));
            total = _mm256_add_pd(total, _mm256_mul_pd(inner, innerWeight));
            total = _mm256_add_pd(total, _mm256_mul_pd(PIXMORA_LANES(last), _mm256_set1_pd(h.lastWeight)));
        }
#undef PIXMORA_LANES
        total = _mm256_add_pd(total, half);
        __m256d quotient = _mm256_floor_pd(_mm256_mul_pd(total, inverse));
        const __m256d remainder = _mm256_sub_pd(total, _mm256_mul_pd(quotient, divisor));
        quotient = _mm256_add_pd(quotient, _mm256_and_pd(_mm256_cmp_pd(remainder, divisor, _CMP_GE_OQ), one));
        quotient = _mm256_sub_pd(quotient, _mm256_and_pd(_mm256_cmp_pd(remainder, zero, _CMP_LT_OQ), one));
        __m128i bytes = _mm256_cvtpd_epi32(quotient);
        bytes = _mm_packus_epi16(_mm_packs_epi32(bytes, bytes), bytes);
        auto pixel = static_cast<QRgb>(_mm_cvtsi128_si32(bytes));
        if constexpr (Lanes == 3)
            pixel |= 0xff000000u;
        line[x] = pixel;
    }
}
#else
template <int Lanes> void acrossAvx2(QRgb*, const std::uint32_t*, const Axis&, ExactDoubles) {}
#endif

// The two passes of the scaling, for `Lanes` bytes per pixel of the rows summed: 3 for blue, green and
// red, 4 with a key colour. Each target row sums its source rows into one row of sums, then sums those
// across. On one thread: on shared cores, a second one that the system starts late holds the paint up
// longer than it saves.
template <int Lanes>
void scaleInto(QImage& scaled, const Bitmap& source, const std::uint8_t* key, const Axis& across,
               const Axis& down) {
    const int sourceWidth = source.width();
    const std::size_t sums = static_cast<std::size_t>(sourceWidth) * Lanes;
    const std::uint64_t divisor = std::uint64_t{across.total} * down.total;
    // Every total is at most 255 times the divisor, and half of it is added for the rounding.
    const Divider divide(divisor, 256 * divisor);
    const std::uint64_t half = divisor / 2;
    const ExactDoubles exact{static_cast<double>(divisor), static_cast<double>(half)};
    // In doubles, every sum across must stay a whole number below 2^53, and every sum down fit in an int.
    const bool vectorAcross = PIXMORA_X86 && pixmora::kernelLevel() >= pixmora::KernelLevel::Avx2 &&
                              255 * std::uint64_t{down.total} < (1u << 31) && divisor < (1ull << 44);
    std::size_t maxTaps = 0;
    for (const Span& v : down.spans)
        maxTaps = std::max(maxTaps, static_cast<std::size_t>(v.count));
    // One more lane than the sums, for the vector loads of the last pixel.
    std::vector<std::uint32_t> column(sums + 1);
    std::vector<const std::uint8_t*> rows(maxTaps);
    std::vector<std::uint32_t> weights(maxTaps);
    std::vector<std::uint8_t> keyed(Lanes == 4 ? sums * maxTaps : 0);
    for (int y = 0; y < scaled.height(); ++y) {
        const Span& v = down.spans[static_cast<std::size_t>(y)];
        for (int t = 0; t < v.count; ++t) {
            const auto tap = static_cast<std::size_t>(t);
            weights[tap] = down.weight(v, t);
            rows[tap] = source.row(v.first + t);
            if constexpr (Lanes == 4) {
                keyedRow(keyed.data() + tap * sums, rows[tap], sourceWidth, key);
                rows[tap] = keyed.data() + tap * sums;
            }
        }
        // The hot loop: every byte of the picture passes here about once.
        sumRows(column.data(), rows.data(), weights.data(), v.count, sums);
        auto* line = reinterpret_cast<QRgb*>(scaled.scanLine(y));
        if (vectorAcross)
            acrossAvx2<Lanes>(line, column.data(), across, exact);
        else
            acrossScalar<Lanes>(line, column.data(), across, divide, half);
    }
}

} // namespace

void scalePicture(QImage& into, const Bitmap& source, QSize size, const std::uint8_t* key) {
    const QImage::Format format = key ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    // The last picture's memory serves again when nothing else holds it: fresh pages cost faults.
    if (into.size() != size || into.format() != format || !into.isDetached())
        into = QImage(size, format);
    if (into.isNull())
        return;
    if (source.isEmpty()) {
        into.fill(0);
        return;
    }
    const Axis across = axisFor(source.width(), size.width());
    const Axis down = axisFor(source.height(), size.height());
    if (key)
        scaleInto<4>(into, source, key, across, down);
    else
        scaleInto<3>(into, source, key, across, down);
}

QImage scaledPicture(const Bitmap& source, QSize size, const std::uint8_t* key) {
    QImage scaled;
    scalePicture(scaled, source, size, key);
    return scaled;
}

QImage TOrImage::paintedImage(QSize deviceSize) {
    const Bitmap& shown = PictureShown().bitmap();
    const bool natural = deviceSize == QSize(shown.width(), shown.height());
    if (natural && !m_transparent)
        return imageView(shown);
    if (m_painted.isNull() || m_paintedSerial != m_shownSerial || m_painted.size() != deviceSize ||
        m_paintedTransparent != m_transparent) {
        // A transparent bitmap leaves out every pixel of its bottom-left pixel's colour.
        const std::uint8_t* key = m_transparent ? shown.pixel(0, shown.height() - 1) : nullptr;
        scalePicture(m_painted, shown, deviceSize, key);
        m_paintedSerial = m_shownSerial;
        m_paintedTransparent = m_transparent;
    }
    return m_painted;
}

void TOrImage::paintEvent(QPaintEvent*) {
    if (!PictureShown().hasGraphic() || PictureShown().bitmap().isEmpty())
        return;
    const bool wasDrawing = m_drawing;
    m_drawing = true;
    QPainter painter(this);
    const QRect target = TargetRect();
    const qreal ratio = devicePixelRatioF();
    // Drawn at its own size, the picture goes out as it is; scaled, it is scaled here, once per render
    // and size: Qt's smooth scaling of a 24-bit picture samples through its general conversion path and
    // took longer than the tone render of the whole photo.
    const QSize deviceSize = target.size() == naturalSize()
                                 ? QSize(PictureShown().width(), PictureShown().height())
                                 : QSize(qRound(target.width() * ratio), qRound(target.height() * ratio));
    if (!deviceSize.isEmpty()) {
        QImage image = paintedImage(deviceSize);
        image.setDevicePixelRatio(ratio);
        painter.drawImage(target.topLeft(), image);
    }
    m_drawing = wasDrawing;
}

void TOrImage::enterEvent(QEnterEvent* event) {
    m_mouseInside = true;
    emit OnMouseEnter(this);
    QWidget::enterEvent(event);
}

void TOrImage::leaveEvent(QEvent* event) {
    m_mouseInside = false;
    emit OnMouseExit(this);
    QWidget::leaveEvent(event);
}

void TOrImage::mouseMoveEvent(QMouseEvent* event) {
    m_mouseInside = true;
    const QPoint pos = event->position().toPoint();
    emit OnMouseMove(this, event->modifiers(), pos.x(), pos.y());
    QWidget::mouseMoveEvent(event);
}
