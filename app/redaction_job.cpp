#include "app/redaction_job.h"

#include "app/model_messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>

namespace inkveil {

std::optional<FolderIdentity> folderIdentity(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return FolderIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

namespace {

class RunFailed {
public:
    explicit RunFailed(RunOutcome::Kind kind, QString message = {}) : kind(kind), message(std::move(message)) {}
    RunOutcome::Kind kind;
    QString message;
};

// Every output still where it was written, in a folder that is still the one chosen.
void checkDestination(const QString& folder, const FolderIdentity& identity,
                      const std::vector<RedactionResult>& results)
{
    if (folderIdentity(folder) != identity)
        throw RunFailed(RunOutcome::Kind::failed, ModelMessages::destinationGone);
    for (const RedactionResult& result : results) {
        if (!QFileInfo(result.output).isFile())
            throw RunFailed(RunOutcome::Kind::failed, ModelMessages::outputGone);
    }
}

void removeOutputs(const std::vector<RedactionResult>& results, const QString& folder, const FolderIdentity& identity)
{
    for (const RedactionResult& result : results)
        QFile::remove(result.output);
    // The engine recreates a missing destination: a folder that was not there
    // when the run started, and that holds nothing now, goes too.
    const auto now = folderIdentity(folder);
    if (now && *now != identity)
        QDir().rmdir(folder);
}

} // namespace

RunOutcome runRedaction(const std::vector<RedactionJob>& jobs, const QString& folder, const FolderIdentity& identity,
                        std::stop_token stop, const Redactor& redactor,
                        const std::function<void(const RunProgress&)>& report)
{
    std::vector<std::int64_t> pages;
    for (const RedactionJob& job : jobs)
        pages.push_back(std::max<std::int64_t>(job.pageCount, 1));
    std::int64_t pagesBefore = 0; // completed pages of the finished documents

    const auto total = [&pages] {
        std::int64_t sum = 0;
        for (std::int64_t p : pages)
            sum += p;
        return sum;
    };

    std::vector<RedactionResult> results;
    try {
        const InkveilEngine::CancelCheck shouldCancel = [&stop] { return stop.stop_requested(); };
        for (size_t i = 0; i < jobs.size(); ++i) {
            if (stop.stop_requested())
                throw RunFailed(RunOutcome::Kind::cancelled);
            checkDestination(folder, identity, results);

            const RedactionJob& job = jobs[i];
            RunProgress progress;
            progress.document = static_cast<qsizetype>(i) + 1;
            progress.documents = static_cast<qsizetype>(jobs.size());
            progress.fileName = QFileInfo(job.source).fileName();
            progress.pages = pages[i];
            progress.fraction = static_cast<double>(pagesBefore) / static_cast<double>(total());
            if (report)
                report(progress);

            const InkveilEngine::PageProgress onPage = [&](std::int64_t done, std::int64_t count) {
                if (count > 0)
                    pages[i] = count; // the file may have changed since it was added
                progress.pages = pages[i];
                progress.page = std::min(done + 1, pages[i]);
                progress.fraction = static_cast<double>(pagesBefore + std::min(done, pages[i]))
                    / static_cast<double>(total());
                if (report)
                    report(progress);
            };

            try {
                results.push_back(redactor(job.source, folder, job.plan, shouldCancel, onPage));
            } catch (const InkveilError& error) {
                if (error.kind() == InkveilError::Kind::cancelled)
                    throw RunFailed(RunOutcome::Kind::cancelled);
                throw RunFailed(RunOutcome::Kind::failed, error.description());
            } catch (const Error& error) {
                throw RunFailed(RunOutcome::Kind::failed, error.description());
            }
            pagesBefore += pages[i];
            checkDestination(folder, identity, results);
        }
    } catch (const RunFailed& failure) {
        removeOutputs(results, folder, identity);
        return RunOutcome{failure.kind, {}, failure.message};
    } catch (const std::exception& error) {
        removeOutputs(results, folder, identity);
        const QString text = QString::fromUtf8(error.what());
        return RunOutcome{RunOutcome::Kind::failed, {}, text.isEmpty() ? ModelMessages::unexpectedFailure : text};
    } catch (...) {
        removeOutputs(results, folder, identity);
        return RunOutcome{RunOutcome::Kind::failed, {}, ModelMessages::unexpectedFailure};
    }
    return RunOutcome{RunOutcome::Kind::succeeded, std::move(results), {}};
}

} // namespace inkveil
