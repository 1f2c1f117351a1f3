// Opens any bytes as a PDF and reads what the engine reads of every page:
// media box, rotation, text, characters, annotations.
#include "fuzz/fuzz_support.h"

#include "platform/pdf_document.h"

#include <algorithm>
#include <cmath>

using namespace inkveil;

namespace {

constexpr int kMaxPages = 16; // enough to reach every code path, few enough to stay fast

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = fuzz::writeInput(QStringLiteral("input.pdf"), data, size);
    platform::Context ctx;
    auto document = platform::Document::open(ctx, path);
    if (!document)
        return 0;
    if (document->pageCount() < 0)
        fuzz::violation("negative page count");
    document->wasRepaired();
    for (const char* key : {"Title", "Author", "Subject", "Keywords"})
        document->info(key);

    for (int i = 0; i < std::min(document->pageCount(), kMaxPages); ++i) {
        auto page = document->page(i);
        if (!page)
            continue;
        if (page->rotation() % 90 != 0 || page->rotation() < 0 || page->rotation() >= 360)
            fuzz::violation("rotation not normalized");
        const Rect& box = page->mediaBox();
        if (std::isnan(box.x) || std::isnan(box.y) || std::isnan(box.width) || std::isnan(box.height))
            fuzz::violation("media box with NaN");
        try {
            page->text();
            page->textLines();
        } catch (const platform::PdfError&) {
        }
        page->annotationCount();
        page->removeAnnotations();
    }
    return 0;
}
