// Searches any bytes, read as a PDF, for phrases taken from the input's first
// line ("phrase|phrase|…\n%PDF…") and for every built-in pattern.
#include "fuzz/fuzz_support.h"

#include "core/engine.h"
#include "platform/pdf_document.h"

using namespace inkveil;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype newline = input.indexOf('\n');
    if (newline < 0)
        return 0;
    const QStringList phrases = QString::fromUtf8(input.left(newline)).split(u'|');
    const QString path = fuzz::writeInput(QStringLiteral("input.pdf"), input.mid(newline + 1));

    platform::Context ctx;
    auto document = platform::Document::open(ctx, path);
    if (!document)
        return 0;
    static const PatternSet patterns(PatternSet::builtInNames(), {});
    const std::vector<RedactionRegion> regions = InkveilEngine::search(*document, phrases, patterns).regions;

    std::int64_t previousPage = 0;
    for (const RedactionRegion& region : regions) {
        if (region.pageIndex() < previousPage || region.pageIndex() >= document->pageCount())
            fuzz::violation("region on a page out of order or out of range");
        previousPage = region.pageIndex();
        const Rect r = region.normalizedRect();
        if (!(r.width > 0 && r.height > 0 && r.x >= 0 && r.y >= 0 && r.x + r.width <= 1 + 1e-9 && r.y + r.height <= 1 + 1e-9))
            fuzz::violation("region empty or outside its page");
    }
    return 0;
}
