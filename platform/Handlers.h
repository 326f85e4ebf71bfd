#pragma once

#include "UserDialogs.h"

// A slot for connect() that runs a window's handler through the error report: a failure is reported
// once and skips the rest of the handler, and no exception ever reaches Qt's event loop.
template <typename Window> auto handler(Window* window, void (Window::*method)()) {
    return [window, method] { pixmora::guarded([&] { (window->*method)(); }); };
}
