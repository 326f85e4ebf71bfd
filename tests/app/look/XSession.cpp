#include "XSession.h"

#include <QByteArray>
#include <QStandardPaths>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

void stop(pid_t& pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

bool windowManagerUp() {
    // The window manager announces itself on the root window.
    FILE* out = ::popen("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null", "r");
    if (!out)
        return false;
    char line[256] = {};
    const bool announced =
        std::fgets(line, sizeof line, out) && std::string(line).find("window id") != std::string::npos;
    ::pclose(out);
    return announced;
}

} // namespace

XSession::XSession(int scale) {
    const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString manager = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    const QString xprop = QStandardPaths::findExecutable(QStringLiteral("xprop"));
    if (server.isEmpty() || manager.isEmpty() || xprop.isEmpty()) {
        m_whyNot = QStringLiteral("Xvfb, openbox and xprop are needed (scripts/setup installs them)");
        return;
    }
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        m_whyNot = QStringLiteral("no pipe for Xvfb");
        return;
    }
    m_server = ::fork();
    if (m_server == 0) {
        ::close(pipeFds[0]);
        const std::string fd = std::to_string(pipeFds[1]);
        const QByteArray path = server.toLocal8Bit();
        const std::string screen = std::to_string(1280 * scale) + "x" + std::to_string(1024 * scale) + "x24";
        ::execl(path.constData(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                "-nolisten", "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    // Xvfb writes the display it chose once it accepts connections.
    std::string number;
    pollfd wait = {pipeFds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&wait, 1, 15000) > 0 && ::read(pipeFds[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(pipeFds[0]);
    if (number.empty()) {
        m_whyNot = QStringLiteral("Xvfb did not start");
        stop(m_server);
        return;
    }
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    m_windowManager = ::fork();
    if (m_windowManager == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        const QByteArray path = manager.toLocal8Bit();
        ::execl(path.constData(), "openbox", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 300 && !windowManagerUp(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!windowManagerUp()) {
        m_whyNot = QStringLiteral("openbox did not start");
        stop(m_windowManager);
        stop(m_server);
        return;
    }
    m_display = std::stoi(number);
}

XSession::~XSession() {
    stop(m_windowManager);
    stop(m_server);
}
