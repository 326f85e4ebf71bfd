#include "WindowGeometry.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <optional>

#if PIXMORA_HAS_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

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

// The frame as the window manager announces it on the window itself. Qt reads that property once and
// may miss a later change of it, so a window it believes unframed is asked about directly.
QMargins announcedFrame(const QWidget* window) {
#if PIXMORA_HAS_XCB
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !window->isVisible() || !window->testAttribute(Qt::WA_WState_Created))
        return QMargins();
    xcb_connection_t* connection = x11->connection();
    static xcb_atom_t extents = [connection] {
        static const char name[] = "_NET_FRAME_EXTENTS";
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }();
    if (extents == XCB_ATOM_NONE)
        return QMargins();
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, static_cast<xcb_window_t>(window->winId()),
                                                extents, XCB_ATOM_CARDINAL, 0, 4),
                               nullptr);
    QMargins frame;
    if (reply && reply->type == XCB_ATOM_CARDINAL && reply->format == 32 &&
        xcb_get_property_value_length(reply) == 16) {
        const auto* value = static_cast<const quint32*>(xcb_get_property_value(reply));
        // Left, right, top, bottom, in device pixels.
        const qreal ratio = window->devicePixelRatioF();
        const auto logical = [ratio](quint32 pixels) { return qRound(pixels / ratio); };
        frame = QMargins(logical(value[0]), logical(value[2]), logical(value[1]), logical(value[3]));
    }
    std::free(reply);
    return frame;
#else
    Q_UNUSED(window);
    return QMargins();
#endif
}

QMargins knownFrame(const QWidget* window) {
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    return frame.isNull() ? announcedFrame(window) : frame;
}

QSize sizeOf(QMargins frame) {
    return QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
}

bool inNormalState(const QWidget* window) {
    return !(window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized));
}

QPoint desktopCenterFor(QSize outer) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), primaryScreenSize());
    return QPoint(area.x() + (area.width() - outer.width()) / 2,
                  area.y() + (area.height() - outer.height()) / 2);
}

void resizeClient(QWidget* window, QSize client) {
    // A window the user cannot resize keeps its fixed size; it only changes as a whole.
    if (window->minimumSize() == window->maximumSize())
        window->setFixedSize(client);
    else
        window->resize(client);
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
        if (other == window || !other->isVisible() || !inNormalState(other) ||
            other->windowFlags().testFlag(Qt::FramelessWindowHint))
            continue;
        frame = knownFrame(other);
        if (!frame.isNull())
            return frame;
    }
    return standardFrame();
}

QSize outerSize(const QWidget* window) {
    return window->size() + sizeOf(frameMarginsOf(window));
}

namespace {

// Carries out a window's designed outer size and frame place once its real frame is known. The window
// manager frames a window some time after it is mapped, and tells of it through no event of its own, so
// the follower looks at every event of the window and, while shown and waiting, a few times a second;
// it is done once the window stands as designed, and gives up on a window manager that will not have it.
class FrameFollower : public QObject {
public:
    explicit FrameFollower(QWidget* window) : QObject(window), m_window(window) {
        window->installEventFilter(this);
        m_poll.setInterval(40);
        connect(&m_poll, &QTimer::timeout, this, &FrameFollower::check);
    }

    static FrameFollower* of(const QWidget* window) {
        for (QObject* child : window->children())
            if (auto* follower = dynamic_cast<FrameFollower*>(child))
                return follower;
        return nullptr;
    }
    static FrameFollower* make(QWidget* window) {
        FrameFollower* follower = of(window);
        return follower ? follower : new FrameFollower(window);
    }

    void wantOuterSize(QSize outer) {
        m_outer = outer;
        restart();
    }
    void wantFramePosition(QPoint position) {
        m_position = position;
        m_centred = false;
        restart();
    }
    void wantCentred() {
        m_position.reset();
        m_centred = true;
        restart();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::WindowStateChange:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowActivate:
        case QEvent::UpdateRequest:
            restart();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void restart() {
        m_ticks = 0;
        if (m_window->isVisible() && !m_poll.isActive())
            m_poll.start();
    }

    void check() {
        if (!m_window->isVisible() || ++m_ticks > MaxTicks) {
            m_poll.stop();
            return;
        }
        // Maximised, full screen or minimised: the designed geometry waits for the normal state.
        if (!inNormalState(m_window) || !hasKnownFrame(m_window))
            return;
        const QMargins frame = knownFrame(m_window);
        if (m_outer) {
            const QSize client = *m_outer - sizeOf(frame);
            if (m_window->size() != client) {
                if (++m_attempts > MaxAttempts)
                    return giveUp();
                resizeClient(m_window, client);
                return;
            }
        }
        std::optional<QPoint> position = m_position;
        if (m_centred)
            position = desktopCenterFor(m_window->size() + sizeOf(frame));
        if (position && frameTopLeft(m_window) != *position) {
            if (++m_attempts > MaxAttempts)
                return giveUp();
            m_window->move(*position);
            return;
        }
        // As designed: the user may move and resize it from here on.
        giveUp();
    }

    void giveUp() {
        m_poll.stop();
        m_window->removeEventFilter(this);
        deleteLater();
    }

    static constexpr int MaxTicks = 75;    // about three seconds without progress
    static constexpr int MaxAttempts = 12; // corrections a window manager may refuse before we stop

    QWidget* m_window;
    QTimer m_poll;
    std::optional<QSize> m_outer;
    std::optional<QPoint> m_position;
    bool m_centred = false;
    int m_ticks = 0;
    int m_attempts = 0;
};

} // namespace

void setOuterSize(QWidget* window, QSize outer) {
    if (inNormalState(window))
        resizeClient(window, outer - sizeOf(frameMarginsOf(window)));
    FrameFollower::make(window)->wantOuterSize(outer);
}

void moveFrameTo(QWidget* window, QPoint position) {
    // Once the frame is known, a window's position is its frame's; before, it is its client area's.
    if (hasKnownFrame(window)) {
        window->move(position);
    } else {
        const QMargins frame = frameMarginsOf(window);
        window->move(position + QPoint(frame.left(), frame.top()));
    }
    FrameFollower::make(window)->wantFramePosition(position);
}

void moveToDesktopCenter(QWidget* window) {
    const QSize outer = outerSize(window);
    const QPoint position = desktopCenterFor(outer);
    if (hasKnownFrame(window)) {
        window->move(position);
    } else {
        const QMargins frame = frameMarginsOf(window);
        window->move(position + QPoint(frame.left(), frame.top()));
    }
    FrameFollower::make(window)->wantCentred();
}

QPoint frameTopLeft(const QWidget* window) {
    const QMargins frame = knownFrame(window);
    return window->geometry().topLeft() - QPoint(frame.left(), frame.top());
}

bool hasPendingPlacement(const QWidget* window) {
    return FrameFollower::of(window) != nullptr;
}
