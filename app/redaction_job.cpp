#include "app/redaction_job.h"

#include "app/model_messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace inkveil {

namespace {

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

HeldFolder::FileId idOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool statPath(const QString& path, struct stat& st)
{
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::optional<HeldFolder> HeldFolder::open(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    return HeldFolder(path, fd);
}

HeldFolder::~HeldFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

HeldFolder::HeldFolder(HeldFolder&& other) noexcept : m_path(std::move(other.m_path)), m_fd(std::exchange(other.m_fd, -1)) {}

bool HeldFolder::inPlace() const
{
    struct stat held {};
    struct stat now {};
    return ::fstat(m_fd, &held) == 0 && held.st_nlink > 0 && statPath(m_path, now) && sameFile(held, now);
}

bool HeldFolder::replaced() const
{
    struct stat held {};
    struct stat now {};
    return ::fstat(m_fd, &held) == 0 && statPath(m_path, now) && !sameFile(held, now);
}

std::optional<HeldFolder::FileId> HeldFolder::fileId(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return idOf(st);
}

void HeldFolder::removeWritten(const QString& output, const FileId& id) const
{
    const QByteArray name = QFile::encodeName(QFileInfo(output).fileName());
    struct stat st {};
    if (::fstatat(m_fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && idOf(st) == id) {
        ::unlinkat(m_fd, name.constData(), 0);
        return;
    }
    if (fileId(output) == id)
        QFile::remove(output);
}

namespace {

class RunFailed {
public:
    explicit RunFailed(RunOutcome::Kind kind, QString message = {}, QString file = {})
        : kind(kind), message(std::move(message)), file(std::move(file))
    {
    }
    RunOutcome::Kind kind;
    QString message;
    QString file;
    std::optional<QString> damagedSource;
};

// Every output still where it was written, in a folder that is still the one chosen.
void checkDestination(const HeldFolder& folder, const std::vector<RedactionResult>& results)
{
    if (!folder.inPlace())
        throw RunFailed(RunOutcome::Kind::failed, ModelMessages::destinationGone);
    for (const RedactionResult& result : results) {
        if (!QFileInfo(result.output).isFile())
            throw RunFailed(RunOutcome::Kind::failed, ModelMessages::outputGone);
    }
}

void removeOutputs(const std::vector<RedactionResult>& results, const std::vector<HeldFolder::FileId>& ids,
                   const HeldFolder& folder)
{
    for (size_t i = 0; i < results.size() && i < ids.size(); ++i)
        folder.removeWritten(results[i].output, ids[i]);
    // The engine recreates a missing destination: a folder that was not there
    // when the run started, and that holds nothing now, goes too.
    if (folder.replaced())
        QDir().rmdir(folder.path());
}

} // namespace

RunOutcome runRedaction(const std::vector<RedactionJob>& jobs, const HeldFolder& folder, std::stop_token stop,
                        const Redactor& redactor, const std::function<void(const RunProgress&)>& report)
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
    std::vector<HeldFolder::FileId> written; // what each output was when it was written
    try {
        const InkveilEngine::CancelCheck shouldCancel = [&stop] { return stop.stop_requested(); };
        for (size_t i = 0; i < jobs.size(); ++i) {
            if (stop.stop_requested())
                throw RunFailed(RunOutcome::Kind::cancelled);
            checkDestination(folder, results);

            const RedactionJob& job = jobs[i];
            RunProgress progress;
            progress.document = static_cast<qsizetype>(i) + 1;
            progress.documents = static_cast<qsizetype>(jobs.size());
            progress.fileName = QFileInfo(job.source).fileName();
            progress.pages = pages[i];
            progress.fraction = static_cast<double>(pagesBefore) / static_cast<double>(total());
            progress.searching = !job.plan.searchTerms.isEmpty();
            if (report)
                report(progress);

            const InkveilEngine::PageProgress onPage = [&](std::int64_t done, std::int64_t count) {
                if (count > 0)
                    pages[i] = count; // the file may have changed since it was added
                progress.pages = pages[i];
                progress.searching = false;
                progress.page = std::min(done + 1, pages[i]);
                progress.fraction = static_cast<double>(pagesBefore + std::min(done, pages[i]))
                    / static_cast<double>(total());
                if (report)
                    report(progress);
            };

            try {
                results.push_back(redactor(job.source, folder.path(), job.plan, shouldCancel, onPage));
                const auto id = HeldFolder::fileId(results.back().output);
                if (!id)
                    throw RunFailed(RunOutcome::Kind::failed, ModelMessages::outputGone);
                written.push_back(*id);
            } catch (const InkveilError& error) {
                if (error.kind() == InkveilError::Kind::cancelled)
                    throw RunFailed(RunOutcome::Kind::cancelled);
                RunFailed failed(RunOutcome::Kind::failed, error.description(), progress.fileName);
                if (error.kind() == InkveilError::Kind::damagedPage)
                    failed.damagedSource = job.source;
                throw failed;
            } catch (const Error& error) {
                throw RunFailed(RunOutcome::Kind::failed, error.description(), progress.fileName);
            }
            pagesBefore += pages[i];
            checkDestination(folder, results);
        }
    } catch (const RunFailed& failure) {
        removeOutputs(results, written, folder);
        return RunOutcome{failure.kind, {}, failure.message, failure.file, failure.damagedSource};
    } catch (const std::exception& error) {
        removeOutputs(results, written, folder);
        const QString text = QString::fromUtf8(error.what());
        return RunOutcome{RunOutcome::Kind::failed, {}, text.isEmpty() ? ModelMessages::unexpectedFailure : text, {}, {}};
    } catch (...) {
        removeOutputs(results, written, folder);
        return RunOutcome{RunOutcome::Kind::failed, {}, ModelMessages::unexpectedFailure, {}, {}};
    }
    return RunOutcome{RunOutcome::Kind::succeeded, std::move(results), {}, {}, {}};
}

} // namespace inkveil
