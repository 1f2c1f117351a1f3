#pragma once

#include "core/geometry.h"
#include "platform/resource_limits.h"

#include <QString>

#include <map>
#include <optional>
#include <utility>
#include <vector>

extern "C" {
#include <mupdf/fitz.h>
}

namespace inkveil::platform {

// One character as the page draws it: every glyph that any text operator
// paints, fills, strokes, clips with or draws invisibly, in drawing order, with
// its place in page space. A glyph that stands for several characters (a
// ligature) comes once per character; the later ones are continuations.
struct DrawnGlyph {
    char32_t c = 0;       // 0 when the glyph maps to no character of its own
    bool continuation = false;
    int actualText = -1;  // index into PageGlyphs::actualTexts() of the innermost span, or -1
    double x = 0;         // origin
    double y = 0;
    double dirX = 1;      // unit vector along the line of writing
    double dirY = 0;
    double size = 0;      // em size in page units

    fz_font* font = nullptr; // kept by the PageGlyphs that holds the glyph
    int gid = -1;
    fz_matrix trm{};      // glyph space -> page space
    float grow = 0;       // farthest a stroke can reach beyond the outline, page units
    float lineWidth = 0;  // of a stroked glyph, page units
    float miterLimit = 0; // for mitered joins; 0 when joins are not mitered
    // Set for the glyphs of a pattern too fine to enumerate: the whole area
    // that the pattern fills, where any copy of them may show.
    std::optional<Rect> area;
};

// Where a glyph leaves ink, in page space: the outline's bounds under the
// glyph's transform (the procedure's marks for a Type 3 glyph) grown by its
// stroke, and the band its advance covers along the baseline, half an em high.
// Font metrics play no part.
struct GlyphExtent {
    Rect advance;
    std::optional<Rect> ink; // nothing when the glyph draws nothing
};

// Counted against the memory limit: a page may draw a great many glyphs.
using GlyphList = std::vector<DrawnGlyph, LimitedAllocator<DrawnGlyph>>;

// The glyphs of one page. Holds its fonts; the document must outlive it.
class PageGlyphs {
public:
    // Takes one reference to each of fonts.
    PageGlyphs(fz_context* ctx, GlyphList glyphs, std::vector<QString> actualTexts,
               std::vector<fz_font*> fonts);
    ~PageGlyphs();
    PageGlyphs(PageGlyphs&& other) noexcept;
    PageGlyphs& operator=(PageGlyphs&& other) noexcept;
    PageGlyphs(const PageGlyphs&) = delete;
    PageGlyphs& operator=(const PageGlyphs&) = delete;

    const GlyphList& glyphs() const { return m_glyphs; }
    // The text of each /ActualText span, in the order the spans begin.
    const std::vector<QString>& actualTexts() const { return m_actualTexts; }

    // Computed on first use.
    const GlyphExtent& extent(std::size_t i);
    // How far glyph i moves the pen along its line, in page units; 0 when
    // its font cannot tell.
    double advanceWidth(std::size_t i) const;

private:
    void release();

    fz_context* m_ctx = nullptr;
    GlyphList m_glyphs;
    std::vector<QString> m_actualTexts;
    std::vector<fz_font*> m_fonts; // one reference each
    std::vector<std::optional<GlyphExtent>> m_extents;
    std::map<std::pair<fz_font*, int>, fz_rect> m_glyphSpace; // ink in glyph space
};

} // namespace inkveil::platform
