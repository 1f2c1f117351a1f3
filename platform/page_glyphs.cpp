#include "platform/page_glyphs.h"

#include "platform/pdf_document.h"
#include "platform/watchdog.h"

extern "C" {
#include <mupdf/fitz/glyph-cache.h>
}

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

namespace inkveil::platform {

namespace {

// Beyond these a page's text is not read in full: the caller learns so.
constexpr std::size_t kMaxGlyphs = 1'000'000;
// Copies of a pattern cell's glyphs enumerated one by one; past this the
// pattern's whole area stands for them.
constexpr double kMaxTileCopies = 100'000;

// An open tiling pattern: the glyphs of its cell, drawn once in device space,
// and how the cell repeats.
struct TileFrame {
    fz_rect area{};
    fz_rect view{};
    float xstep = 0;
    float ystep = 0;
    fz_matrix ctm{};
    GlyphList glyphs;
};

class Collector {
public:
    explicit Collector(fz_context* ctx) : m_ctx(ctx) {}
    ~Collector()
    {
        for (fz_font* font : m_fonts)
            fz_drop_font(m_ctx, font);
    }
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    void addText(const fz_text* text, fz_matrix ctm, const fz_stroke_state* stroke, float grow)
    {
        GlyphList& out = target();
        for (const fz_text_span* span = text->head; span; span = span->next) {
            keepFont(span->font);
            const DrawnGlyph* previous = nullptr;
            for (int i = 0; i < span->len; ++i) {
                if (full())
                    return;
                const fz_text_item& item = span->items[i];
                if (item.gid < 0 && previous) {
                    DrawnGlyph more = *previous;
                    more.c = item.ucs > 0 ? static_cast<char32_t>(item.ucs) : 0;
                    more.continuation = true;
                    out.push_back(more);
                    previous = &out.back();
                    continue;
                }
                fz_matrix trm = span->trm;
                trm.e = item.x;
                trm.f = item.y;
                trm = fz_concat(trm, ctm);
                const fz_point dir = span->wmode ? fz_make_point(-trm.c, -trm.d) : fz_make_point(trm.a, trm.b);
                const double length = std::hypot(dir.x, dir.y);
                DrawnGlyph glyph;
                glyph.c = item.ucs > 0 ? static_cast<char32_t>(item.ucs) : 0;
                glyph.actualText = currentActualText();
                glyph.x = trm.e;
                glyph.y = trm.f;
                if (length > 0 && std::isfinite(length)) {
                    glyph.dirX = dir.x / length;
                    glyph.dirY = dir.y / length;
                }
                glyph.size = std::sqrt(std::fabs(static_cast<double>(trm.a) * trm.d - static_cast<double>(trm.b) * trm.c));
                glyph.font = span->font;
                glyph.gid = item.gid;
                glyph.trm = trm;
                glyph.grow = grow;
                if (stroke) {
                    const float width = stroke->linewidth * fz_matrix_expansion(ctm);
                    glyph.lineWidth = std::isfinite(width) && width > 0 ? width : 0;
                    const bool mitered = stroke->linejoin == FZ_LINEJOIN_MITER || stroke->linejoin == FZ_LINEJOIN_MITER_XPS;
                    glyph.miterLimit = mitered && std::isfinite(stroke->miterlimit) ? stroke->miterlimit : 0;
                }
                out.push_back(glyph);
                previous = &out.back();
            }
        }
    }

    void beginTile(fz_rect area, fz_rect view, float xstep, float ystep, fz_matrix ctm)
    {
        m_tiles.push_back(TileFrame{area, view, xstep, ystep, ctm, {}});
    }

    void endTile()
    {
        if (m_tiles.empty())
            return;
        TileFrame frame = std::move(m_tiles.back());
        m_tiles.pop_back();
        if (frame.glyphs.empty())
            return;
        GlyphList& out = target();

        // MuPDF gives the filled area in pattern space; the cells that reach
        // into it are enumerated there.
        const fz_rect area = frame.area;
        const double sx = std::fabs(frame.xstep);
        const double sy = std::fabs(frame.ystep);
        double i0 = 0, i1 = 0, j0 = 0, j1 = 0;
        bool enumerable = std::isfinite(area.x0) && std::isfinite(area.x1) && std::isfinite(area.y0)
            && std::isfinite(area.y1) && sx > 0 && sy > 0 && std::isfinite(sx) && std::isfinite(sy);
        if (enumerable) {
            i0 = std::floor((area.x0 - frame.view.x1) / sx);
            i1 = std::ceil((area.x1 - frame.view.x0) / sx);
            j0 = std::floor((area.y0 - frame.view.y1) / sy);
            j1 = std::ceil((area.y1 - frame.view.y0) / sy);
            const double copies = (i1 - i0 + 1) * (j1 - j0 + 1);
            enumerable = std::isfinite(copies)
                && copies * static_cast<double>(frame.glyphs.size()) <= kMaxTileCopies;
        }
        if (!enumerable) {
            const fz_rect page = fz_transform_rect(frame.area, frame.ctm);
            const Rect whole{page.x0, page.y0, page.x1 - page.x0, page.y1 - page.y0};
            for (DrawnGlyph glyph : frame.glyphs) {
                if (full())
                    return;
                glyph.area = glyph.area ? glyph.area->united(whole) : whole;
                out.push_back(glyph);
            }
            return;
        }
        for (double j = j1; j >= j0; --j) {
            for (double i = i0; i <= i1; ++i) {
                const fz_rect cell = fz_make_rect(frame.view.x0 + i * sx, frame.view.y0 + j * sy,
                                                  frame.view.x1 + i * sx, frame.view.y1 + j * sy);
                if (fz_is_empty_rect(fz_intersect_rect(cell, area)))
                    continue;
                const fz_point shift = fz_transform_vector(fz_make_point(i * sx, j * sy), frame.ctm);
                for (DrawnGlyph glyph : frame.glyphs) {
                    if (full())
                        return;
                    glyph.x += shift.x;
                    glyph.y += shift.y;
                    glyph.trm.e += shift.x;
                    glyph.trm.f += shift.y;
                    if (glyph.area)
                        glyph.area = Rect{glyph.area->x + shift.x, glyph.area->y + shift.y, glyph.area->width,
                                          glyph.area->height};
                    out.push_back(glyph);
                }
            }
        }
    }

    void beginMarkedContent(pdf_obj* properties)
    {
        int span = -1;
        pdf_obj* actual = pdf_dict_get(m_ctx, properties, PDF_NAME(ActualText));
        if (pdf_is_string(m_ctx, actual)) {
            span = static_cast<int>(m_actualTexts.size());
            m_actualTexts.push_back(QString::fromUtf8(pdf_to_text_string(m_ctx, actual)));
        }
        m_marked.push_back(span);
    }

    void endMarkedContent()
    {
        if (!m_marked.empty())
            m_marked.pop_back();
    }

    bool truncated() const { return m_truncated; }

    PageGlyphs finish()
    {
        while (!m_tiles.empty())
            endTile();
        return PageGlyphs(m_ctx, std::move(m_glyphs), std::move(m_actualTexts), std::exchange(m_fonts, {}));
    }

private:
    GlyphList& target() { return m_tiles.empty() ? m_glyphs : m_tiles.back().glyphs; }

    bool full()
    {
        std::size_t count = m_glyphs.size();
        for (const TileFrame& frame : m_tiles)
            count += frame.glyphs.size();
        if (count < kMaxGlyphs)
            return false;
        m_truncated = true;
        return true;
    }

    int currentActualText() const
    {
        for (auto it = m_marked.rbegin(); it != m_marked.rend(); ++it) {
            if (*it >= 0)
                return *it;
        }
        return -1;
    }

    void keepFont(fz_font* font)
    {
        if (font && std::find(m_fonts.begin(), m_fonts.end(), font) == m_fonts.end()) {
            m_fonts.reserve(m_fonts.size() + 1);
            m_fonts.push_back(fz_keep_font(m_ctx, font));
        }
    }

    fz_context* m_ctx;
    GlyphList m_glyphs;
    std::vector<TileFrame> m_tiles;
    std::vector<QString> m_actualTexts;
    std::vector<int> m_marked;
    std::vector<fz_font*> m_fonts;
    bool m_truncated = false;
};

struct GlyphDevice {
    fz_device super;
    Collector* collector;
};

// MuPDF calls back through C frames: nothing may be thrown across them. A
// failure becomes a MuPDF error after the C++ frame is left.
template <typename F>
void guarded(fz_context* ctx, F&& f)
{
    bool failed = false;
    try {
        f();
    } catch (...) {
        failed = true;
    }
    if (failed)
        fz_throw(ctx, FZ_ERROR_MEMORY, "out of memory while reading the page's glyphs");
}

Collector& collectorOf(fz_device* dev)
{
    return *reinterpret_cast<GlyphDevice*>(dev)->collector;
}

void fillText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace*, const float*, float,
              fz_color_params)
{
    guarded(ctx, [&] { collectorOf(dev).addText(text, ctm, nullptr, 0); });
}

// How far a stroke reaches beyond the outline, miters at sharp corners
// included, in page units.
float strokeReach(fz_context* ctx, const fz_stroke_state* stroke, fz_matrix ctm)
{
    if (!stroke)
        return 0;
    const fz_rect r = fz_adjust_rect_for_stroke(ctx, fz_make_rect(0, 0, 0, 0), stroke, ctm);
    const float reach = std::max({-r.x0, -r.y0, r.x1, r.y1, stroke->linewidth * fz_matrix_expansion(ctm)});
    return std::isfinite(reach) && reach > 0 ? reach : 0;
}

void strokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm,
                fz_colorspace*, const float*, float, fz_color_params)
{
    const float reach = strokeReach(ctx, stroke, ctm);
    guarded(ctx, [&] { collectorOf(dev).addText(text, ctm, stroke, reach); });
}

void clipText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect)
{
    guarded(ctx, [&] { collectorOf(dev).addText(text, ctm, nullptr, 0); });
}

void clipStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm,
                    fz_rect)
{
    const float reach = strokeReach(ctx, stroke, ctm);
    guarded(ctx, [&] { collectorOf(dev).addText(text, ctm, stroke, reach); });
}

void ignoreText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm)
{
    guarded(ctx, [&] { collectorOf(dev).addText(text, ctm, nullptr, 0); });
}

int beginTile(fz_context* ctx, fz_device* dev, fz_rect area, fz_rect view, float xstep, float ystep, fz_matrix ctm, int)
{
    guarded(ctx, [&] { collectorOf(dev).beginTile(area, view, xstep, ystep, ctm); });
    return 0; // run the cell's content: its glyphs are wanted
}

void endTile(fz_context* ctx, fz_device* dev)
{
    guarded(ctx, [&] { collectorOf(dev).endTile(); });
}

// Marked content reaches us through the interpreter, not the device: the run
// processor's own handlers are wrapped, on this one processor only.
struct MarkedContentHook {
    Collector* collector = nullptr;
    decltype(pdf_processor::op_BMC) bmc = nullptr;
    decltype(pdf_processor::op_BDC) bdc = nullptr;
    decltype(pdf_processor::op_EMC) emc = nullptr;
};
thread_local MarkedContentHook* t_hook = nullptr;

// MuPDF holds shown glyphs back until something ends the text run; a span's
// glyphs must reach the device before the span changes. Setting the line
// join flushes them and changes nothing this reading looks at.
void flushText(fz_context* ctx, pdf_processor* proc)
{
    if (proc->op_j)
        proc->op_j(ctx, proc, 0);
}

void hookBMC(fz_context* ctx, pdf_processor* proc, const char* tag)
{
    MarkedContentHook* hook = t_hook;
    flushText(ctx, proc);
    guarded(ctx, [&] { hook->collector->beginMarkedContent(nullptr); });
    if (hook->bmc)
        hook->bmc(ctx, proc, tag);
}

void hookBDC(fz_context* ctx, pdf_processor* proc, const char* tag, pdf_obj* raw, pdf_obj* cooked)
{
    MarkedContentHook* hook = t_hook;
    flushText(ctx, proc);
    guarded(ctx, [&] { hook->collector->beginMarkedContent(cooked); });
    if (hook->bdc)
        hook->bdc(ctx, proc, tag, raw, cooked);
}

void hookEMC(fz_context* ctx, pdf_processor* proc)
{
    MarkedContentHook* hook = t_hook;
    flushText(ctx, proc);
    hook->collector->endMarkedContent();
    if (hook->emc)
        hook->emc(ctx, proc);
}

// Sets the thread's hook for the lifetime of one page run.
class HookScope {
public:
    explicit HookScope(MarkedContentHook* hook) : m_saved(std::exchange(t_hook, hook)) {}
    ~HookScope() { t_hook = m_saved; }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;

private:
    MarkedContentHook* m_saved;
};

fz_rect boundOutline(fz_context* ctx, fz_font* font, int gid, fz_matrix trm)
{
    fz_rect bounds = fz_empty_rect;
    fz_path* path = nullptr;
    fz_device* dev = nullptr;
    fz_var(bounds);
    fz_var(path);
    fz_var(dev);
    fz_try(ctx)
    {
        if (font->t3procs) {
            // No outline: what the glyph's procedure marks, whatever the
            // font's bounding box claims.
            if (gid >= 0 && gid < 256 && font->t3procs[gid]) {
                if (!font->t3lists[gid])
                    fz_prepare_t3_glyph(ctx, font, gid);
                dev = fz_new_bbox_device(ctx, &bounds);
                fz_run_t3_glyph(ctx, font, gid, trm, dev);
                fz_close_device(ctx, dev);
            }
        } else {
            path = fz_outline_glyph(ctx, font, gid, trm);
            bounds = path ? fz_bound_path(ctx, path, nullptr, fz_identity) : fz_bound_glyph(ctx, font, gid, trm);
        }
    }
    fz_always(ctx)
    {
        fz_drop_device(ctx, dev);
        fz_drop_path(ctx, path);
    }
    fz_catch(ctx) { bounds = fz_infinite_rect; }
    return bounds;
}

// A glyph outline as closed polygons through all of its points, control
// points included: every corner a stroke can miter at is among them.
struct Polygons {
    std::vector<std::vector<fz_point>> rings;
    bool failed = false;

    void start()
    {
        try {
            rings.emplace_back();
        } catch (...) {
            failed = true;
        }
    }
    void add(float x, float y)
    {
        if (rings.empty())
            start();
        try {
            if (!failed && (rings.back().empty() || rings.back().back().x != x || rings.back().back().y != y))
                rings.back().push_back(fz_make_point(x, y));
        } catch (...) {
            failed = true;
        }
    }
};

void walkMove(fz_context*, void* arg, float x, float y)
{
    auto* polygons = static_cast<Polygons*>(arg);
    polygons->start();
    polygons->add(x, y);
}
void walkLine(fz_context*, void* arg, float x, float y) { static_cast<Polygons*>(arg)->add(x, y); }
void walkCurve(fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3, float y3)
{
    auto* polygons = static_cast<Polygons*>(arg);
    polygons->add(x1, y1);
    polygons->add(x2, y2);
    polygons->add(x3, y3);
}
void walkClose(fz_context*, void*) {}

// The ink of a stroked outline: half the line width all round, and at each
// corner whose miter stays within the limit, the miter's tip.
std::optional<Rect> strokedBounds(fz_context* ctx, const fz_path* path, float lineWidth, float miterLimit)
{
    const fz_rect outline = fz_bound_path(ctx, path, nullptr, fz_identity);
    if (fz_is_empty_rect(outline) || fz_is_infinite_rect(outline))
        return std::nullopt;
    const double half = lineWidth / 2.0;
    Rect box = Rect{outline.x0, outline.y0, outline.x1 - outline.x0, outline.y1 - outline.y0}.insetBy(-half, -half);
    if (miterLimit <= 0)
        return box;
    Polygons polygons;
    const fz_path_walker walker{walkMove, walkLine, walkCurve, walkClose, nullptr, nullptr, nullptr, nullptr};
    fz_walk_path(ctx, path, &walker, &polygons);
    if (polygons.failed)
        return std::nullopt;
    for (std::vector<fz_point>& ring : polygons.rings) {
        if (ring.size() > 1 && ring.front().x == ring.back().x && ring.front().y == ring.back().y)
            ring.pop_back();
        const std::size_t n = ring.size();
        if (n < 3)
            continue;
        for (std::size_t i = 0; i < n; ++i) {
            const fz_point a = ring[(i + n - 1) % n];
            const fz_point b = ring[i];
            const fz_point c = ring[(i + 1) % n];
            const double ux = a.x - b.x, uy = a.y - b.y, vx = c.x - b.x, vy = c.y - b.y;
            const double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
            if (lu <= 0 || lv <= 0)
                continue;
            const double cosine = std::clamp((ux * vx + uy * vy) / (lu * lv), -1.0, 1.0);
            const double sineHalf = std::sqrt((1 - cosine) / 2);
            if (sineHalf <= 1e-9)
                continue;
            const double ratio = 1 / sineHalf;
            if (ratio > miterLimit)
                continue; // bevelled
            const double reach = half * ratio;
            box = box.united(Rect{b.x - reach, b.y - reach, 2 * reach, 2 * reach});
        }
    }
    return box;
}

// The outline of a glyph placed on the page, or nothing.
std::optional<Rect> strokedGlyph(fz_context* ctx, const DrawnGlyph& g)
{
    std::optional<Rect> bounds;
    fz_path* path = nullptr;
    fz_var(bounds);
    fz_var(path);
    fz_try(ctx)
    {
        path = fz_outline_glyph(ctx, g.font, g.gid, g.trm);
        if (path)
            bounds = strokedBounds(ctx, path, g.lineWidth, g.miterLimit);
    }
    fz_always(ctx) { fz_drop_path(ctx, path); }
    fz_catch(ctx) { bounds.reset(); }
    return bounds;
}

} // namespace

// ---- PageGlyphs -----------------------------------------------------------

PageGlyphs::PageGlyphs(fz_context* ctx, GlyphList glyphs, std::vector<QString> actualTexts,
                       std::vector<fz_font*> fonts)
    : m_ctx(ctx),
      m_glyphs(std::move(glyphs)),
      m_actualTexts(std::move(actualTexts)),
      m_fonts(std::move(fonts)),
      m_extents(m_glyphs.size())
{
}

PageGlyphs::~PageGlyphs()
{
    release();
}

PageGlyphs::PageGlyphs(PageGlyphs&& other) noexcept
    : m_ctx(other.m_ctx),
      m_glyphs(std::move(other.m_glyphs)),
      m_actualTexts(std::move(other.m_actualTexts)),
      m_fonts(std::exchange(other.m_fonts, {})),
      m_extents(std::move(other.m_extents)),
      m_glyphSpace(std::move(other.m_glyphSpace))
{
}

PageGlyphs& PageGlyphs::operator=(PageGlyphs&& other) noexcept
{
    if (this != &other) {
        release();
        m_ctx = other.m_ctx;
        m_glyphs = std::move(other.m_glyphs);
        m_actualTexts = std::move(other.m_actualTexts);
        m_fonts = std::exchange(other.m_fonts, {});
        m_extents = std::move(other.m_extents);
        m_glyphSpace = std::move(other.m_glyphSpace);
    }
    return *this;
}

void PageGlyphs::release()
{
    for (fz_font* font : m_fonts)
        fz_drop_font(m_ctx, font);
    m_fonts.clear();
}

double PageGlyphs::advanceWidth(std::size_t i) const
{
    const DrawnGlyph& g = m_glyphs[i];
    if (!g.font || g.gid < 0)
        return 0.0;
    float advance = 0;
    fz_var(advance);
    fz_try(m_ctx) { advance = fz_advance_glyph(m_ctx, g.font, g.gid, 0); }
    fz_catch(m_ctx) { advance = 0; }
    return advance * g.size;
}

const GlyphExtent& PageGlyphs::extent(std::size_t i)
{
    if (m_extents[i])
        return *m_extents[i];
    const DrawnGlyph& g = m_glyphs[i];
    GlyphExtent extent;
    // At least a quarter em along the baseline, so that no glyph vanishes.
    const double advance = std::max(g.size * 0.25, g.font && g.gid >= 0 ? fz_advance_glyph(m_ctx, g.font, g.gid, 0) * g.size : 0.0);
    const double upX = -g.dirY * g.size * 0.5;
    const double upY = g.dirX * g.size * 0.5;
    const double endX = g.x + g.dirX * advance;
    const double endY = g.y + g.dirY * advance;
    extent.advance = Rect{g.x, g.y, 0, 0}
                         .united(Rect{endX, endY, 0, 0})
                         .united(Rect{g.x + upX, g.y + upY, 0, 0})
                         .united(Rect{endX + upX, endY + upY, 0, 0});
    if (g.font && g.gid >= 0) {
        // Bounded once per glyph in its own space, then placed: for turned or
        // slanted text the placed box holds the ink with room to spare.
        const auto key = std::make_pair(g.font, g.gid);
        auto cached = m_glyphSpace.find(key);
        if (cached == m_glyphSpace.end())
            cached = m_glyphSpace.emplace(key, boundOutline(m_ctx, g.font, g.gid, fz_identity)).first;
        const fz_rect ink = fz_is_infinite_rect(cached->second) || fz_is_empty_rect(cached->second)
            ? cached->second
            : fz_transform_rect(cached->second, g.trm);
        const bool known = !fz_is_infinite_rect(ink) && std::isfinite(ink.x0) && std::isfinite(ink.x1)
            && std::isfinite(ink.y0) && std::isfinite(ink.y1);
        if (!known) // the em square around the origin, both ways
            extent.ink = Rect{g.x - g.size, g.y - g.size, 2 * g.size, 2 * g.size};
        else if (!fz_is_empty_rect(ink))
            extent.ink = Rect{ink.x0, ink.y0, ink.x1 - ink.x0, ink.y1 - ink.y0};
    }
    if (g.grow > 0) {
        // A stroked outline is bounded corner by corner; anything else by
        // the farthest any stroke could reach.
        const std::optional<Rect> stroked = g.lineWidth > 0 && g.font && !g.font->t3procs ? strokedGlyph(m_ctx, g) : std::nullopt;
        const double grow = stroked ? g.lineWidth / 2.0 : g.grow;
        extent.advance = extent.advance.insetBy(-grow, -grow);
        if (stroked)
            extent.ink = extent.ink ? extent.ink->united(*stroked) : *stroked;
        else if (extent.ink)
            extent.ink = extent.ink->insetBy(-grow, -grow);
    }
    if (g.area)
        extent.ink = extent.ink ? extent.ink->united(*g.area) : *g.area;
    m_extents[i] = extent;
    return *m_extents[i];
}

// ---- Page -----------------------------------------------------------------

PageGlyphs Page::drawnGlyphs(bool* complete)
{
    fz_context* ctx = m_ctx;
    Collector collector(ctx);
    MarkedContentHook hook;
    hook.collector = &collector;
    const HookScope scope(&hook);

    GlyphDevice* dev = nullptr;
    pdf_processor* proc = nullptr;
    fz_cookie cookie{};
    Watchdog watchdog(cookie, pageTimeBudget());
    bool failed = false;
    fz_var(dev);
    fz_var(proc);
    fz_var(failed);
    fz_try(ctx)
    {
        dev = fz_new_derived_device(ctx, GlyphDevice);
        dev->collector = &collector;
        dev->super.fill_text = fillText;
        dev->super.stroke_text = strokeText;
        dev->super.clip_text = clipText;
        dev->super.clip_stroke_text = clipStrokeText;
        dev->super.ignore_text = ignoreText;
        dev->super.begin_tile = beginTile;
        dev->super.end_tile = endTile;
        // Page space itself: no page transform.
        proc = pdf_new_run_processor(ctx, &dev->super, fz_identity, "View", nullptr, nullptr, &cookie);
        hook.bmc = proc->op_BMC;
        hook.bdc = proc->op_BDC;
        hook.emc = proc->op_EMC;
        proc->op_BMC = hookBMC;
        proc->op_BDC = hookBDC;
        proc->op_EMC = hookEMC;
        pdf_process_contents(ctx, proc, m_page->doc, pdf_page_resources(ctx, m_page), pdf_page_contents(ctx, m_page),
                             &cookie);
        pdf_close_processor(ctx, proc);
        fz_close_device(ctx, &dev->super);
    }
    fz_always(ctx)
    {
        pdf_drop_processor(ctx, proc);
        fz_drop_device(ctx, dev ? &dev->super : nullptr);
    }
    fz_catch(ctx) { failed = true; }
    if (watchdog.stop() != Watchdog::Verdict::finished)
        throw PdfError(FZ_ERROR_GENERIC, "the page's text took too long to read");
    if (failed)
        throw PdfError(fz_caught(ctx), fz_caught_message(ctx));
    if (complete)
        *complete = cookie.errors == 0 && cookie.incomplete == 0 && !collector.truncated();
    return collector.finish();
}

} // namespace inkveil::platform
