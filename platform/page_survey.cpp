#include "platform/page_survey.h"
#include "platform/resource_limits.h"
#include "platform/watchdog.h"

#include <algorithm>
#include <bitset>

namespace inkveil::platform {

namespace {

// Image coverage is measured on a grid of cells: a cell counts as covered when
// its centre lies under an image.
constexpr int kGrid = 32;

struct SurveyDevice {
    fz_device super;
    fz_rect page;
    PageSurvey* survey;
    std::bitset<kGrid * kGrid>* covered;
};

SurveyDevice* self(fz_device* dev) { return reinterpret_cast<SurveyDevice*>(dev); }

void countText(fz_device* dev, const fz_text* text, bool visible)
{
    PageSurvey& s = *self(dev)->survey;
    for (const fz_text_span* span = text->head; span; span = span->next) {
        const bool type3 = span->font && span->font->t3procs;
        for (int i = 0; i < span->len; ++i) {
            (visible ? s.visibleGlyphs : s.invisibleGlyphs) += 1;
            const int ucs = span->items[i].ucs;
            if (visible && (type3 || ucs == 0xFFFD || (ucs >= 0 && ucs < 0x20)))
                ++s.untrustedGlyphs;
        }
    }
}

void coverImage(fz_device* dev, fz_matrix ctm)
{
    SurveyDevice* d = self(dev);
    const fz_rect r = fz_intersect_rect(fz_transform_rect(fz_unit_rect, ctm), d->page);
    if (fz_is_empty_rect(r) || fz_is_empty_rect(d->page))
        return;
    const float w = d->page.x1 - d->page.x0, h = d->page.y1 - d->page.y0;
    for (int gy = 0; gy < kGrid; ++gy) {
        const float cy = d->page.y0 + (gy + 0.5f) * h / kGrid;
        if (cy < r.y0 || cy > r.y1)
            continue;
        for (int gx = 0; gx < kGrid; ++gx) {
            const float cx = d->page.x0 + (gx + 0.5f) * w / kGrid;
            if (cx >= r.x0 && cx <= r.x1)
                d->covered->set(static_cast<std::size_t>(gy * kGrid + gx));
        }
    }
}

void fillText(fz_context*, fz_device* dev, const fz_text* text, fz_matrix, fz_colorspace*, const float*, float alpha,
              fz_color_params)
{
    countText(dev, text, alpha > 0);
}
void strokeText(fz_context*, fz_device* dev, const fz_text* text, const fz_stroke_state*, fz_matrix, fz_colorspace*,
                const float*, float alpha, fz_color_params)
{
    countText(dev, text, alpha > 0);
}
void clipText(fz_context*, fz_device* dev, const fz_text* text, fz_matrix, fz_rect) { countText(dev, text, true); }
void clipStrokeText(fz_context*, fz_device* dev, const fz_text* text, const fz_stroke_state*, fz_matrix, fz_rect)
{
    countText(dev, text, true);
}
void ignoreText(fz_context*, fz_device* dev, const fz_text* text, fz_matrix) { countText(dev, text, false); }
void fillImage(fz_context*, fz_device* dev, fz_image*, fz_matrix ctm, float alpha, fz_color_params)
{
    if (alpha > 0)
        coverImage(dev, ctm);
}
void fillImageMask(fz_context*, fz_device* dev, fz_image*, fz_matrix ctm, fz_colorspace*, const float*, float alpha,
                   fz_color_params)
{
    if (alpha > 0)
        coverImage(dev, ctm);
}

} // namespace

PageSurvey surveyPage(Context& ctx, Page& page)
{
    PageSurvey survey;
    std::bitset<kGrid * kGrid> covered;
    fz_cookie cookie{};
    Watchdog watchdog(cookie, pageTimeBudget());
    fz_device* dev = nullptr;
    int failed = 0;
    fz_var(dev);
    fz_var(failed);
    fz_try(ctx)
    {
        SurveyDevice* d = fz_new_derived_device(ctx, SurveyDevice);
        dev = &d->super;
        d->page = pdf_bound_page(ctx, page.get());
        d->survey = &survey;
        d->covered = &covered;
        dev->fill_text = fillText;
        dev->stroke_text = strokeText;
        dev->clip_text = clipText;
        dev->clip_stroke_text = clipStrokeText;
        dev->ignore_text = ignoreText;
        dev->fill_image = fillImage;
        dev->fill_image_mask = fillImageMask;
        pdf_run_page_contents(ctx, page.get(), dev, fz_identity, &cookie);
        fz_close_device(ctx, dev);
    }
    fz_always(ctx) { fz_drop_device(ctx, dev); }
    fz_catch(ctx) { failed = 1; }
    if (watchdog.stop() != Watchdog::Verdict::finished)
        throw PdfError(FZ_ERROR_GENERIC, "the page took too long to read");
    if (failed)
        ctx.throwCaught();
    if (cookie.errors > 0 || cookie.incomplete > 0)
        throw PdfError(FZ_ERROR_GENERIC, "the page could not be read in full");
    survey.imageCoverage = static_cast<double>(covered.count()) / (kGrid * kGrid);
    return survey;
}

} // namespace inkveil::platform
