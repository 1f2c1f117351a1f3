#pragma once

#include "core/engine.h"

#include <QString>

#include <cstdint>
#include <functional>
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
};

// How a run ended.
struct RunOutcome {
    enum class Kind { succeeded, cancelled, failed };
    Kind kind = Kind::cancelled;
    std::vector<RedactionResult> results; // only when succeeded
    QString message;                      // only when failed
};

// A device and inode pair naming one folder, to notice one that was replaced.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
};

// The identity of an existing folder; nothing when path is not a folder.
std::optional<FolderIdentity> folderIdentity(const QString& path);

// Runs the jobs one after another into folder, on the calling thread. All or
// nothing: on failure or cancellation every output this run wrote is removed.
// It also fails when folder stops being the folder it was at the start, or an
// output disappears before the end.
RunOutcome runRedaction(const std::vector<RedactionJob>& jobs, const QString& folder, const FolderIdentity& identity,
                        std::stop_token stop, const Redactor& redactor,
                        const std::function<void(const RunProgress&)>& report);

} // namespace inkveil
