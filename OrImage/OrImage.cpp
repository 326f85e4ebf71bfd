#include "OrImage.h"

#include <QElapsedTimer>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

#include <cstring>

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
    const QSize natural = naturalSize();
    if (m_autoSize && natural.width() > 0 && natural.height() > 0)
        setGeometry(x(), y(), natural.width(), natural.height());
    updateOpaque();
    if (!m_drawing)
        update();
}

void TOrImage::repaintNow() {
    ++m_renderCount;
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

void TOrImage::paintEvent(QPaintEvent*) {
    if (!PictureShown().hasGraphic() || PictureShown().bitmap().isEmpty())
        return;
    const bool wasDrawing = m_drawing;
    m_drawing = true;
    QPainter painter(this);
    QImage image = imageView(PictureShown().bitmap());
    if (m_transparent) {
        // A transparent bitmap leaves out every pixel of its bottom-left pixel's colour.
        QImage masked = image.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = masked.pixel(0, masked.height() - 1);
        for (int y = 0; y < masked.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
            for (int x = 0; x < masked.width(); ++x)
                if (line[x] == key)
                    line[x] = 0;
        }
        image = masked;
    }
    const QRect target = TargetRect();
    if (target.size() != naturalSize())
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, image);
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
