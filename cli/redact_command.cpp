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

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace inkveil::cli {

namespace {

// What became of one document.
struct Outcome {
    QString source;
    std::optional<RedactionResult> result;
    QString error;          // when there is no result
    bool cancelled = false; // stopped from outside, not failed on its own
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
void undoRun(const std::vector<std::optional<Outcome>>& outcomes, const QStringList& createdFolders)
{
    for (const auto& outcome : outcomes) {
        if (!outcome || !outcome->result)
            continue;
        const QString& output = outcome->result->output;
        if (!QFile::remove(output) && QFileInfo::exists(output))
            printErr(QStringLiteral("Could not remove %1.").arg(output));
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

// An area names a page the document does not have.
class MissingPage : public Error {
public:
    MissingPage(std::int64_t page, const QString& source, std::int64_t pageCount)
        : m_text(QStringLiteral("page %1 does not exist: %2 has %3 %4")
                     .arg(page)
                     .arg(QFileInfo(source).fileName())
                     .arg(pageCount)
                     .arg(pageCount == 1 ? QStringLiteral("page") : QStringLiteral("pages")))
    {
    }
    QString description() const override { return m_text; }

private:
    QString m_text;
};

RedactionPlan planFor(const RedactOptions& options, const QString& source)
{
    RedactionPlan plan;
    plan.searchTerms = options.phrases;
    plan.patterns = options.patterns;
    plan.expressions = options.expressions;
    plan.dpi = options.dpi;
    plan.ocr = options.ocr;
    plan.smooth = options.smooth;
    plan.allowDamaged = options.allowDamaged;
    std::vector<AreaOption> areas = options.areas;
    for (const PageSelection& pages : options.wholePages)
        areas.push_back(AreaOption{pages, Rect{0, 0, 1, 1}});
    const std::optional<std::int64_t> pageCount = areas.empty() ? std::nullopt : pageCountOf(source);
    if (pageCount) {
        if (const auto missing = missingPage(areas, *pageCount))
            throw MissingPage(*missing, source, *pageCount);
    }
    plan.regions = regionsForDocument(areas, pageCount);
    return plan;
}

QJsonObject resultJson(const Outcome& outcome)
{
    if (!outcome.result)
        return QJsonObject{{QStringLiteral("source"), outcome.source}, {QStringLiteral("error"), outcome.error}};
    const RedactionResult& result = *outcome.result;
    QJsonArray phrases;
    for (const PhraseOccurrences& occurrences : result.phrases)
        phrases.append(occurrencesJson(occurrences));
    QJsonObject object{
        {QStringLiteral("source"), outcome.source},
        {QStringLiteral("output"), result.output},
        {QStringLiteral("pages"), static_cast<qint64>(result.verification.pageCount)},
        {QStringLiteral("redactions"), static_cast<qint64>(result.verification.redactionCount)},
        {QStringLiteral("phrases"), phrases},
    };
    if (!result.patterns.empty()) {
        QJsonArray patterns;
        for (const PhraseOccurrences& occurrences : result.patterns)
            patterns.append(patternOccurrencesJson(occurrences));
        object.insert(QStringLiteral("patterns"), patterns);
    }
    return object;
}

// A finished document's output (or JSON object), or a failed one's error.
void report(const Outcome& outcome, const RedactOptions& options)
{
    if (!outcome.result)
        printErr(QStringLiteral("%1: %2").arg(outcome.source, outcome.error));
    if (options.json)
        printJson(resultJson(outcome));
    else if (outcome.result)
        printOut(outcome.result->output);
}

// Runs the documents on up to options.jobs threads and hands each outcome,
// in input order, to the calling thread as soon as it and all before it are
// known. Without keepGoing the first failure stops the rest.
class Batch {
public:
    Batch(const QStringList& sources, const RedactOptions& options, const QString& destination)
        : m_sources(sources), m_options(options), m_destination(destination), m_outcomes(sources.size()),
          m_status(sources.size())
    {
    }

    // Calls ready(index) on this thread for each finished document, in order;
    // returns once no document runs any more.
    template <typename Ready>
    void run(Ready&& ready)
    {
        ProgressLine progress;
        const auto threads = std::min<qsizetype>(m_options.jobs, m_sources.size());
        m_active = threads;
        std::vector<std::jthread> workers;
        for (qsizetype t = 0; t < threads; ++t)
            workers.emplace_back([this] { work(); });

        std::unique_lock lock(m_mutex);
        for (qsizetype shown = 0; shown < m_sources.size();) {
            if (m_outcomes[shown]) {
                progress.clear();
                ready(shown++);
                continue;
            }
            if (m_active == 0)
                break;
            if (!m_status[shown].isEmpty())
                progress.show(m_status[shown]);
            // Signals do not wake us: look again now and then.
            m_changed.wait_for(lock, std::chrono::milliseconds(100));
        }
        lock.unlock();
        progress.clear();
    }

    const std::vector<std::optional<Outcome>>& outcomes() const { return m_outcomes; }

private:
    bool stopping() const { return m_stop.load() || InterruptGuard::received() != 0; }

    // Copies of sources with the same name are made in input order, so that
    // their numbers follow the input whatever the number of jobs.
    bool earlierNamesakeRuns(qsizetype index) const
    {
        const QString name = QFileInfo(m_sources[index]).completeBaseName();
        for (qsizetype i = 0; i < index; ++i) {
            if (!m_outcomes[i] && QFileInfo(m_sources[i]).completeBaseName() == name)
                return true;
        }
        return false;
    }

    void work()
    {
        for (;;) {
            qsizetype index = 0;
            {
                std::unique_lock lock(m_mutex);
                if (m_next >= m_sources.size() || stopping())
                    break;
                index = m_next++;
                while (earlierNamesakeRuns(index) && !stopping())
                    m_changed.wait_for(lock, std::chrono::milliseconds(100));
            }
            Outcome outcome = redactOne(index);
            {
                std::lock_guard lock(m_mutex);
                if (!outcome.result && !m_options.keepGoing)
                    m_stop = true;
                m_outcomes[index] = std::move(outcome);
            }
            m_changed.notify_all();
        }
        {
            std::lock_guard lock(m_mutex);
            --m_active;
        }
        m_changed.notify_all();
    }

    void setStatus(qsizetype index, const QString& text)
    {
        {
            std::lock_guard lock(m_mutex);
            m_status[index] = text;
        }
        m_changed.notify_all();
    }

    Outcome redactOne(qsizetype index)
    {
        const QString& source = m_sources[index];
        Outcome outcome{source, std::nullopt, {}, false};
        const QString label = QStringLiteral("[%1/%2] %3").arg(index + 1).arg(m_sources.size()).arg(
            QFileInfo(source).fileName());
        setStatus(index, label);
        const auto onPage = [&](std::int64_t done, std::int64_t count) {
            setStatus(index, QStringLiteral("%1: page %2 of %3").arg(label).arg(done).arg(count));
        };
        const auto onReading = [&](std::int64_t done, std::int64_t count) {
            setStatus(index, QStringLiteral("%1: reading page %2 of %3").arg(label).arg(done).arg(count));
        };
        const auto shouldCancel = [this] { return stopping(); };
        try {
            // The engine asks only while it works; before each document we ask.
            if (shouldCancel())
                throw InkveilError::cancelled();
            outcome.result = InkveilEngine::redact(source, m_destination, planFor(m_options, source), shouldCancel,
                                                   onPage, onReading);
        } catch (const InkveilError& e) {
            outcome.error = e.description();
            outcome.cancelled = e.kind() == InkveilError::Kind::cancelled;
        } catch (const Error& e) {
            outcome.error = e.description();
        } catch (const std::exception& e) {
            outcome.error = QString::fromLocal8Bit(e.what());
        }
        return outcome;
    }

    const QStringList& m_sources;
    const RedactOptions& m_options;
    const QString m_destination;

    std::mutex m_mutex; // guards everything below
    std::condition_variable m_changed;
    std::vector<std::optional<Outcome>> m_outcomes;
    std::vector<QString> m_status;
    qsizetype m_next = 0;
    qsizetype m_active = 0;
    std::atomic<bool> m_stop{false};
};

QString summaryText(qsizetype redacted, qsizetype total, qsizetype failed)
{
    QString text = QStringLiteral("Redacted %1 of %2 %3").arg(redacted).arg(total).arg(
        total == 1 ? QStringLiteral("document") : QStringLiteral("documents"));
    if (failed > 0)
        text += QStringLiteral("; %1 failed").arg(failed);
    return text + u'.';
}

int exitCode(bool failed)
{
    const int signal = InterruptGuard::received();
    if (signal != 0)
        return kExitSignalBase + signal;
    return failed ? kExitFailure : kExitSuccess;
}

} // namespace

int runRedact(const RedactOptions& options)
{
    const InterruptGuard interrupts;

    const QStringList sources = InkveilEngine::discover(options.paths);
    if (sources.isEmpty()) {
        printErr(nothingFoundText());
        return kExitFailure;
    }

    const QString destination = QFileInfo(options.outputFolder).absoluteFilePath();
    const QStringList createdFolders = missingFolders(destination);
    Batch batch(sources, options, destination);

    if (options.keepGoing) {
        qsizetype redacted = 0;
        qsizetype failed = 0;
        batch.run([&](qsizetype index) {
            const Outcome& outcome = *batch.outcomes()[static_cast<std::size_t>(index)];
            if (outcome.result) {
                warnNotFound(outcome.result->phrases, outcome.source);
                warnNotFound(outcome.result->patterns, outcome.source);
            }
            report(outcome, options);
            (outcome.result ? redacted : failed) += 1;
        });
        printErr(summaryText(redacted, sources.size(), failed));
        return exitCode(failed > 0);
    }

    batch.run([](qsizetype) {});
    // The first document, in input order, that failed on its own; documents
    // stopped because of it are not failures of their own.
    const Outcome* failure = nullptr;
    bool complete = true;
    for (const auto& outcome : batch.outcomes()) {
        complete = complete && outcome && outcome->result;
        if (!failure && outcome && !outcome->result && !outcome->cancelled)
            failure = &*outcome;
    }
    // A signal during the last document's writing or checking still undoes the run.
    if (!complete || InterruptGuard::received() != 0) {
        undoRun(batch.outcomes(), createdFolders);
        printErr(failure && InterruptGuard::received() == 0 ? failure->error
                                                            : InkveilError::cancelled().description());
        return exitCode(true);
    }
    for (const auto& outcome : batch.outcomes()) {
        warnNotFound(outcome->result->phrases, outcome->source);
        warnNotFound(outcome->result->patterns, outcome->source);
    }
    for (const auto& outcome : batch.outcomes())
        report(*outcome, options);
    return kExitSuccess;
}

} // namespace inkveil::cli
