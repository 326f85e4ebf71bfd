#include "OrImage.h"

#include <QElapsedTimer>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <cstring>
#include <vector>

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

// Where each target pixel's centre falls in the source, along one side: the two source pixels around it
// and the weight of the second, in 256ths.
struct Taps {
    int first, second, weight;
};

std::vector<Taps> tapsAlong(int source, int target) {
    std::vector<Taps> taps(static_cast<std::size_t>(target));
    for (int i = 0; i < target; ++i) {
        const double centre = std::clamp((i + 0.5) * source / target - 0.5, 0.0, source - 1.0);
        const int first = static_cast<int>(centre);
        taps[static_cast<std::size_t>(i)] = {first, std::min(first + 1, source - 1),
                                             static_cast<int>((centre - first) * 256 + 0.5)};
    }
    return taps;
}

// The picture scaled to `size` as a 32-bit image that Qt draws without converting. With a key colour, the
// pixels of that colour are left out (premultiplied alpha). Shrunk to half or less, each target pixel takes
// the source pixel at its centre: bilinear weights would cost several times as much and, with four of
// the many source pixels under a target pixel, look no better. Otherwise it is bilinear.
QImage scaledPicture(const Bitmap& source, QSize size, const std::uint8_t* key) {
    QImage scaled(size, key ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const auto opaque = [key](const std::uint8_t* p) {
        return !key || p[0] != key[0] || p[1] != key[1] || p[2] != key[2] ? 1 : 0;
    };
    if (source.width() >= 2 * size.width() && source.height() >= 2 * size.height()) {
        std::vector<int> offsets(static_cast<std::size_t>(size.width()));
        for (int x = 0; x < size.width(); ++x)
            offsets[static_cast<std::size_t>(x)] =
                3 *
                static_cast<int>((2 * x + 1) * static_cast<long long>(source.width()) / (2 * size.width()));
        for (int y = 0; y < size.height(); ++y) {
            const std::uint8_t* row = source.row(static_cast<int>(
                (2 * y + 1) * static_cast<long long>(source.height()) / (2 * size.height())));
            auto* line = reinterpret_cast<QRgb*>(scaled.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                const std::uint8_t* p = row + offsets[static_cast<std::size_t>(x)];
                line[x] = opaque(p) ? qRgb(p[2], p[1], p[0]) : 0;
            }
        }
        return scaled;
    }
    const std::vector<Taps> across = tapsAlong(source.width(), size.width());
    const std::vector<Taps> down = tapsAlong(source.height(), size.height());
    for (int y = 0; y < size.height(); ++y) {
        const Taps& v = down[static_cast<std::size_t>(y)];
        const std::uint8_t* upper = source.row(v.first);
        const std::uint8_t* lower = source.row(v.second);
        auto* line = reinterpret_cast<QRgb*>(scaled.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const Taps& h = across[static_cast<std::size_t>(x)];
            const std::uint8_t* p[4] = {upper + 3 * h.first, upper + 3 * h.second, lower + 3 * h.first,
                                        lower + 3 * h.second};
            // The four weights add up to 65536.
            int w[4] = {(256 - h.weight) * (256 - v.weight), h.weight * (256 - v.weight),
                        (256 - h.weight) * v.weight, h.weight * v.weight};
            int alpha = 65536;
            if (key) {
                alpha = 0;
                for (int i = 0; i < 4; ++i) {
                    w[i] *= opaque(p[i]);
                    alpha += w[i];
                }
            }
            int channel[3];
            for (int c = 0; c < 3; ++c)
                channel[c] =
                    (p[0][c] * w[0] + p[1][c] * w[1] + p[2][c] * w[2] + p[3][c] * w[3] + 32768) >> 16;
            line[x] = qRgba(channel[2], channel[1], channel[0], (alpha * 255 + 32768) >> 16);
        }
    }
    return scaled;
}

} // namespace

QImage TOrImage::paintedImage(QSize deviceSize) {
    const Bitmap& shown = PictureShown().bitmap();
    const bool natural = deviceSize == QSize(shown.width(), shown.height());
    if (natural && !m_transparent)
        return imageView(shown);
    if (m_painted.isNull() || m_paintedSerial != m_shownSerial || m_painted.size() != deviceSize ||
        m_paintedTransparent != m_transparent) {
        // A transparent bitmap leaves out every pixel of its bottom-left pixel's colour.
        const std::uint8_t* key = m_transparent ? shown.pixel(0, shown.height() - 1) : nullptr;
        m_painted = scaledPicture(shown, deviceSize, key);
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
