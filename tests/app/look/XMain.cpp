#include "PixmoraApplication.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

XSession* g_xSession = nullptr;

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The session starts before the application, which connects to it.
    XSession session(std::max(1, qEnvironmentVariableIntValue("QT_SCALE_FACTOR")));
    g_xSession = &session;
    qputenv("QT_QPA_PLATFORM", session.running() ? "xcb" : "offscreen");
    if (!session.running())
        std::printf("No X session for these tests: %s\n", qPrintable(session.whyNot()));
    PixmoraApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
