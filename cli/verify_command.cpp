#include "cli/commands.h"
#include "cli/console.h"
#include "cli/document_probe.h"
#include "core/engine.h"
#include "platform/mu_context.h"

#include <algorithm>

namespace inkveil::cli {

int runVerify(const VerifyOptions& options)
{
    std::int64_t expectedPages = 0;
    if (options.pages) {
        expectedPages = *options.pages;
    } else {
        // An output always has pages: a file without any must not pass as one.
        platform::Context ctx;
        expectedPages = std::max<std::int64_t>(probeDocument(ctx, options.file).pageCount, 1);
    }

    // As the redactor cleans them: an empty term would be "found" in any text.
    QStringList terms;
    for (const QString& phrase : options.phrases) {
        if (const QString trimmed = phrase.trimmed(); !trimmed.isEmpty())
            terms.push_back(trimmed);
    }

    try {
        const RedactionVerification verification = InkveilEngine::verify(options.file, expectedPages, 0, terms);
        const std::int64_t pages = verification.pageCount;
        printOut(pages == 1 ? QStringLiteral("verified: 1 page") : QStringLiteral("verified: %1 pages").arg(pages));
        return kExitSuccess;
    } catch (const Error& e) {
        printErr(e.description());
    } catch (const std::exception& e) {
        printErr(QString::fromLocal8Bit(e.what()));
    }
    return kExitFailure;
}

} // namespace inkveil::cli
