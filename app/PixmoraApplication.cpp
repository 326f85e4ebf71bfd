#include "PixmoraApplication.h"

#include "UserDialogs.h"

PixmoraApplication::PixmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Only the name: a display name would be appended to every window's caption.
    setApplicationName(QStringLiteral("Pixmora"));
}

bool PixmoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        pixmora::reportCurrentException();
        return false;
    }
}
