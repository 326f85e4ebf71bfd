#pragma once

#include <QMargins>
#include <QPoint>
#include <QSize>

class QWidget;

// The size of the primary screen in pixels: the program sizes its tool bar, its picture window and its
// full-screen view by it.
QSize primaryScreenSize();
// Tests try the program on screens of other sizes; an invalid size brings the real screen back.
void setScreenSizeForTesting(QSize size);

// The program's window sizes and positions are those of the outer frame, whatever the window manager
// and its frame width. Until a window manager has framed a window, its frame is taken to be like that of
// another window of the program that it has already framed, or else a standard one (4-pixel borders and a
// 26-pixel title bar). Once the real frame is known, the window is put right: the designed outer size
// and frame position hold on every desktop. A correction waits while the window is maximised, full
// screen or minimised, and is carried out when it is next shown in its normal state.
QMargins standardFrame();
QSize standardFrameSize();
QMargins frameMarginsOf(const QWidget* window);
bool hasKnownFrame(const QWidget* window);
QSize outerSize(const QWidget* window);
void setOuterSize(QWidget* window, QSize outer);
void moveFrameTo(QWidget* window, QPoint position);
// Puts the window's frame in the middle of the primary screen's desktop area.
void moveToDesktopCenter(QWidget* window);
// Where the window's frame stands on the screen (its client area's place while it has no frame).
QPoint frameTopLeft(const QWidget* window);
// True while a correction of the window's size or place still waits for its real frame.
bool hasPendingPlacement(const QWidget* window);
