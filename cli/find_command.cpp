#include "cli/commands.h"
#include "cli/console.h"
#include "core/engine.h"
#include "platform/pdf_document.h"

#include <QJsonObject>

namespace inkveil::cli {

int runFind(const FindOptions& options)
{
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
    try {
        regions = InkveilEngine::searchRegions(*document, options.phrases);
    } catch (const std::exception&) {
        printErr(InkveilError::unreadable(options.file).description());
        return kExitFailure;
    }

    for (const RedactionRegion& region : regions) {
        const std::int64_t page = region.pageIndex() + 1;
        if (options.json) {
            QJsonObject object = region.toJson();
            object.insert(QStringLiteral("page"), static_cast<qint64>(page));
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
