#include "PixmoraApplication.h"

#include <gtest/gtest.h>

namespace {

QtMessageHandler g_defaultHandler = nullptr;

// The offscreen platform cannot stack or decorate windows, and says so at every turn.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    g_defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv) {
    // The windows are real ones, shown on no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_defaultHandler = qInstallMessageHandler(quietHandler);
    PixmoraApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
