#include "cli/interrupt.h"

#include <atomic>
#include <csignal>

namespace inkveil::cli {

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler must be async-signal-safe");

struct sigaction g_previousInt;
struct sigaction g_previousTerm;

extern "C" void onSignal(int signal)
{
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
}

} // namespace

InterruptGuard::InterruptGuard()
{
    g_signal.store(0);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_previousInt);
    sigaction(SIGTERM, &action, &g_previousTerm);
}

InterruptGuard::~InterruptGuard()
{
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
}

int InterruptGuard::received()
{
    return g_signal.load();
}

} // namespace inkveil::cli
