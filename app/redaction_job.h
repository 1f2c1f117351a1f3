#pragma once

#include "core/engine.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

namespace inkveil {

// One document of a run: copied out of the model when the run starts.
struct RedactionJob {
    QString source;
    RedactionPlan plan;
    std::int64_t pageCount = 1; // as recorded when the input was added; refined by the engine
};

// The engine call of a run; InkveilEngine::redact unless replaced.
using Redactor = std::function<RedactionResult(const QString& source, const QString& destination,
                                               const RedactionPlan& plan, const InkveilEngine::CancelCheck&,
                                               const InkveilEngine::PageProgress&)>;

// Where a run stands, reported from the working thread.
struct RunProgress {
    qsizetype document = 0; // one-based
    qsizetype documents = 0;
    QString fileName;
    std::int64_t page = 1;   // the page being worked on, one-based
    std::int64_t pages = 1;  // of this document
    double fraction = 0;     // completed pages over all pages of the run
    bool searching = false;  // the document's phrases are being found, no page drawn yet
};

// How a run ended.
struct RunOutcome {
    enum class Kind { succeeded, cancelled, failed };
    Kind kind = Kind::cancelled;
    std::vector<RedactionResult> results; // only when succeeded
    QString message;                      // only when failed
    QString file;                         // the document that failed, when one did
    // The job that failed for a damaged page, which the plan did not allow.
    std::optional<QString> damagedSource;
};

// The output folder of a run, held open from the start so that a folder deleted
// and made anew under the same path (possibly with the same inode number) is
// told apart from it. Move-only.
class HeldFolder {
public:
    // Nothing unless path is an existing folder.
    static std::optional<HeldFolder> open(const QString& path);
    ~HeldFolder();
    HeldFolder(HeldFolder&& other) noexcept;
    HeldFolder& operator=(HeldFolder&&) = delete;
    HeldFolder(const HeldFolder&) = delete;

    // A file's device and inode.
    struct FileId {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        friend bool operator==(const FileId&, const FileId&) = default;
    };
    static std::optional<FileId> fileId(const QString& path);

    const QString& path() const { return m_path; }
    // The path still names this folder.
    bool inPlace() const;
    // The path names a folder other than this one.
    bool replaced() const;
    // Deletes the file written as output, known by its id: inside this folder
    // wherever it went, or else at its path. A file with another id is kept.
    void removeWritten(const QString& output, const FileId& id) const;

private:
    HeldFolder(QString path, int fd) : m_path(std::move(path)), m_fd(fd) {}
    QString m_path;
    int m_fd = -1;
};

// Runs the jobs one after another into folder, on the calling thread. All or
// nothing: on failure or cancellation every output this run wrote is removed.
// It also fails when the folder is moved, deleted or replaced, or an output
// disappears, before the end.
RunOutcome runRedaction(const std::vector<RedactionJob>& jobs, const HeldFolder& folder, std::stop_token stop,
                        const Redactor& redactor, const std::function<void(const RunProgress&)>& report);

} // namespace inkveil
