// Verifies any bytes as if they were a written output of one page, with the
// fixed plan's mark and phrase: an answer or verificationFailed, nothing else.
#include "fuzz/fuzz_support.h"

#include "core/engine.h"

#include <exception>

using namespace inkveil;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString output = fuzz::writeInput(QStringLiteral("output.pdf"), data, size);
    const RedactionPlan plan = fuzz::fixedPlan();
    try {
        const RedactionVerification v = InkveilEngine::verify(output, 1, 1, plan.searchTerms, plan.regions);
        if (v.pageCount != 1 || v.hasSelectableText || v.hasAnnotations || v.hasPersonalMetadata)
            fuzz::violation("verification passed with a finding");
    } catch (const InkveilError& e) {
        if (e.kind() != InkveilError::Kind::verificationFailed)
            fuzz::violation("verify failed with something other than verificationFailed");
    } catch (const std::exception& e) {
        fuzz::violation(e.what());
    }
    return 0;
}
