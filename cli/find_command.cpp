#include "cli/commands.h"
#include "cli/console.h"
#include "cli/interrupt.h"
#include "core/engine.h"
#include "core/ocr_search.h"
#include "platform/pdf_document.h"

#include <QJsonObject>

#include <unordered_set>

namespace inkveil::cli {

int runFind(const FindOptions& options)
{
    const InterruptGuard interrupts;
    const auto shouldCancel = [] { return InterruptGuard::received() != 0; };

    platform::Context ctx;
    const auto document = platform::Document::open(ctx, options.file);
    if (!document) {
        printErr(InkveilError::unreadable(options.file).description());
        return kExitFailure;
    }
    if (document->pageCount() < 1) {
        printErr(InkveilError::empty(options.file).description());
        return kExitFailure;
    }

    std::vector<RedactionRegion> regions;
    std::vector<RedactionRegion> read;
    try {
        InkveilEngine::checkOcrLanguages(options.ocr);
        regions = InkveilEngine::searchRegions(*document, options.phrases);
        const std::vector<int> pages = InkveilEngine::pagesToRead(*document, options.ocr.mode);
        read = InkveilEngine::ocrRegions(options.file, pages, options.phrases, options.ocr.languages, shouldCancel);
    } catch (const Error& e) {
        printErr(e.description());
        const int signal = InterruptGuard::received();
        return signal != 0 ? kExitSignalBase + signal : kExitFailure;
    } catch (const std::exception&) {
        printErr(InkveilError::unreadable(options.file).description());
        return kExitFailure;
    }

    const std::unordered_set<RedactionRegion> fromText(regions.begin(), regions.end());
    for (const RedactionRegion& region : read) {
        if (!fromText.contains(region))
            regions.push_back(region);
    }
    for (std::size_t i = 0; i < regions.size(); ++i) {
        const RedactionRegion& region = regions[i];
        const std::int64_t page = region.pageIndex() + 1;
        if (options.json) {
            QJsonObject object = region.toJson();
            object.insert(QStringLiteral("page"), static_cast<qint64>(page));
            object.insert(QStringLiteral("source"), fromText.contains(region) ? QStringLiteral("text") : QStringLiteral("ocr"));
            printJson(object);
        } else {
            const Rect& r = region.normalizedRect();
            printOut(QStringLiteral("%1 %2 %3 %4 %5")
                         .arg(page)
                         .arg(formatNumber(r.x), formatNumber(r.y), formatNumber(r.width), formatNumber(r.height)));
        }
    }
    return kExitSuccess;
}

} // namespace inkveil::cli
