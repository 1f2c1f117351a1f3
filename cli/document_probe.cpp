#include "cli/document_probe.h"

#include "platform/pdf_document.h"

namespace inkveil::cli {

DocumentProbe probeDocument(platform::Context& ctx, const QString& path)
{
    const auto document = platform::Document::open(ctx, path);
    if (!document)
        return {DocumentProbe::Status::unreadable, 0};
    if (document->pageCount() < 1)
        return {DocumentProbe::Status::empty, 0};
    return {DocumentProbe::Status::readable, document->pageCount()};
}

QString reasonText(DocumentProbe::Status status)
{
    switch (status) {
    case DocumentProbe::Status::readable:
        return {};
    case DocumentProbe::Status::unreadable:
        return QStringLiteral("not a readable PDF");
    case DocumentProbe::Status::empty:
        return QStringLiteral("contains no pages");
    }
    return {};
}

} // namespace inkveil::cli
