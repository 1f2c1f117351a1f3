#include "core/engine.h"
#include "core/exclusions.h"
#include "core/ocr_search.h"
#include "core/output_file.h"
#include "core/page_writer_thread.h"
#include "core/pixel_geometry.h"

#include "platform/pdf_document.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>
#include <system_error>
#include <unordered_set>

namespace inkveil::InkveilEngine {

namespace {

QStringList cleanedTerms(const QStringList& terms)
{
    QStringList cleaned;
    for (const QString& term : terms) {
        const QString trimmed = term.trimmed();
        if (!trimmed.isEmpty())
            cleaned.append(trimmed);
    }
    return cleaned;
}

// Plan regions then found ones, each once; first occurrence keeps its place.
std::vector<RedactionRegion> collectRegions(const std::vector<RedactionRegion>& marked,
                                            const std::vector<RedactionRegion>& found)
{
    std::unordered_set<RedactionRegion> seen;
    std::vector<RedactionRegion> regions;
    for (const auto* list : {&marked, &found}) {
        for (const RedactionRegion& region : *list) {
            if (seen.insert(region).second)
                regions.push_back(region);
        }
    }
    return regions;
}

bool isValid(const RedactionRegion& region, std::int64_t pageCount)
{
    const Rect r = region.normalizedRect().standardized();
    return region.pageIndex() >= 0 && region.pageIndex() < pageCount && r.width > 0 && r.height > 0;
}

double clampedDpi(double dpi)
{
    if (std::isnan(dpi))
        return RedactionPlan().dpi;
    return std::clamp(dpi, 96.0, 400.0);
}

constexpr float kMinimumLinePixels = 1.2f;
constexpr qsizetype kMaxReadBackTexts = 500;

bool cancelled(const CancelCheck& shouldCancel) { return shouldCancel && shouldCancel(); }

[[noreturn]] void fail(const QString& reason) { throw InkveilError::verificationFailed(reason); }

// Renders one page into pixels and blacks out its regions. While the pages
// before had no colour, a page is drawn in grey, a third of the memory to fill,
// draw and encode; one that turns out to have colour is drawn again in RGB.
// lastHadColour carries the guess from one page to the next.
// A page MuPDF draws with errors fails with damagedPage unless plan.allowDamaged.
void renderPage(platform::Context& ctx, platform::Page& page, const std::vector<RedactionRegion>& regions,
                double dpiScale, platform::PixelBuffer& pixels, bool& lastHadColour, const CancelCheck& shouldCancel,
                const QString& source, const RedactionPlan& plan)
{
    const Rect box = page.mediaBox().standardized();
    // The chosen resolution applies to the page's real size.
    const double scale = dpiScale * page.userUnit();
    const auto pw = pixelExtent(box.width, scale);
    const auto ph = pixelExtent(box.height, scale);
    if (!pw || !ph || *pw * *ph > kMaxPagePixels)
        throw InkveilError::pageNotDrawn(source, page.index());

    // Page space to pixels: scale, move the box's corner to the origin, and
    // flip so that the box's lower-left lands on the bitmap's bottom-left.
    const platform::Matrix pageToPixel{scale, 0, 0, -scale, -box.x * scale, static_cast<double>(*ph) + box.y * scale};
    auto draw = [&](int components) {
        pixels.reset(static_cast<int>(*pw), static_cast<int>(*ph), components);
        fz_cookie cookie{};
        const bool colour = page.renderContents(ctx, pixels, pageToPixel, &cookie, shouldCancel);
        // A page drawn with errors may be missing content: never flatten it quietly.
        if (cookie.errors > 0 && !plan.allowDamaged)
            throw InkveilError::damagedPage(source, page.index());
        return colour;
    };
    try {
        const bool grey = !lastHadColour && !page.mayHaveColouredGlyphs();
        lastHadColour = draw(grey ? 1 : 3);
        if (grey && lastHadColour)
            draw(3);
    } catch (const platform::PdfError& e) {
        if (e.aborted())
            throw InkveilError::cancelled();
        throw InkveilError::pageNotDrawn(source, page.index());
    } catch (const std::bad_alloc&) {
        throw InkveilError::pageNotDrawn(source, page.index());
    }

    for (const RedactionRegion& region : regions) {
        if (region.pageIndex() != page.index())
            continue;
        const PixelRect p = outwardPixels(denormalize(region.normalizedRect(), box), box, scale, *ph);
        pixels.fillBlack(p.x0, p.y0, p.x1, p.y1);
    }
}

// Whether MuPDF draws the page with errors, as it does damaged content; text
// that could not be read for want of memory or time is another matter. A
// small drawing finds the same errors as a full one.
bool drawsWithErrors(platform::Context& ctx, platform::Document& document, int index)
{
    auto page = document.page(index);
    if (!page)
        return false;
    const Rect box = page->mediaBox().standardized();
    const double scale = std::min(1.0, 200.0 / std::max(box.width, box.height));
    const auto pw = pixelExtent(box.width, scale);
    const auto ph = pixelExtent(box.height, scale);
    if (!pw || !ph)
        return false;
    try {
        platform::PixelBuffer pixels;
        pixels.reset(static_cast<int>(*pw), static_cast<int>(*ph), 1);
        const platform::Matrix pageToPixel{scale, 0, 0, -scale, -box.x * scale, static_cast<double>(*ph) + box.y * scale};
        fz_cookie cookie{};
        page->renderContents(ctx, pixels, pageToPixel, &cookie);
        return cookie.errors > 0;
    } catch (const platform::PdfError&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace

PageFrame frameOf(const platform::Page& page)
{
    const Rect box = page.mediaBox().standardized();
    return PageFrame{box.width * page.userUnit(), box.height * page.userUnit(), page.rotation()};
}

RedactionResult redact(const QString& source, const QString& destination, const RedactionPlan& plan,
                       const CancelCheck& shouldCancel, const PageProgress& progress, const PageProgress& reading)
{
    platform::Context ctx;
    auto document = platform::Document::open(ctx, source);
    if (!document)
        throw InkveilError::unreadable(source);
    const std::int64_t pageCount = document->pageCount();
    if (pageCount < 1)
        throw InkveilError::empty(source);

    const QStringList terms = cleanedTerms(plan.searchTerms);
    const PatternSet patterns(plan.patterns, plan.expressions);
    const bool ocr = plan.ocr.mode != OcrMode::off && (!terms.isEmpty() || !patterns.isEmpty());
    if (ocr)
        checkOcrLanguages(plan.ocr);
    SearchReport found = search(*document, terms, patterns);
    // A phrase on a page whose text could not be read would stay visible. Only
    // a damaged page may be flattened as drawn, and only when the plan allows.
    for (const int index : found.unreadPages) {
        if (!drawsWithErrors(ctx, *document, index))
            throw InkveilError::pageNotDrawn(source, index);
        if (!plan.allowDamaged)
            throw InkveilError::damagedPage(source, index);
    }
    // What patterns matched must not be found in the copy either; pages
    // where they were found are read back for them.
    QStringList patternTexts;
    std::set<int> patternPages;
    for (const auto& [region, kind] : found.matchedKind) {
        if (kind != kPhraseKind) {
            patternTexts.append(found.matchedText[region]);
            patternPages.insert(static_cast<int>(region.pageIndex()));
        }
    }
    std::vector<int> pagesRead;
    if (ocr) {
        pagesRead = pagesToRead(*document, plan.ocr.mode);
        // What a damaged page shows is what the copy will show: read it too.
        std::vector<int> merged;
        std::set_union(pagesRead.begin(), pagesRead.end(), found.unreadPages.begin(), found.unreadPages.end(),
                       std::back_inserter(merged));
        pagesRead = std::move(merged);
        std::map<QString, std::int64_t> read;
        OcrPatternFindings readPatterns;
        const auto regionsRead = ocrRegions(source, pagesRead, terms, plan.ocr.languages, shouldCancel, reading, kOcrDpi,
                                            true, &read, plan.allowDamaged, &patterns, &readPatterns);
        found.regions.insert(found.regions.end(), regionsRead.begin(), regionsRead.end());
        for (PhraseOccurrences& phrase : found.phrases)
            phrase.count += read[phrase.phrase];
        for (PhraseOccurrences& pattern : found.patterns)
            pattern.count += readPatterns.counts[pattern.phrase];
        patternTexts += readPatterns.texts;
        if (!readPatterns.texts.isEmpty())
            patternPages.insert(pagesRead.begin(), pagesRead.end());
    }
    patternTexts.removeDuplicates();
    // Occurrences the user removed stay visible; the phrases still find them.
    const bool foundAny = !found.regions.empty();
    found.regions = withoutExcluded(std::move(found.regions), plan.exclusions);
    const std::vector<RedactionRegion> regions = collectRegions(plan.regions, found.regions);
    if (regions.empty()) {
        if (!found.phrases.empty() && !foundAny)
            throw InkveilError::notFound(found.phrases.front().phrase, source);
        if (!found.patterns.empty() && !foundAny)
            throw InkveilError::notFound(found.patterns.front().phrase, source);
        throw InkveilError::noRedactions();
    }
    for (const RedactionRegion& region : regions) {
        if (!isValid(region, pageCount))
            throw InkveilError::invalidRegion();
    }
    if (cancelled(shouldCancel))
        throw InkveilError::cancelled();

    for (int i = 0; i < pageCount; ++i) {
        if (auto page = document->page(i))
            page->removeAnnotations();
    }
    const double scale = clampedDpi(plan.dpi) / 72.0;
    // No anti-aliasing, as a printer sets a page: from 96 dpi up text stays
    // plainly legible, and pages of black text stay pure black and white, which
    // encode in a quarter of the bytes and a fraction of the time of grey ones.
    // Hairlines would break up into dashes without a minimum width. Smooth
    // pages look like the source on screen, at that cost.
    ctx.setAntiAliasing(plan.smooth ? 8 : 0);
    ctx.setMinimumLineWidth(kMinimumLinePixels);

    // Pages stream into a temporary file beside the output: memory stays flat, and
    // nothing appears under the final name until the file is complete and checked.
    CreatedFolders folders(destination);
    // Decided before any page is drawn: a name the file system refuses fails now.
    const QString base = redactedBase(destination, source);
    TemporaryOutput::removeAbandoned(destination);
    TemporaryOutput output(destination);
    std::vector<PageFrame> frames;
    try {
        // This thread renders page n + 1 while the writer encodes and writes page n.
        PageWriterThread writer(output.fd());
        platform::PixelBuffer pixels;
        bool lastHadColour = false;
        frames.reserve(static_cast<std::size_t>(pageCount));
        for (int i = 0; i < pageCount; ++i) {
            if (cancelled(shouldCancel))
                throw InkveilError::cancelled();
            auto page = document->page(i);
            if (!page)
                fail(Reason::sourcePageUnreadable);
            renderPage(ctx, *page, regions, scale, pixels, lastHadColour, shouldCancel, source, plan);
            const PageFrame frame = frameOf(*page);
            frames.push_back(frame);
            pixels = writer.submit(std::move(pixels), frame);
            if (progress && i > 0)
                progress(i, pageCount);
        }
        writer.finish();
        if (progress)
            progress(pageCount, pageCount);
    } catch (const std::system_error& e) {
        // Named as the copy would have been: the hidden temporary file is gone
        // by the time anyone reads the message.
        throw FileError::fromErrno(QDir(destination).filePath(base + QStringLiteral(".pdf")), e.code().value());
    }
    document.reset();
    output.checkInPlace(destination);

    const RedactionVerification verification = verify(output.path(), pageCount, static_cast<std::int64_t>(regions.size()),
                                                      terms + patternTexts, regions, frames);
    if (ocr) {
        const std::set<int> phrasePages = [&] {
            std::set<int> pages;
            for (const RedactionRegion& region : found.regions)
                pages.insert(static_cast<int>(region.pageIndex()));
            return pages;
        }();
        // Drawn at the copy's own resolution, finer adds nothing to read; but
        // no coarser than 200 dpi, below which Tesseract misses small text.
        const int readDpi = std::max(200, static_cast<int>(std::lround(scale * 72.0)));
        if (!terms.isEmpty())
            readBack(output.path(), {phrasePages.begin(), phrasePages.end()}, pagesRead, terms, plan.ocr.languages,
                     readDpi, shouldCancel, reading, plan.exclusions);
        // Exactly: a look-alike left visible on purpose differs by a digit.
        // Matching every text costs time in proportion to their number; past
        // a few hundred the patterns themselves are looked for instead.
        const std::vector<int> pages(patternPages.begin(), patternPages.end());
        if (!patternTexts.isEmpty() && patternTexts.size() <= kMaxReadBackTexts) {
            readBack(output.path(), pages, {}, patternTexts, plan.ocr.languages, readDpi, shouldCancel, reading,
                     plan.exclusions);
        } else if (!patternTexts.isEmpty()) {
            const auto readable = ocrRegions(output.path(), pages, {}, plan.ocr.languages, shouldCancel, reading, readDpi,
                                             false, nullptr, false, &patterns);
            if (std::any_of(readable.begin(), readable.end(),
                            [&](const RedactionRegion& r) { return !insideExclusion(r, plan.exclusions); }))
                fail(Reason::phraseReadable);
        }
    }

    const QString published = output.publish([&] { return availableURL(destination, base); });
    folders.keep();
    return RedactionResult{published, verification, std::move(found.phrases), std::move(found.patterns)};
}

} // namespace inkveil::InkveilEngine
