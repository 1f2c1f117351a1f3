#pragma once

namespace inkveil::cli {

// While alive, SIGINT and SIGTERM only raise a flag that the work polls at its
// cancellation checkpoints, so a run can stop and clean up after itself.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // The first signal received, or 0.
    static int received();
};

} // namespace inkveil::cli
