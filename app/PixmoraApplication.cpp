#include "PixmoraApplication.h"

#include "UserDialogs.h"

#include <QIcon>

QIcon programIcon() {
    // The pictures are linked from a static library, which registers nothing by itself.
    Q_INIT_RESOURCE(pixmora);
    // The installed theme's icon where there is one, else the copy built into the program.
    QIcon builtIn;
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/desktop/icon-%1.png").arg(side), QSize(side, side));
    return QIcon::fromTheme(QStringLiteral("org.pixmora.Pixmora"), builtIn);
}

PixmoraApplication::PixmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Only the name: a display name would be appended to every window's caption.
    setApplicationName(QStringLiteral("Pixmora"));
    // The desktop matches the windows to the installed launcher and its icon by this name.
    setDesktopFileName(QStringLiteral("org.pixmora.Pixmora"));
    setWindowIcon(programIcon());
}

bool PixmoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        pixmora::reportCurrentException();
        return false;
    }
}
