#include "tests/support/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

namespace inkveil::test {

ChildOutcome runInChild(const std::function<void(const Report& report)>& body, const std::string& killOn,
                        const std::function<void()>& beforeKill)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return {};
    }
    if (pid == 0) {
        ::close(fds[0]);
        const int out = fds[1];
        const auto report = [out](const std::string& text) {
            for (size_t done = 0; done < text.size();) {
                const ssize_t n = ::write(out, text.data() + done, text.size() - done);
                if (n <= 0 && errno != EINTR)
                    return;
                done += n > 0 ? static_cast<size_t>(n) : 0;
            }
        };
        try {
            body(report);
        } catch (const std::exception& e) {
            report(std::string("uncaught: ") + e.what());
            ::_exit(3);
        } catch (...) {
            report("uncaught exception");
            ::_exit(3);
        }
        ::_exit(0);
    }

    ::close(fds[1]);
    ChildOutcome outcome;
    bool sent = false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        outcome.report.append(buffer, static_cast<size_t>(n));
        if (!sent && !killOn.empty() && outcome.report.find(killOn) != std::string::npos) {
            if (beforeKill)
                beforeKill();
            ::kill(pid, SIGKILL);
            sent = true;
        }
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.killed = WIFSIGNALED(status);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

} // namespace inkveil::test
