#include "cli/commands.h"
#include "cli/console.h"
#include "cli/interrupt.h"
#include "cli/phrase_report.h"
#include "core/engine.h"
#include "core/ocr_search.h"
#include "platform/pdf_document.h"

#include <QFileInfo>
#include <QJsonObject>

#include <map>
#include <optional>
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

    InkveilEngine::SearchReport report;
    std::vector<RedactionRegion> read;
    std::map<QString, std::int64_t> readCounts;
    InkveilEngine::OcrPatternFindings readPatterns;
    std::optional<PatternSet> patterns;
    try {
        patterns.emplace(options.patterns, options.expressions);
        InkveilEngine::checkOcrLanguages(options.ocr);
        report = InkveilEngine::search(*document, options.phrases, *patterns);
        const std::vector<int> pages = InkveilEngine::pagesToRead(*document, options.ocr.mode);
        read = InkveilEngine::ocrRegions(options.file, pages, options.phrases, options.ocr.languages, shouldCancel, {},
                                         InkveilEngine::kOcrDpi, true, &readCounts, false, &*patterns, &readPatterns);
    } catch (const Error& e) {
        printErr(e.description());
        const int signal = InterruptGuard::received();
        return signal != 0 ? kExitSignalBase + signal : kExitFailure;
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

    std::vector<RedactionRegion> regions = report.regions;
    const std::unordered_set<RedactionRegion> fromText(regions.begin(), regions.end());
    for (const RedactionRegion& region : read) {
        if (!fromText.contains(region))
            regions.push_back(region);
    }
    for (PhraseOccurrences& phrase : report.phrases)
        phrase.count += readCounts[phrase.phrase];
    for (PhraseOccurrences& pattern : report.patterns)
        pattern.count += readPatterns.counts[pattern.phrase];
    for (const RedactionRegion& region : regions) {
        const std::int64_t page = region.pageIndex() + 1;
        if (options.json) {
            QJsonObject object = region.toJson();
            object.insert(QStringLiteral("page"), static_cast<qint64>(page));
            if (const auto text = report.matchedText.find(region); text != report.matchedText.end())
                object.insert(QStringLiteral("text"), text->second);
            else if (const auto read = readPatterns.described.find(region); read != readPatterns.described.end())
                object.insert(QStringLiteral("text"), read->second.first);
            if (const auto kind = report.matchedKind.find(region); kind != report.matchedKind.end())
                object.insert(QStringLiteral("kind"), kind->second);
            else if (const auto read = readPatterns.described.find(region); read != readPatterns.described.end())
                object.insert(QStringLiteral("kind"), read->second.second);
            object.insert(QStringLiteral("source"), fromText.contains(region) ? QStringLiteral("text") : QStringLiteral("ocr"));
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
        for (const PhraseOccurrences& occurrences : report.patterns)
            printJson(patternOccurrencesJson(occurrences));
    }
    warnNotFound(report.phrases, options.file);
    warnNotFound(report.patterns, options.file);
    return kExitSuccess;
}

} // namespace inkveil::cli
