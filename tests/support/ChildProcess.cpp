#include "ChildProcess.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace filetest {

ChildOutcome inChild(const std::function<std::string()>& work, const std::function<void()>& prepare) {
    int channel[2];
    if (::pipe(channel) != 0)
        return {};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(channel[0]);
        if (prepare)
            prepare();
        struct rusage before {};
        ::getrusage(RUSAGE_SELF, &before);
        const std::string text = work();
        struct rusage after {};
        ::getrusage(RUSAGE_SELF, &after);
        const std::string report = std::to_string(after.ru_maxrss - before.ru_maxrss) + "\n" + text;
        for (std::size_t done = 0; done < report.size();) {
            const ssize_t n = ::write(channel[1], report.data() + done, report.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ChildOutcome outcome;
    outcome.exited = WIFEXITED(status);
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    const std::size_t newline = report.find('\n');
    if (newline != std::string::npos) {
        outcome.peakKb = std::stoll(report.substr(0, newline));
        outcome.text = report.substr(newline + 1);
    }
    return outcome;
}

void limitAddressSpace(long long extraBytes) {
    long long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    struct rlimit limit {};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(pages * ::sysconf(_SC_PAGE_SIZE) + extraBytes);
    ::setrlimit(RLIMIT_AS, &limit);
}

} // namespace filetest
