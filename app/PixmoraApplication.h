#pragma once

#include <QApplication>

class QIcon;

// The program's icon, in every size the desktop asks for.
QIcon programIcon();

// The application object: its title is "Pixmora", and a failure that escapes an event handler ends in
// the program's error report rather than in Qt's event loop, which cannot carry exceptions.
class PixmoraApplication : public QApplication {
    Q_OBJECT
public:
    PixmoraApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
