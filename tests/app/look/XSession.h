#pragma once

#include <QString>

#include <sys/types.h>

// A private X server with a window manager for the tests that need a real screen: Xvfb on a display it
// picks itself, and openbox on it. DISPLAY points at it while the session lives.
class XSession {
public:
    // A screen of 1280 x 1024 pixels at a scale factor of 1, as large in logical pixels at any other.
    explicit XSession(int scale = 1);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool running() const { return m_display >= 0; }
    // Why there is no session, for the tests to say when they skip.
    QString whyNot() const { return m_whyNot; }

private:
    pid_t m_server = -1;
    pid_t m_windowManager = -1;
    int m_display = -1;
    QString m_whyNot;
};
