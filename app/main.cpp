#include "PixmoraApplication.h"
#include "ProgramDialogs.h"
#include "Windows.h"

int main(int argc, char** argv) {
    PixmoraApplication application(argc, argv);
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
