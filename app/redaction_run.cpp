#include "app/app_model.h"

#include "app/model_messages.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>

#include <unistd.h>

#include <algorithm>

namespace inkveil {

namespace {

// Runs work on the main thread, from any thread.
template <typename Work>
void postToMainThread(Work&& work)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::forward<Work>(work), Qt::QueuedConnection);
}

// A folder the run may write into: an existing folder the process can write.
std::optional<HeldFolder> writableFolder(const QString& folder)
{
    auto held = HeldFolder::open(folder);
    if (!held || ::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return std::nullopt;
    return held;
}

} // namespace

bool AppModel::chooseOutputFolder()
{
    if (!m_dialogs)
        return false;
    const auto chosen = m_dialogs->chooseOutputFolder(DialogTexts::outputTitle, DialogTexts::outputPrompt, m_outputFolder);
    if (!chosen || chosen->isEmpty())
        return false;
    setOutputFolder(*chosen);
    return true;
}

void AppModel::redact()
{
    guarded([this] {
        const QList<RedactInput> ready = readyInputs();
        if (ready.isEmpty() || m_isRedacting)
            return;
        if (!m_outputFolder && !chooseOutputFolder())
            return;
        if (!m_outputFolder)
            return;
        const QString folder = *m_outputFolder;
        auto held = writableFolder(folder);
        if (!held) {
            setError(ModelMessages::destinationTitle, QFileInfo(folder).isDir() || QFileInfo(folder).exists()
                                                          ? ModelMessages::destinationNotWritable
                                                          : ModelMessages::destinationMissing);
            return;
        }

        std::vector<RedactionJob> jobs;
        MarksByInput runMarks;
        for (const RedactInput& input : ready) {
            runMarks.insert(input.id, m_marks.value(input.id));
            RedactionJob job;
            job.source = input.url;
            const QList<RedactionRegion> marks = m_marks.value(input.id);
            job.plan.regions.assign(marks.begin(), marks.end());
            job.plan.searchTerms = m_searchTerms.value(input.id);
            job.plan.patterns = m_patternNames.value(input.id);
            job.plan.expressions = m_expressions.value(input.id);
            const QList<RedactionRegion> excluded = m_exclusions.value(input.id);
            job.plan.exclusions.assign(excluded.begin(), excluded.end());
            job.plan.dpi = m_dpi;
            job.plan.smooth = m_smooth;
            job.plan.allowDamaged = m_allowDamaged.contains(input.url);
            job.plan.ocr = m_ocr;
            job.pageCount = input.pageCount;
            jobs.push_back(std::move(job));
        }

        m_runMarks = runMarks;
        setIsRedacting(true);
        setProgress(0.05);
        setOutputs({});
        setResultMessage(std::nullopt);
        setProgressText(ModelMessages::runProgress(1, static_cast<qsizetype>(jobs.size()),
                                                   QFileInfo(jobs.front().source).fileName(), 1,
                                                   jobs.front().pageCount));
        try {
            startRun(std::move(jobs), std::move(*held));
        } catch (...) {
            setIsRedacting(false);
            setProgressText(QString());
            throw;
        }
    });
}

void AppModel::startRun(std::vector<RedactionJob> jobs, HeldFolder folder)
{
    const quint64 runId = ++m_runId;
    auto outcome = std::make_shared<RunOutcome>();
    m_runOutcome = outcome;
    // Read only on the main thread; the worker merely carries it.
    const auto model = std::make_shared<const QPointer<AppModel>>(this);
    Redactor redactor = m_redactor;

    m_worker = std::jthread([jobs = std::move(jobs), folder = std::move(folder), redactor = std::move(redactor), outcome, model,
                             runId](std::stop_token stop) {
        const auto report = [model, runId](const RunProgress& progress) {
            postToMainThread([model, runId, progress] {
                if (AppModel* m = model->data())
                    m->applyProgress(runId, progress);
            });
        };
        *outcome = runRedaction(jobs, folder, stop, redactor, report);
        postToMainThread([model, runId, outcome] {
            if (AppModel* m = model->data())
                m->applyOutcome(runId, *outcome);
        });
    });
}

void AppModel::applyProgress(quint64 runId, const RunProgress& progress)
{
    if (runId != m_runId || !m_isRedacting)
        return;
    // 1.0 stays the mark of an ended run.
    setProgress(std::clamp(progress.fraction, 0.05, 0.99));
    m_progressSearching = progress.searching;
    setProgressText(progress.searching
                        ? ModelMessages::runSearching(progress.document, progress.documents, progress.fileName)
                        : ModelMessages::runProgress(progress.document, progress.documents, progress.fileName,
                                                     progress.page, progress.pages));
}

void AppModel::applyOutcome(quint64 runId, const RunOutcome& outcome)
{
    if (runId != m_runId || !m_isRedacting)
        return;
    setIsRedacting(false);
    setProgress(1.0);
    m_progressSearching = false;
    setProgressText(QString());
    switch (outcome.kind) {
    case RunOutcome::Kind::succeeded: {
        QStringList written;
        qint64 redactions = 0;
        for (const RedactionResult& result : outcome.results) {
            written.append(result.output);
            redactions += result.verification.redactionCount;
        }
        setOutputs(written);
        setResultMessage(ModelMessages::runVerified(written.size(), redactions), true);
        for (auto it = m_runMarks.cbegin(); it != m_runMarks.cend(); ++it)
            m_redactedMarks.insert(it.key(), it.value());
        break;
    }
    case RunOutcome::Kind::cancelled:
        setResultMessage(ModelMessages::runCancelled, true);
        break;
    case RunOutcome::Kind::failed:
        setError(outcome.file.isEmpty() ? ModelMessages::runFailedTitle : ModelMessages::documentFailedTitle(outcome.file),
                 outcome.message, outcome.damagedSource);
        break;
    }
}

void AppModel::revealOutputs()
{
    if (!m_outputs.isEmpty() && m_dialogs)
        m_dialogs->revealOutputs(m_outputs);
}

void AppModel::redactAnyway()
{
    if (!m_damagedDocument || m_isRedacting)
        return;
    m_allowDamaged.insert(*m_damagedDocument);
    setErrorMessage(std::nullopt);
    redact();
}

void AppModel::cancelRedaction()
{
    if (m_worker.joinable())
        m_worker.request_stop();
}

void AppModel::cancelRedactionAndWait()
{
    if (!m_worker.joinable())
        return;
    m_worker.request_stop();
    m_worker.join();
    // The worker's own report is still queued; this one comes first and the
    // queued one then finds the run already ended.
    if (m_runOutcome)
        applyOutcome(m_runId, *m_runOutcome);
}

} // namespace inkveil
