#pragma once

#include "Bitmap.h"
#include "Effects.h"
#include "Picture.h"

#include <memory>
#include <string>

namespace pixmora {

// The effect image component without any widget: the source picture, the nineteen effect values, the
// cached intermediates and the rendered picture. TOrImage adds painting on top of it; the batch tool,
// the benchmarks and most tests use it directly.
//
// Every effect setter stores its (clamped) value and renders again, even when the value is unchanged.
// Effects never touch the source: each render starts again from PictureOriginal (or from AreaResult,
// which is itself derived from the source).
class OrImageEngine {
public:
    OrImageEngine();
    virtual ~OrImageEngine();
    OrImageEngine(const OrImageEngine&) = delete;
    OrImageEngine& operator=(const OrImageEngine&) = delete;

    // --- pictures -------------------------------------------------------------------------------
    const Picture& PictureOriginal() const { return m_original; }
    const Picture& PictureShown() const { return m_shown; }
    // Loads a new source picture; the rendered picture follows with the current effect values.
    void setPictureOriginal(const Bitmap& bitmap);
    void setPictureOriginal(Bitmap&& bitmap);
    // Leaves the source without a graphic; the shown picture is cleared.
    void clearPictureOriginal();
    // For a caller that renders each picture once and keeps nothing of it (the batch tool): renders
    // `source` with the current values and hands over the shown picture, the same bytes as
    // setPictureOriginal followed by PictureShown. It skips what only a picture kept on screen needs: the
    // shown picture does not start as a copy of the source, and with an area effect and no tone effect
    // the area result itself is the shown picture. The component is left without a picture and calls
    // none of the host's hooks but the busy ones.
    Bitmap renderOnce(Bitmap&& source);
    // Whether the current values change each pixel by itself (no area effect, no noise): a render is then
    // the tone pass alone, with toneSettings(), and may go row by row as the rows arrive.
    bool rendersPixelByPixel() const;
    ToneSettings toneSettings() const;

    // The cached intermediates, or nullptr while absent.
    const Bitmap* AreaResult() const { return m_areaResult.get(); }
    const Bitmap* NoiseLayer() const { return m_noiseLayer.get(); }

    // --- the nineteen effects -------------------------------------------------------------------
    int PicBrightness() const { return m_brightness; }
    void setPicBrightness(int value);
    int PicContrast() const { return m_contrast; }
    void setPicContrast(int value);
    bool PicGrayScale() const { return m_grayScale; }
    void setPicGrayScale(bool value);
    int PicLightness() const { return m_lightness; }
    void setPicLightness(int value);
    int PicDarkness() const { return m_darkness; }
    void setPicDarkness(int value);
    int PicSaturation() const { return m_saturation; }
    void setPicSaturation(int value);
    int PicSplitlight() const { return m_splitlight; }
    void setPicSplitlight(int value);
    bool PicInvert() const { return m_invert; }
    void setPicInvert(bool value);
    int PicColorNoise() const { return m_colorNoise; }
    void setPicColorNoise(int value);
    int PicMonoNoise() const { return m_monoNoise; }
    void setPicMonoNoise(int value);
    int PicPosterize() const { return m_posterize; }
    void setPicPosterize(int value);
    int PicSolorize() const { return m_solorize; }
    void setPicSolorize(int value);
    bool PicEmboss() const { return m_emboss; }
    void setPicEmboss(bool value);
    int PicMosaic() const { return m_mosaic; }
    void setPicMosaic(int value);
    int PicSplitBlur() const { return m_splitBlur; }
    void setPicSplitBlur(int value);
    int PicGaussianBlur() const { return m_gaussianBlur; }
    void setPicGaussianBlur(int value);
    int PicAntiAlias() const { return m_antiAlias; }
    void setPicAntiAlias(int value);
    int PicTrace() const { return m_trace; }
    void setPicTrace(int value);
    int PicTile() const { return m_tile; }
    void setPicTile(int value);

    // Every effect back to neutral, both intermediates dropped, the shown picture a copy of the source.
    void ResetEffects();

    // Free text that the component keeps and never interprets.
    const std::string& PictureEffects() const { return m_pictureEffects; }
    void setPictureEffects(const std::string& text) { m_pictureEffects = text; }

protected:
    // Called whenever PictureShown is assigned as a whole (a new source, ResetEffects), not when Render
    // writes its pixels in place.
    virtual void ShownChanged() {}
    // Called at the end of every Render that passed its preconditions: the control repaints at once.
    virtual void repaintNow() {}
    // Called around effect work that may take a while (area effects, noise layers, renders), so that a
    // host can show a busy cursor. Nested calls come in pairs.
    virtual void beginLongWork() {}
    virtual void endLongWork() {}

    void Render();
    void SourceChanged();

private:
    friend class LongWorkScope;
    // The table of the nineteen effects names their fields, for the bulk operations that must not render.
    friend struct EffectTable;
    // Pictures from this many pixels on count as long work for a render; area effects from an eighth.
    static constexpr long long LongWorkPixels = 4'000'000;

    void clearAreaValues();
    template <typename Effect> void rebuildArea(bool active, Effect&& effect);
    void fillNoise(bool mono);

    Picture m_original;
    std::unique_ptr<Bitmap> m_noiseLayer;
    std::unique_ptr<Bitmap> m_areaResult;

    int m_brightness = 0;
    int m_contrast = 0;
    bool m_grayScale = false;
    int m_lightness = 0;
    int m_darkness = 0;
    int m_saturation = 0;
    int m_splitlight = 0;
    bool m_invert = false;
    int m_colorNoise = 0;
    int m_monoNoise = 0;
    int m_posterize = 0;
    int m_solorize = 0;
    bool m_emboss = false;
    int m_mosaic = 0;
    int m_splitBlur = 0;
    int m_gaussianBlur = 0;
    int m_antiAlias = 0;
    int m_trace = 0;
    int m_tile = 0;

    std::string m_pictureEffects;
    Picture m_shown;
    // PictureShown already holds the tone pass over a just rebuilt AreaResult (see rebuildArea).
    bool m_shownRendered = false;
    // Inside renderOnce.
    bool m_renderOnce = false;
};

} // namespace pixmora
