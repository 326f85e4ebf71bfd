#include "WindowGeometry.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace {

QSize g_screenSizeForTesting;

} // namespace

QSize primaryScreenSize() {
    if (g_screenSizeForTesting.isValid())
        return g_screenSizeForTesting;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(800, 600);
}

void setScreenSizeForTesting(QSize size) {
    g_screenSizeForTesting = size;
}

QMargins standardFrame() {
    return QMargins(4, 30, 4, 4);
}

QSize standardFrameSize() {
    const QMargins frame = standardFrame();
    return QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
}

namespace {

QMargins knownFrame(const QWidget* window) {
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

} // namespace

bool hasKnownFrame(const QWidget* window) {
    return !knownFrame(window).isNull();
}

QMargins frameMarginsOf(const QWidget* window) {
    QMargins frame = knownFrame(window);
    if (!frame.isNull())
        return frame;
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other == window || !other->isVisible() || other->isFullScreen() ||
            other->windowFlags().testFlag(Qt::FramelessWindowHint))
            continue;
        frame = knownFrame(other);
        if (!frame.isNull())
            return frame;
    }
    return standardFrame();
}

namespace {

QSize sizeOf(QMargins frame) {
    return QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
}

} // namespace

QSize outerSize(const QWidget* window) {
    return window->size() + sizeOf(frameMarginsOf(window));
}

void setOuterSize(QWidget* window, QSize outer) {
    window->resize(outer - sizeOf(frameMarginsOf(window)));
}

void moveFrameTo(QWidget* window, QPoint position) {
    // Once the frame is known, a window's position is its frame's; before, it is its client area's.
    if (knownFrame(window).isNull()) {
        const QMargins frame = frameMarginsOf(window);
        position += QPoint(frame.left(), frame.top());
    }
    window->move(position);
}

void moveToDesktopCenter(QWidget* window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize outer = outerSize(window);
    moveFrameTo(window, screen->availableGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2));
}
