#include "cli/area_regions.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/phrase_report.h"
#include "cli/document_probe.h"
#include "cli/interrupt.h"
#include "core/engine.h"
#include "platform/mu_context.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <optional>
#include <utility>
#include <vector>

namespace inkveil::cli {

namespace {

struct Finished {
    QString source;
    RedactionResult result;
};

// The folders that creating path would make, deepest first.
QStringList missingFolders(const QString& path)
{
    QStringList missing;
    for (QString folder = QDir::cleanPath(path); !QFileInfo::exists(folder);) {
        missing.push_back(folder);
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    return missing;
}

// Takes back what the run made: its finished outputs, then the folders it
// created, as long as nothing else has been put into them.
void undoRun(const std::vector<Finished>& finished, const QStringList& createdFolders)
{
    for (const Finished& f : finished) {
        if (!QFile::remove(f.result.output) && QFileInfo::exists(f.result.output))
            printErr(QStringLiteral("Could not remove %1.").arg(f.result.output));
    }
    for (const QString& folder : createdFolders) {
        if (!QDir().rmdir(folder))
            break;
    }
}

std::optional<std::int64_t> pageCountOf(const QString& source)
{
    platform::Context ctx;
    const DocumentProbe probe = probeDocument(ctx, source);
    if (probe.status != DocumentProbe::Status::readable)
        return std::nullopt;
    return probe.pageCount;
}

QJsonObject resultJson(const Finished& f)
{
    QJsonArray phrases;
    for (const PhraseOccurrences& occurrences : f.result.phrases)
        phrases.append(occurrencesJson(occurrences));
    QJsonObject object{
        {QStringLiteral("source"), f.source},
        {QStringLiteral("output"), f.result.output},
        {QStringLiteral("pages"), static_cast<qint64>(f.result.verification.pageCount)},
        {QStringLiteral("redactions"), static_cast<qint64>(f.result.verification.redactionCount)},
        {QStringLiteral("phrases"), phrases},
    };
    if (!f.result.patterns.empty()) {
        QJsonArray patterns;
        for (const PhraseOccurrences& occurrences : f.result.patterns)
            patterns.append(patternOccurrencesJson(occurrences));
        object.insert(QStringLiteral("patterns"), patterns);
    }
    return object;
}

} // namespace

int runRedact(const RedactOptions& options)
{
    const InterruptGuard interrupts;
    const auto shouldCancel = [] { return InterruptGuard::received() != 0; };

    const QStringList sources = InkveilEngine::discover(options.paths);
    if (sources.isEmpty()) {
        printErr(nothingFoundText());
        return kExitFailure;
    }

    const QString destination = QFileInfo(options.outputFolder).absoluteFilePath();
    const QStringList createdFolders = missingFolders(destination);
    RedactionPlan basePlan;
    basePlan.searchTerms = options.phrases;
    basePlan.patterns = options.patterns;
    basePlan.expressions = options.expressions;
    std::vector<AreaOption> areas = options.areas;
    for (const PageSelection& pages : options.wholePages)
        areas.push_back(AreaOption{pages, Rect{0, 0, 1, 1}});
    basePlan.dpi = options.dpi;
    basePlan.ocr = options.ocr;

    std::vector<Finished> finished;
    std::optional<QString> failure;
    {
        ProgressLine progress;
        try {
            for (qsizetype i = 0; i < sources.size(); ++i) {
                // The engine asks only while it works; between documents we ask.
                if (shouldCancel())
                    throw InkveilError::cancelled();

                const QString& source = sources[i];
                RedactionPlan plan = basePlan;
                plan.regions = regionsForDocument(areas, needsPageCount(areas) ? pageCountOf(source) : std::nullopt);

                const QString label = QStringLiteral("[%1/%2] %3").arg(i + 1).arg(sources.size()).arg(
                    QFileInfo(source).fileName());
                progress.show(label);
                const auto onPage = [&](std::int64_t done, std::int64_t count) {
                    progress.show(QStringLiteral("%1: page %2 of %3").arg(label).arg(done).arg(count));
                };
                const auto onReading = [&](std::int64_t done, std::int64_t count) {
                    progress.show(QStringLiteral("%1: reading page %2 of %3").arg(label).arg(done).arg(count));
                };
                finished.push_back({source, InkveilEngine::redact(source, destination, plan, shouldCancel, onPage, onReading)});
            }
            // A signal during the last document's writing or checking still undoes the run.
            if (shouldCancel())
                throw InkveilError::cancelled();
        } catch (const Error& e) {
            failure = e.description();
        } catch (const std::exception& e) {
            failure = QString::fromLocal8Bit(e.what());
        }
    }

    if (failure) {
        undoRun(finished, createdFolders);
        printErr(*failure);
        const int signal = InterruptGuard::received();
        return signal != 0 ? kExitSignalBase + signal : kExitFailure;
    }

    for (const Finished& f : finished) {
        warnNotFound(f.result.phrases, f.source);
        warnNotFound(f.result.patterns, f.source);
    }
    for (const Finished& f : finished) {
        if (options.json)
            printJson(resultJson(f));
        else
            printOut(f.result.output);
    }
    return kExitSuccess;
}

} // namespace inkveil::cli
