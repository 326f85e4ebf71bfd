#include "Forms.h"
#include "PixmoraApplication.h"
#include "ProgramDialogs.h"
#include "ProgramFolder.h"
#include "SingleInstance.h"
#include "Unit1.h"
#include "Unit3.h"
#include "Windows.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <cstdio>
#include <memory>

namespace {

// The picture named on the command line, as an absolute name (relative names are the caller's, whose
// current directory the running program does not share); a file: address stands for its file.
QString fileArgument(const QApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Pixmora: visualizador e editor de imagens"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("arquivo"), QStringLiteral("Imagem a abrir"),
                                 QStringLiteral("[arquivo]"));
    parser.process(application);
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return QString();
    QString file = files.front();
    const QUrl url(file);
    if (url.isLocalFile())
        file = url.toLocalFile();
    return QFileInfo(file).absoluteFilePath();
}

// A later start's request: its file opens as a drop would, and the program comes to the front. While a
// box is up the request waits for it, so that nothing opens underneath a question still unanswered.
void takeRequest(const QString& file) {
    if (!Form1)
        return;
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(200, Form1, [file] { takeRequest(file); });
        return;
    }
    if (Form1->isMinimized())
        Form1->showMaximized();
    Form1->raise();
    Form1->activateWindow();
    if (!file.isEmpty())
        pixmora::guarded([&] { Form1->openFile(file); });
    else if (Form3 && Form3->isVisible()) {
        Form3->raise();
        Form3->activateWindow();
    }
}

} // namespace

int main(int argc, char** argv) {
    PixmoraApplication application(argc, argv);
    application.setApplicationVersion(QStringLiteral(PIXMORA_VERSION));
    // Qt's own dialogs (the picture open and save dialogs) speak the program's language.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&qtTexts);
    const QString file = fileArgument(application);

    ProgramDialogs dialogs;
    pixmora::setUserDialogs(&dialogs);

    std::unique_ptr<SingleInstance> instance;
    pixmora::guarded([&] { instance = std::make_unique<SingleInstance>(pixmora::settingsFolder()); });
    if (instance && !instance->claim()) {
        pixmora::setUserDialogs(nullptr);
        if (instance->handOver(file, 10000))
            return 0;
        std::fprintf(stderr, "pixmora: o Pixmora já está em execução e não respondeu.\n");
        return 1;
    }

    int result = 0;
    {
        ProgramWindows windows;
        if (instance)
            QObject::connect(instance.get(), &SingleInstance::fileHandedOver, Form1, &takeRequest);
        windows.start(file);
        result = application.exec();
    }
    pixmora::setUserDialogs(nullptr);
    return result;
}
