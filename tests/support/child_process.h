#pragma once

// Runs engine code in a forked child, for what a test cannot do to itself:
// kill it mid-document, limit its file size, give it a mount namespace or
// another user.

#include <functional>
#include <string>

namespace inkveil::test {

struct ChildOutcome {
    bool killed = false;  // ended by a signal
    int exitCode = -1;    // when not killed
    std::string report;   // everything the child reported
};

using Report = std::function<void(const std::string&)>;

// Forks; the child runs body, which reports through the function it is given,
// and ends with _exit(0) (no exit handlers, no leak check). When killOn is not
// empty, the child is sent SIGKILL as soon as its report contains killOn, after
// beforeKill, if any, has run in the parent.
ChildOutcome runInChild(const std::function<void(const Report& report)>& body, const std::string& killOn = {},
                        const std::function<void()>& beforeKill = {});

} // namespace inkveil::test
