#pragma once

#include "EffectTable.h"
#include "OrImageEngine.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>

// The effect image control: the engine's pictures and effects, painted into a widget.
class TOrImage : public QWidget, public pixmora::OrImageEngine {
    Q_OBJECT
    Q_PROPERTY(int PicBrightness READ PicBrightness WRITE setPicBrightness)
    Q_PROPERTY(int PicContrast READ PicContrast WRITE setPicContrast)
    Q_PROPERTY(bool PicGrayScale READ PicGrayScale WRITE setPicGrayScale)
    Q_PROPERTY(int PicLightness READ PicLightness WRITE setPicLightness)
    Q_PROPERTY(int PicDarkness READ PicDarkness WRITE setPicDarkness)
    Q_PROPERTY(int PicSaturation READ PicSaturation WRITE setPicSaturation)
    Q_PROPERTY(int PicSplitlight READ PicSplitlight WRITE setPicSplitlight)
    Q_PROPERTY(bool PicInvert READ PicInvert WRITE setPicInvert)
    Q_PROPERTY(int PicColorNoise READ PicColorNoise WRITE setPicColorNoise)
    Q_PROPERTY(int PicMonoNoise READ PicMonoNoise WRITE setPicMonoNoise)
    Q_PROPERTY(int PicPosterize READ PicPosterize WRITE setPicPosterize)
    Q_PROPERTY(int PicSolorize READ PicSolorize WRITE setPicSolorize)
    Q_PROPERTY(bool PicEmboss READ PicEmboss WRITE setPicEmboss)
    Q_PROPERTY(int PicMosaic READ PicMosaic WRITE setPicMosaic)
    Q_PROPERTY(int PicSplitBlur READ PicSplitBlur WRITE setPicSplitBlur)
    Q_PROPERTY(int PicGaussianBlur READ PicGaussianBlur WRITE setPicGaussianBlur)
    Q_PROPERTY(int PicAntiAlias READ PicAntiAlias WRITE setPicAntiAlias)
    Q_PROPERTY(int PicTrace READ PicTrace WRITE setPicTrace)
    Q_PROPERTY(int PicTile READ PicTile WRITE setPicTile)
    Q_PROPERTY(bool Stretch READ Stretch WRITE setStretch)
    Q_PROPERTY(bool Center READ Center WRITE setCenter)
    Q_PROPERTY(bool Transparent READ Transparent WRITE setTransparent)
    Q_PROPERTY(bool IncrementalDisplay READ IncrementalDisplay WRITE setIncrementalDisplay)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE setAutoSize)
    Q_PROPERTY(TAlign Align READ Align WRITE setAlign)
    Q_PROPERTY(QString PictureEffects READ pictureEffectsText WRITE setPictureEffectsText)

public:
    enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
    Q_ENUM(TAlign)

    // The nineteen effect properties in declaration order, for code that copies or checks them all.
    static constexpr std::array<const char*, pixmora::EffectTable::Count> EffectPropertyNames =
        pixmora::effectPropertyNames();

    explicit TOrImage(QWidget* parent = nullptr);
    ~TOrImage() override;

    bool Stretch() const { return m_stretch; }
    void setStretch(bool value);
    bool Center() const { return m_center; }
    void setCenter(bool value);
    bool Transparent() const { return m_transparent; }
    void setTransparent(bool value);
    bool IncrementalDisplay() const { return m_incrementalDisplay; }
    void setIncrementalDisplay(bool value) { m_incrementalDisplay = value; }
    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool value);
    TAlign Align() const { return m_align; }
    void setAlign(TAlign value) { m_align = value; }
    QString pictureEffectsText() const { return QString::fromStdString(PictureEffects()); }
    void setPictureEffectsText(const QString& text) { setPictureEffects(text.toStdString()); }

    bool MouseInside() const { return m_mouseInside; }
    // Whether the control declares that it covers its whole area.
    bool isOpaque() const { return testAttribute(Qt::WA_OpaquePaintEvent); }
    // The rectangle PictureShown is drawn into.
    QRect TargetRect() const;
    // The size the control asks for under AutoSize, from a proposed size.
    QSize CanAutoSize(QSize proposed) const;

    // PictureShown as an image of its own (a deep copy), or a null image when there is none.
    QImage shownImage() const;
    // A picture for PictureOriginal from an image of any format (converted to 24 bits per pixel).
    void setPictureOriginal(const QImage& image);
    using pixmora::OrImageEngine::setPictureOriginal;

    // How many renders have reached the screen since construction (Render's final repaint).
    int renderCount() const { return m_renderCount; }

    // Writes one effect value through its setter, as a bar or a menu command does. The busy cursor shows
    // during the write only when it is expected to take longer than a blink: when the last write of the
    // same effect, scaled to this picture's size, did (or, before any, when the engine calls neighbourhood
    // or noise work long).
    void writeEffect(const pixmora::EffectDescription& effect, int value);
    // How long a write must take for the busy cursor to be worth showing.
    static constexpr int BlinkMs = 100;

signals:
    void OnMouseEnter(QObject* sender);
    void OnMouseExit(QObject* sender);
    void OnMouseMove(QObject* sender, Qt::KeyboardModifiers modifiers, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

    void ShownChanged() override;
    void repaintNow() override;
    void beginLongWork() override;
    void endLongWork() override;

private:
    void updateOpaque();
    QSize naturalSize() const;
    void showBusyCursor(bool on);
    // PictureShown as the paint draws it at this size in device pixels.
    QImage paintedImage(QSize deviceSize);
    bool expectsLongWrite(const pixmora::EffectDescription& effect, long long pixels) const;

    // The duration of the last write of each effect, and the picture size it ran on.
    struct WriteTime {
        long long pixels = 0;
        qint64 ms = 0;
    };
    std::array<WriteTime, pixmora::EffectTable::Count> m_writeTimes{};

    bool m_stretch = false;
    bool m_center = false;
    bool m_transparent = false;
    bool m_incrementalDisplay = false;
    bool m_autoSize = false;
    TAlign m_align = alNone;
    bool m_mouseInside = false;
    bool m_drawing = false;
    int m_longWorkDepth = 0;
    bool m_busyCursor = false;
    // Inside writeEffect: whether its long work shows the busy cursor (decided once, before the work).
    bool m_inWrite = false;
    bool m_writeLooksLong = false;
    int m_renderCount = 0;
    // Counts every change of PictureShown's pixels, for the scaled picture kept for painting.
    quint64 m_shownSerial = 0;
    QImage m_painted;
    quint64 m_paintedSerial = 0;
    bool m_paintedTransparent = false;
};

// Wraps a working bitmap as an image without copying; valid while the bitmap lives unchanged.
QImage imageView(const pixmora::Bitmap& bitmap);
// Converts any image to a working bitmap.
pixmora::Bitmap bitmapFromImage(const QImage& image);
