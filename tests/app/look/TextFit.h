#pragma once

#include <QStringList>

class QWidget;

// Every text a window shows that does not fit the room its widget gives it: labels, buttons, check boxes,
// radio buttons, group box titles, line edits and the window's caption. Each entry names the widget and
// says how much room the text needs and has. Only what is visible counts.
QStringList textsThatDoNotFit(QWidget* window);

// The width a window manager's title bar needs for a caption: its text in a bold title font between a
// window icon and three buttons.
int captionWidth(const QWidget* window);
