#include "OrImageEngine.h"

#include "EffectTable.h"
#include "Effects.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

namespace pixmora {

// Brackets effect work for the host's busy cursor, also when the work throws.
class LongWorkScope {
public:
    LongWorkScope(OrImageEngine& engine, bool active) : m_engine(engine), m_active(active) {
        if (m_active)
            m_engine.beginLongWork();
    }
    ~LongWorkScope() {
        if (m_active)
            m_engine.endLongWork();
    }
    LongWorkScope(const LongWorkScope&) = delete;
    LongWorkScope& operator=(const LongWorkScope&) = delete;

private:
    OrImageEngine& m_engine;
    bool m_active;
};

namespace {

int clampInt(int v, int lo, int hi) {
    return std::min(std::max(v, lo), hi);
}

} // namespace

OrImageEngine::OrImageEngine() = default;
OrImageEngine::~OrImageEngine() = default;

// --- pictures -----------------------------------------------------------------------------------------

void OrImageEngine::setPictureOriginal(const Bitmap& bitmap) {
    setPictureOriginal(Bitmap(bitmap));
}

void OrImageEngine::setPictureOriginal(Bitmap&& bitmap) {
    // The copy for the shown picture is made before anything changes, so that running out of memory
    // leaves the component as it was.
    Bitmap shown = bitmap;
    m_original.assign(std::move(bitmap));
    m_shown.assign(std::move(shown));
    ShownChanged();
    SourceChanged();
}

Bitmap OrImageEngine::renderOnce(Bitmap&& source) {
    struct Scope {
        OrImageEngine& engine;
        explicit Scope(OrImageEngine& e) : engine(e) { engine.m_renderOnce = true; }
        ~Scope() {
            engine.m_renderOnce = engine.m_shownRendered = false;
            engine.m_original.clear();
            engine.m_shown.clear();
            engine.m_areaResult.reset();
            engine.m_noiseLayer.reset();
        }
    } scope(*this);
    // Untouched pages from the system: a render writes every pixel of the shown picture, or hands it the
    // area result instead, and then these pages never cost any memory.
    Bitmap shown(source.width(), source.height());
    m_original.assign(std::move(source));
    m_shown.assign(std::move(shown));
    m_noiseLayer.reset();
    m_areaResult.reset();
    Render();
    return std::move(m_shown.bitmap());
}

void OrImageEngine::clearPictureOriginal() {
    m_original.clear();
    SourceChanged();
}

void OrImageEngine::SourceChanged() {
    if (!m_original.hasGraphic()) {
        // No graphic: nothing to show. The intermediates stay until the next load or ResetEffects.
        if (m_shown.hasGraphic()) {
            m_shown.clear();
            ShownChanged();
        }
        return;
    }
    // setPictureOriginal has already copied the new source into PictureShown.
    m_noiseLayer.reset();
    m_areaResult.reset();
    Render();
}

void OrImageEngine::ResetEffects() {
    for (const EffectDescription& effect : Effects)
        effect.stored.set(*this, effect.neutral);
    m_noiseLayer.reset();
    m_areaResult.reset();
    if (m_original.hasGraphic())
        m_shown.assign(m_original.bitmap());
    else
        m_shown.clear();
    ShownChanged();
}

// --- render -------------------------------------------------------------------------------------------

void OrImageEngine::Render() {
    if (!m_original.hasGraphic() || !m_shown.hasGraphic())
        return;

    // A new source dropped the intermediates; an active value rebuilds its own through its setter, and
    // the setter's render, which finds the intermediates in place, is the whole render.
    if (m_colorNoise > 0 && !m_noiseLayer)
        return setPicColorNoise(m_colorNoise);
    if (m_monoNoise > 0 && !m_noiseLayer)
        return setPicMonoNoise(m_monoNoise);

    bool areaOn = true;
    if (m_emboss) {
        if (!m_areaResult)
            return setPicEmboss(m_emboss);
    } else if (m_mosaic > 0) {
        if (!m_areaResult)
            return setPicMosaic(m_mosaic);
    } else if (m_splitBlur > 0) {
        if (!m_areaResult)
            return setPicSplitBlur(m_splitBlur);
    } else if (m_gaussianBlur > 0) {
        if (!m_areaResult)
            return setPicGaussianBlur(m_gaussianBlur);
    } else if (m_antiAlias > 0) {
        if (!m_areaResult)
            return setPicAntiAlias(m_antiAlias);
    } else if (m_trace > 0) {
        if (!m_areaResult)
            return setPicTrace(m_trace);
    } else if (m_tile > 0) {
        if (!m_areaResult)
            return setPicTile(m_tile);
    } else {
        areaOn = false;
    }
    const Bitmap& input = areaOn ? *m_areaResult : m_original.bitmap();

    // An area setter that has just rendered its result row by row leaves nothing to do here.
    const bool rendered = m_shownRendered && &input == m_areaResult.get();
    m_shownRendered = false;
    if (!rendered) {
        LongWorkScope work(*this, input.width() * static_cast<long long>(input.height()) >= LongWorkPixels);
        renderTone(input, m_noiseLayer.get(), m_shown.bitmap(), toneSettings());
    }
    repaintNow();
}

bool OrImageEngine::rendersPixelByPixel() const {
    return std::all_of(std::begin(Effects), std::end(Effects), [&](const EffectDescription& effect) {
        return effect.kind == EffectKind::Tone || effect.stored.get(*this) == effect.neutral;
    });
}

ToneSettings OrImageEngine::toneSettings() const {
    ToneSettings tone;
    for (const EffectDescription& effect : Effects)
        if (effect.tone)
            effect.tone.set(tone, effect.stored.get(*this));
    return tone;
}

// --- tone effects -------------------------------------------------------------------------------------

void OrImageEngine::setPicBrightness(int value) {
    m_brightness = clampInt(value, -255, 255);
    Render();
}

void OrImageEngine::setPicContrast(int value) {
    m_contrast = std::max(value, -255);
    Render();
}

void OrImageEngine::setPicGrayScale(bool value) {
    m_grayScale = value;
    Render();
}

void OrImageEngine::setPicLightness(int value) {
    m_lightness = std::min(value, 255);
    Render();
}

void OrImageEngine::setPicDarkness(int value) {
    m_darkness = std::min(value, 255);
    Render();
}

void OrImageEngine::setPicSaturation(int value) {
    m_saturation = std::max(value, -255);
    Render();
}

void OrImageEngine::setPicSplitlight(int value) {
    m_splitlight = clampInt(value, 0, 10);
    Render();
}

void OrImageEngine::setPicInvert(bool value) {
    m_invert = value;
    Render();
}

void OrImageEngine::setPicPosterize(int value) {
    m_posterize = std::max(value, 0);
    m_solorize = 0;
    Render();
}

void OrImageEngine::setPicSolorize(int value) {
    m_solorize = clampInt(value, 0, 255);
    m_posterize = 0;
    Render();
}

// --- noise --------------------------------------------------------------------------------------------

void OrImageEngine::fillNoise(bool mono) {
    const int strength = mono ? m_monoNoise : m_colorNoise;
    if (strength <= 0 || !m_original.hasGraphic()) {
        m_noiseLayer.reset();
        return;
    }
    const Bitmap& source = m_original.bitmap();
    LongWorkScope work(*this, source.width() * static_cast<long long>(source.height()) >= LongWorkPixels);
    try {
        if (!m_noiseLayer)
            m_noiseLayer = std::make_unique<Bitmap>(source.width(), source.height());
        else if (m_noiseLayer->width() != source.width() || m_noiseLayer->height() != source.height())
            *m_noiseLayer = Bitmap(source.width(), source.height());
        if (mono)
            fillMonoNoise(*m_noiseLayer, strength);
        else
            fillColorNoise(*m_noiseLayer, strength);
    } catch (...) {
        // Out of memory: the noise is switched off rather than left half-built.
        m_noiseLayer.reset();
        m_colorNoise = m_monoNoise = 0;
        Render();
        throw;
    }
}

void OrImageEngine::setPicColorNoise(int value) {
    m_colorNoise = std::max(value, 0);
    m_monoNoise = 0;
    fillNoise(false);
    Render();
}

void OrImageEngine::setPicMonoNoise(int value) {
    m_monoNoise = std::max(value, 0);
    m_colorNoise = 0;
    fillNoise(true);
    Render();
}

// --- area effects -------------------------------------------------------------------------------------

void OrImageEngine::clearAreaValues() {
    m_emboss = false;
    m_mosaic = m_splitBlur = m_gaussianBlur = m_antiAlias = m_trace = m_tile = 0;
}

template <typename Effect> void OrImageEngine::rebuildArea(bool active, Effect&& effect) {
    m_shownRendered = false;
    if (!active || !m_original.hasGraphic()) {
        m_areaResult.reset();
        return;
    }
    const Bitmap& source = m_original.bitmap();
    LongWorkScope work(*this, source.width() * static_cast<long long>(source.height()) >= LongWorkPixels / 8);
    try {
        // The effect writes every pixel from the source: a result of the right size is all it needs.
        if (!m_areaResult)
            m_areaResult = std::make_unique<Bitmap>(source.width(), source.height());
        else if (m_areaResult->width() != source.width() || m_areaResult->height() != source.height())
            *m_areaResult = Bitmap(source.width(), source.height());
        // The render that follows the setter will only run the tone pass over the new result (unless it
        // first has to draw a missing noise layer): the kernel runs it as it finishes each row, while the
        // row is still in the cache.
        const bool noiseReady = !(m_colorNoise > 0 && !m_noiseLayer) && !(m_monoNoise > 0 && !m_noiseLayer);
        const bool shownFits =
            m_shown.hasGraphic() && m_shown.width() == source.width() && m_shown.height() == source.height();
        if (m_renderOnce && shownFits && !m_colorNoise && !m_monoNoise && toneSettings() == ToneSettings{}) {
            // No tone effect would change the result, and nothing needs it after this render: it becomes
            // the shown picture, and the area result keeps the shown picture's untouched pages.
            effect(source, *m_areaResult, nullptr);
            std::swap(*m_areaResult, m_shown.bitmap());
            m_shownRendered = true;
            return;
        }
        std::optional<ToneRows> tone;
        if (noiseReady && shownFits)
            tone.emplace(*m_areaResult, m_noiseLayer.get(), m_shown.bitmap(), toneSettings());
        effect(source, *m_areaResult, tone ? &*tone : nullptr);
        m_shownRendered = tone.has_value();
    } catch (...) {
        // Out of memory: the area effect is switched off rather than left half-built.
        m_shownRendered = false;
        m_areaResult.reset();
        clearAreaValues();
        Render();
        throw;
    }
}

void OrImageEngine::setPicEmboss(bool value) {
    clearAreaValues();
    m_emboss = value;
    rebuildArea(m_emboss, [](const Bitmap& s, Bitmap& r, const ToneRows* t) { emboss(s, r, t); });
    Render();
}

void OrImageEngine::setPicMosaic(int value) {
    int stored = value < 0 ? 0 : value;
    if (stored > 0 && m_original.hasGraphic())
        stored = IntMin(stored, IntMax(m_original.height(), m_original.width()));
    clearAreaValues();
    m_mosaic = stored;
    rebuildArea(m_mosaic > 0,
                [n = m_mosaic](const Bitmap& s, Bitmap& r, const ToneRows* t) { mosaic(s, r, n, t); });
    Render();
}

void OrImageEngine::setPicSplitBlur(int value) {
    clearAreaValues();
    m_splitBlur = clampInt(value, 0, 255);
    rebuildArea(m_splitBlur > 0,
                [a = m_splitBlur](const Bitmap& s, Bitmap& r, const ToneRows* t) { splitBlur(s, r, a, t); });
    Render();
}

void OrImageEngine::setPicGaussianBlur(int value) {
    clearAreaValues();
    m_gaussianBlur = clampInt(value, 0, 50);
    rebuildArea(m_gaussianBlur > 0, [g = m_gaussianBlur](const Bitmap& s, Bitmap& r, const ToneRows* t) {
        gaussianBlur(s, r, g, t);
    });
    Render();
}

void OrImageEngine::setPicAntiAlias(int value) {
    clearAreaValues();
    m_antiAlias = clampInt(value, 0, 50);
    rebuildArea(m_antiAlias > 0,
                [n = m_antiAlias](const Bitmap& s, Bitmap& r, const ToneRows* t) { antiAlias(s, r, n, t); });
    Render();
}

void OrImageEngine::setPicTrace(int value) {
    clearAreaValues();
    m_trace = clampInt(value, 0, 10);
    rebuildArea(m_trace > 0,
                [n = m_trace](const Bitmap& s, Bitmap& r, const ToneRows* t) { trace(s, r, n, t); });
    Render();
}

void OrImageEngine::setPicTile(int value) {
    int stored = value < 1 ? 0 : value;
    int tileWidth = 0;
    int tileHeight = 0;
    if (stored > 0 && m_original.hasGraphic()) {
        const int w = m_original.width();
        const int h = m_original.height();
        tileHeight = IntMax(10, h / stored);
        tileWidth = IntMax(10, w / stored);
        // Tiles never shrink below 10 x 10; the value then says how many fit along the longer side.
        if (tileHeight == 10 && tileWidth == 10)
            stored = IntMax(h, w) / 10;
    }
    clearAreaValues();
    m_tile = stored;
    rebuildArea(m_tile > 0, [tileWidth, tileHeight](const Bitmap& s, Bitmap& r, const ToneRows* t) {
        tile(s, r, tileWidth, tileHeight, t);
    });
    Render();
}

} // namespace pixmora
