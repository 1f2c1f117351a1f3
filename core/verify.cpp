#include "core/engine.h"
#include "core/exclusions.h"
#include "core/ocr_search.h"
#include "core/pixel_geometry.h"

#include "platform/output_inspection.h"
#include "platform/pdf_document.h"

#include <algorithm>
#include <cmath>

namespace inkveil::InkveilEngine {

namespace {

[[noreturn]] void fail(const QString& reason) { throw InkveilError::verificationFailed(reason); }

bool counts(const platform::InfoValue& value)
{
    switch (value.kind) {
    case platform::InfoValue::Kind::missing:
        return false;
    case platform::InfoValue::Kind::text:
        return !value.text.isEmpty();
    case platform::InfoValue::Kind::list:
        return value.listSize > 0;
    case platform::InfoValue::Kind::other:
        return true;
    }
    return true;
}

bool hasPersonalMetadata(platform::Document& document)
{
    for (const char* key : {"Title", "Author", "Subject", "Keywords"}) {
        if (counts(document.info(key)))
            return true;
    }
    return false;
}

bool regionsAreBlack(platform::Document& document, platform::Page& page, const std::vector<RedactionRegion>& regions)
{
    std::optional<platform::DecodedImage> image;
    for (const RedactionRegion& region : regions) {
        if (region.pageIndex() != page.index())
            continue;
        if (!image) {
            image = platform::DecodedImage::load(document, page);
            if (!image)
                return false;
        }
        const PixelRect p = inwardPixels(region.normalizedRect(), image->width(), image->height());
        if (!image->isBlack(p.x0, p.y0, p.x1, p.y1))
            return false;
    }
    return true;
}

// The writer rounds sizes to 4 decimals.
bool frameMatches(const platform::Page& page, const PageFrame& expected)
{
    const PageFrame found = frameOf(page);
    const auto near = [](double a, double b) { return std::abs(a - b) <= 1e-3 + 1e-6 * std::abs(b); };
    return near(found.width, expected.width) && near(found.height, expected.height) && found.rotate == expected.rotate;
}

} // namespace

RedactionVerification verify(const QString& output, std::int64_t expectedPages, std::int64_t redactionCount,
                             const QStringList& forbiddenTerms, const std::vector<RedactionRegion>& paintedRegions,
                             const std::vector<PageFrame>& frames)
{
    platform::Context ctx;
    auto document = platform::Document::open(ctx, output);
    if (!document || document->pageCount() != expectedPages)
        fail(Reason::pageCountChanged);

    bool textFound = false;
    bool annotationsFound = false;
    // Beyond text and annotations: anything but one image per page could carry
    // something of the source (fonts, forms, attachments, scripts, metadata).
    bool foreignContent = platform::documentHasForeignObjects(*document);
    for (int i = 0; i < document->pageCount(); ++i) {
        auto page = document->page(i);
        if (!page)
            fail(Reason::pageUnreadable);
        QString text;
        bool complete = true;
        try {
            text = page->text(&complete);
        } catch (const platform::PdfError&) {
            fail(Reason::pageUnreadable);
        }
        if (!complete)
            fail(Reason::pageUnreadable);
        if (!textFound && !text.trimmed().isEmpty())
            textFound = true;
        if (!annotationsFound && page->annotationCount() > 0)
            annotationsFound = true;
        for (const QString& term : forbiddenTerms) {
            if (text.contains(term, Qt::CaseInsensitive))
                fail(Reason::textSelectable);
        }
        if (!foreignContent && !platform::pageHoldsOnlyOneImage(*document, *page))
            foreignContent = true;
        if (static_cast<std::size_t>(i) < frames.size() && !frameMatches(*page, frames[static_cast<std::size_t>(i)]))
            fail(Reason::pageSizeChanged);
        if (!regionsAreBlack(*document, *page, paintedRegions))
            fail(Reason::markNotCovered);
    }

    if (hasPersonalMetadata(*document) || textFound || annotationsFound || foreignContent)
        fail(Reason::hiddenContent);

    return RedactionVerification{document->pageCount(), redactionCount, false, false, false};
}

// The output is pixels only: reading them is the one check that does not
// trust the marks to sit where the phrases are.
void readBack(const QString& output, const std::vector<int>& pages, const std::vector<int>& tolerantPages,
              const QStringList& forbiddenTerms, const QString& languages, int dpi, const CancelCheck& shouldCancel,
              const PageProgress& reading, const std::vector<RedactionRegion>& exclusions)
{
    std::vector<int> exact;
    std::vector<int> tolerant;
    for (const int page : pages)
        (std::binary_search(tolerantPages.begin(), tolerantPages.end(), page) ? tolerant : exact).push_back(page);
    const std::int64_t count = static_cast<std::int64_t>(pages.size());
    const auto offset = [&](std::int64_t before) -> PageProgress {
        if (!reading)
            return {};
        return [&reading, before, count](std::int64_t done, std::int64_t) { reading(before + done, count); };
    };
    for (const bool withTolerance : {false, true}) {
        const std::vector<int>& some = withTolerance ? tolerant : exact;
        const std::int64_t before = withTolerance ? static_cast<std::int64_t>(exact.size()) : 0;
        const auto read = ocrRegions(output, some, forbiddenTerms, languages, shouldCancel, offset(before), dpi, withTolerance);
        if (std::any_of(read.begin(), read.end(), [&](const RedactionRegion& r) { return !insideExclusion(r, exclusions); }))
            fail(Reason::phraseReadable);
    }
}

} // namespace inkveil::InkveilEngine
