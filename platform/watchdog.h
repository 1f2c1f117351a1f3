#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

extern "C" {
#include <mupdf/fitz.h>
}

namespace inkveil::platform {

// Gives up on MuPDF work that outlives its time budget or that the caller no
// longer wants, by setting the cookie's abort flag from a thread of its own.
// MuPDF looks at the flag between content operators and then returns as if the
// content had ended, so the owner must ask stop() what happened.
class Watchdog {
public:
    // Called on the watchdog's thread: it must be safe to call from there (a
    // std::stop_token read is).
    using CancelCheck = std::function<bool()>;
    enum class Verdict { finished, timedOut, cancelled };

    Watchdog(fz_cookie& cookie, std::chrono::milliseconds budget, CancelCheck cancelled = {});
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Ends the watch; whether it aborted the work, and why.
    Verdict stop();

private:
    void watch(std::stop_token stop);

    fz_cookie& m_cookie;
    const std::chrono::steady_clock::time_point m_deadline;
    const CancelCheck m_cancelled;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    Verdict m_verdict = Verdict::finished;
    std::jthread m_thread; // last: starts once the rest is set up
};

} // namespace inkveil::platform
