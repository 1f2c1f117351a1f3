#include "platform/watchdog.h"

#include <algorithm>
#include <atomic>

namespace inkveil::platform {

namespace {

// How often the caller's cancellation is asked while a page is drawn.
constexpr std::chrono::milliseconds kCancelPoll{25};

} // namespace

Watchdog::Watchdog(fz_cookie& cookie, std::chrono::milliseconds budget, CancelCheck cancelled)
    : m_cookie(cookie),
      m_deadline(std::chrono::steady_clock::now() + budget),
      m_cancelled(std::move(cancelled)),
      m_thread([this](std::stop_token stop) { watch(stop); })
{
}

Watchdog::~Watchdog() { stop(); }

Watchdog::Verdict Watchdog::stop()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    return m_verdict;
}

void Watchdog::watch(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        Verdict verdict = Verdict::finished;
        if (m_cancelled && m_cancelled())
            verdict = Verdict::cancelled;
        else if (now >= m_deadline)
            verdict = Verdict::timedOut;
        if (verdict != Verdict::finished) {
            m_verdict = verdict;
            // MuPDF reads the flag without synchronisation; our side writes atomically.
            std::atomic_ref<int>(m_cookie.abort).store(1, std::memory_order_relaxed);
            return;
        }
        const auto wake = m_cancelled ? std::min(m_deadline, now + kCancelPoll) : m_deadline;
        m_wake.wait_until(lock, stop, wake, [] { return false; });
        if (stop.stop_requested())
            return;
    }
}

} // namespace inkveil::platform
