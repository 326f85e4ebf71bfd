#include "BatchTool.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// Qt's image plugins print their own warnings about damaged files; the tool reports every failure
// itself, once, so only Qt's serious messages get through.
void onQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "pixmora-batch: %s\n", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(onQtMessage);
    // A core application is enough: pictures are read and written without any display.
    QCoreApplication app(argc, argv);
    return pixmora::batch::runTool(QCoreApplication::arguments().mid(1), stdout, stderr);
}
