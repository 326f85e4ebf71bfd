#include "PixmoraApplication.h"
#include "ProgramDialogs.h"
#include "Windows.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv) {
    PixmoraApplication application(argc, argv);
    // Qt's own dialogs (the picture open and save dialogs) speak the program's language.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&qtTexts);
    ProgramDialogs dialogs;
    pixmora::setUserDialogs(&dialogs);
    int result = 0;
    {
        ProgramWindows windows;
        windows.start();
        result = application.exec();
    }
    pixmora::setUserDialogs(nullptr);
    return result;
}
