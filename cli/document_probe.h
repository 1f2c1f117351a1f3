#pragma once

#include <QString>

#include <cstdint>

namespace inkveil::platform {
class Context;
}

namespace inkveil::cli {

// What opening a file as a PDF tells: readable with its pages, or why not. A
// file with no pages is not readable, as for the application's input list.
struct DocumentProbe {
    enum class Status { readable, unreadable, empty };
    Status status = Status::unreadable;
    std::int64_t pageCount = 0;
};

DocumentProbe probeDocument(platform::Context& ctx, const QString& path);

// "not a readable PDF" or "contains no pages"; empty for a readable file.
QString reasonText(DocumentProbe::Status status);

} // namespace inkveil::cli
