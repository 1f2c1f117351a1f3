#pragma once

#include <QHashFunctions>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace inkveil {

namespace platform {
class Context;
}

// One document of the input list. Fixed at creation; the file itself is never changed.
struct RedactInput {
    QUuid id;
    QString url;             // the path as discovery gave it
    int pageCount = 0;       // at least 1
    std::int64_t byteCount = 0; // the file's size when it was added; 0 when unknown

    // Opens path once (nothing is rendered) to count its pages. Nothing when the
    // file is not a readable PDF or has no pages.
    static std::optional<RedactInput> open(platform::Context& ctx, const QString& path, const QUuid& id);

    friend bool operator==(const RedactInput&, const RedactInput&) = default;
};

size_t qHash(const RedactInput& input, size_t seed = 0);

} // namespace inkveil
