#pragma once

#include <QMargins>
#include <QPoint>
#include <QSize>

class QWidget;

// The size of the primary screen in pixels: the program sizes its tool bar and its picture window by it.
QSize primaryScreenSize();

// The program's window sizes and positions are those of the outer frame. Until the window manager has
// decorated a window, its frame is taken to be like that of another window of the program that it has
// already decorated, or else a standard one: 4-pixel borders and a 26-pixel title bar.
QMargins standardFrame();
QSize standardFrameSize();
QMargins frameMarginsOf(const QWidget* window);
bool hasKnownFrame(const QWidget* window);
QSize outerSize(const QWidget* window);
void setOuterSize(QWidget* window, QSize outer);
void moveFrameTo(QWidget* window, QPoint position);
