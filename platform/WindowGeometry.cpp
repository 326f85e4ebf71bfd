#include "WindowGeometry.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <optional>

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
        // A maximised window has lost its side borders, so its frame tells nothing about others.
        if (other == window || !other->isVisible() || other->isFullScreen() || other->isMaximized() ||
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

namespace {

// Until the window manager has framed a window, its outer size and frame position rest on a guessed
// frame. This puts them right once the real frame is known.
class FrameFollower : public QObject {
public:
    explicit FrameFollower(QWidget* window) : QObject(window), m_window(window) {
        window->installEventFilter(this);
    }

    static FrameFollower* of(QWidget* window) {
        for (QObject* child : window->children())
            if (auto* follower = dynamic_cast<FrameFollower*>(child))
                return follower;
        return new FrameFollower(window);
    }

    std::optional<QSize> outer;
    std::optional<QPoint> framePosition;

protected:
    bool eventFilter(QObject*, QEvent*) override {
        // The frame shows up with whatever event follows the window manager's reparenting, not
        // necessarily a move; the correction waits for the event loop, outside the event at hand.
        if (hasKnownFrame(m_window)) {
            m_window->removeEventFilter(this);
            QMetaObject::invokeMethod(
                this, [this] { apply(); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void apply() {
        if (outer)
            m_window->resize(*outer - sizeOf(knownFrame(m_window)));
        if (framePosition)
            m_window->move(*framePosition);
        deleteLater();
    }

    QWidget* m_window;
};

} // namespace

void setOuterSize(QWidget* window, QSize outer) {
    window->resize(outer - sizeOf(frameMarginsOf(window)));
    if (!hasKnownFrame(window) && !window->isMaximized() && !window->isFullScreen())
        FrameFollower::of(window)->outer = outer;
}

void moveFrameTo(QWidget* window, QPoint position) {
    // Once the frame is known, a window's position is its frame's; before, it is its client area's.
    if (knownFrame(window).isNull()) {
        const QMargins frame = frameMarginsOf(window);
        window->move(position + QPoint(frame.left(), frame.top()));
        FrameFollower::of(window)->framePosition = position;
        return;
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
