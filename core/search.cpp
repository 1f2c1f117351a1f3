#include "core/engine.h"
#include "core/text_matcher.h"
#include "platform/pdf_document.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <unordered_set>

namespace inkveil::InkveilEngine {

namespace {

// Around found text, in page units.
constexpr double kMarginX = 2.0;
constexpr double kMarginY = 1.0;

struct Glyph {
    int page = 0;
    Rect box;
    bool blank = false;
};

bool isUsable(const Rect& r)
{
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

// The document's characters in reading order, numbered from 0, of which only
// those a match can still reach are kept.
class GlyphWindow {
public:
    void push(int page, const platform::TextChar& c)
    {
        m_glyphs.push_back(Glyph{page, c.box, TextMatcher::isBlank(c.c)});
    }
    std::int64_t nextIndex() const { return m_first + static_cast<std::int64_t>(m_glyphs.size()); }
    const Glyph& at(std::int64_t index) const { return m_glyphs[static_cast<std::size_t>(index - m_first)]; }
    void dropBefore(std::int64_t index)
    {
        while (!m_glyphs.empty() && m_first < index) {
            m_glyphs.pop_front();
            ++m_first;
        }
    }

private:
    std::deque<Glyph> m_glyphs;
    std::int64_t m_first = 0;
};

// One region per page that the match touches: the box around its characters
// there, with a margin, clipped to the page.
void addRegions(const TextMatcher::Match& match, const GlyphWindow& glyphs, const std::vector<Rect>& mediaBoxes,
                std::unordered_set<RedactionRegion>& regions)
{
    std::int64_t i = match.first;
    while (i <= match.last) {
        const int page = glyphs.at(i).page;
        std::optional<Rect> bounds;
        for (; i <= match.last && glyphs.at(i).page == page; ++i) {
            const Glyph& g = glyphs.at(i);
            if (!g.blank && isUsable(g.box))
                bounds = bounds ? bounds->united(g.box) : g.box.standardized();
        }
        if (!bounds)
            continue;
        const Rect& mediaBox = mediaBoxes[static_cast<std::size_t>(page)];
        const auto clipped = bounds->insetBy(-kMarginX, -kMarginY).intersected(mediaBox.standardized());
        if (!clipped)
            continue;
        if (const auto normalized = normalize(*clipped, mediaBox))
            regions.insert(RedactionRegion(page, *normalized));
    }
}

} // namespace

std::vector<RedactionRegion> searchRegions(platform::Document& document, const QStringList& terms)
{
    bool everyPageRead = true;
    return searchRegions(document, terms, everyPageRead);
}

std::vector<RedactionRegion> searchRegions(platform::Document& document, const QStringList& terms, bool& everyPageRead)
{
    QStringList phrases;
    for (const QString& term : terms) {
        const QString cleaned = term.trimmed();
        if (!cleaned.isEmpty())
            phrases.append(cleaned);
    }
    if (phrases.isEmpty())
        return {};
    TextMatcher matcher(phrases);
    if (!matcher.hasPhrases())
        return {};

    // One pass over the document for all phrases; a page end is white space,
    // so an occurrence may run on across it.
    const int pageCount = std::max(document.pageCount(), 0);
    std::vector<Rect> mediaBoxes(static_cast<std::size_t>(pageCount));
    GlyphWindow glyphs;
    std::unordered_set<RedactionRegion> regions;
    const auto settle = [&](bool atEnd) {
        for (const TextMatcher::Match& match : matcher.takeMatches(atEnd))
            addRegions(match, glyphs, mediaBoxes, regions);
        glyphs.dropBefore(matcher.firstNeededIndex());
    };
    for (int index = 0; index < pageCount; ++index) {
        if (auto page = document.page(index)) {
            mediaBoxes[static_cast<std::size_t>(index)] = page->mediaBox();
            std::vector<platform::TextLine> lines;
            bool complete = true;
            try {
                lines = page->textLines(&complete);
            } catch (const platform::PdfError&) {
                // Text that cannot be read cannot be found either.
                complete = false;
            }
            everyPageRead = everyPageRead && complete;
            for (const platform::TextLine& line : lines) {
                for (const platform::TextChar& c : line.chars) {
                    matcher.append(c.c, glyphs.nextIndex());
                    glyphs.push(index, c);
                }
                matcher.appendBreak();
            }
        }
        matcher.appendBreak();
        settle(false);
    }
    settle(true);

    std::vector<RedactionRegion> sorted(regions.begin(), regions.end());
    // Top of the page first; the rest only makes equal-height ties repeatable.
    std::sort(sorted.begin(), sorted.end(), [](const RedactionRegion& a, const RedactionRegion& b) {
        if (a.pageIndex() != b.pageIndex())
            return a.pageIndex() < b.pageIndex();
        const Rect& ra = a.normalizedRect();
        const Rect& rb = b.normalizedRect();
        if (ra.minY() != rb.minY())
            return ra.minY() > rb.minY();
        if (ra.minX() != rb.minX())
            return ra.minX() < rb.minX();
        if (ra.maxY() != rb.maxY())
            return ra.maxY() > rb.maxY();
        return ra.maxX() < rb.maxX();
    });
    return sorted;
}

} // namespace inkveil::InkveilEngine
