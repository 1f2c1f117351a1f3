#include "cli/commands.h"
#include "cli/console.h"
#include "cli/phrase_report.h"
#include "core/engine.h"
#include "platform/pdf_document.h"

#include <QFileInfo>
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

    InkveilEngine::SearchReport report;
    try {
        report = InkveilEngine::search(*document, options.phrases);
    } catch (const std::exception&) {
        printErr(InkveilError::unreadable(options.file).description());
        return kExitFailure;
    }
    // What could not be read may hold an occurrence: a partial answer would
    // pass for a whole one.
    if (!report.everyPageRead) {
        printErr(QStringLiteral("Could not read the text of every page of %1.").arg(QFileInfo(options.file).fileName()));
        return kExitFailure;
    }

    for (const RedactionRegion& region : report.regions) {
        const std::int64_t page = region.pageIndex() + 1;
        if (options.json) {
            QJsonObject object = region.toJson();
            object.insert(QStringLiteral("page"), static_cast<qint64>(page));
            if (const auto text = report.matchedText.find(region); text != report.matchedText.end())
                object.insert(QStringLiteral("text"), text->second);
            printJson(object);
        } else {
            const Rect& r = region.normalizedRect();
            printOut(QStringLiteral("%1 %2 %3 %4 %5")
                         .arg(page)
                         .arg(formatNumber(r.x), formatNumber(r.y), formatNumber(r.width), formatNumber(r.height)));
        }
    }
    if (options.json) {
        for (const PhraseOccurrences& occurrences : report.phrases)
            printJson(occurrencesJson(occurrences));
    }
    warnNotFound(report.phrases, options.file);
    return kExitSuccess;
}

} // namespace inkveil::cli
