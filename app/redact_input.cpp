#include "app/redact_input.h"

#include "platform/pdf_document.h"

#include <QFileInfo>

namespace inkveil {

std::optional<RedactInput> RedactInput::open(platform::Context& ctx, const QString& path, const QUuid& id)
{
    int pageCount = 0;
    {
        const auto document = platform::Document::open(ctx, path);
        if (!document)
            return std::nullopt;
        pageCount = document->pageCount();
    }
    if (pageCount < 1)
        return std::nullopt;
    const QFileInfo info(path);
    return RedactInput{id, path, pageCount, info.exists() ? static_cast<std::int64_t>(info.size()) : 0};
}

size_t qHash(const RedactInput& input, size_t seed)
{
    return qHashMulti(seed, input.id, input.url, input.pageCount, static_cast<qint64>(input.byteCount));
}

} // namespace inkveil
