#include "core/engine.h"
#include "core/pattern_matcher.h"
#include "core/text_matcher.h"
#include "platform/page_glyphs.h"
#include "platform/pdf_document.h"

#include <QChar>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <numbers>
#include <set>
#include <unordered_set>
#include <utility>

namespace inkveil::InkveilEngine {

namespace {

// Around found text, in page units.
constexpr double kMarginX = 2.0;
constexpr double kMarginY = 1.0;

// One place in a reading of the page: the characters it contributes and the
// glyphs that draw them (several when a glyph is drawn twice to look bold, or
// for every character of an /ActualText span).
struct Entry {
    // Document-wide glyph numbers; nearly always one, which needs no
    // allocation of its own.
    class Glyphs {
    public:
        explicit Glyphs(std::int64_t first) : m_first(first) {}
        explicit Glyphs(const std::vector<std::int64_t>& all) : m_first(all.empty() ? -1 : all.front())
        {
            if (all.size() > 1)
                m_more.assign(all.begin() + 1, all.end());
        }
        void push_back(std::int64_t glyph)
        {
            if (m_first < 0)
                m_first = glyph;
            else
                m_more.push_back(glyph);
        }
        void append(const Glyphs& other) { other.forEach([&](std::int64_t glyph) { push_back(glyph); }); }
        template <typename F>
        void forEach(F&& f) const
        {
            if (m_first >= 0)
                f(m_first);
            for (const std::int64_t glyph : m_more)
                f(glyph);
        }

    private:
        std::int64_t m_first;
        std::vector<std::int64_t> m_more;
    };

    int page = 0;
    std::u32string chars; // short strings need no allocation either
    Glyphs glyphs;
    bool afterBreak = false; // the first of a line or other piece
};

// The ways a page is read, in the order their matches are counted: where the
// glyphs stand first, as it is closest to what a reader sees.
enum Reading { kLines, kDrawing, kActualText, kRightToLeft, kReadings };

bool isRightToLeft(char32_t c)
{
    const QChar::Direction d = QChar::direction(c);
    return d == QChar::DirR || d == QChar::DirAL;
}

// One reading of the document, fed to its own matchers page by page. Only the
// entries that a match can still reach are kept.
class Stream {
public:
    // patterns, when given, must outlive the stream. With piecesApart, the
    // patterns are also looked for in each piece on its own: read as one
    // text, a list of numbers one to a line runs together, and a candidate
    // that spans two of them can hide both.
    Stream(const QStringList& phrases, const PatternSet* patterns, bool piecesApart = false) : m_matcher(phrases)
    {
        if (patterns && !patterns->isEmpty()) {
            m_patterns.emplace(*patterns);
            if (piecesApart)
                m_piecePatterns.emplace(*patterns);
        }
    }

    void add(Entry entry)
    {
        entry.afterBreak = std::exchange(m_atBreak, false);
        const std::int64_t index = m_first + static_cast<std::int64_t>(m_entries.size());
        for (const char32_t c : entry.chars) {
            m_matcher.append(c, index);
            if (m_patterns)
                m_patterns->append(c, index);
            if (m_piecePatterns)
                m_piecePatterns->append(c, index);
        }
        m_entries.push_back(std::move(entry));
    }
    void endPiece()
    {
        m_atBreak = true;
        m_matcher.appendBreak();
        if (m_patterns)
            m_patterns->appendBreak();
        if (m_piecePatterns) {
            for (const PatternMatcher::Match& match : m_piecePatterns->takeMatches(true))
                m_pieceMatches.push_back(match);
        }
    }

    // Matches of phrase i are numbered i; those of pattern j come after the
    // phrases, as phraseCount + j.
    std::vector<TextMatcher::Match> settle(bool atEnd, int phraseCount)
    {
        std::vector<TextMatcher::Match> found = m_matcher.takeMatches(atEnd);
        if (m_patterns) {
            for (const PatternMatcher::Match& match : m_patterns->takeMatches(atEnd))
                found.push_back(TextMatcher::Match{match.first, match.last, phraseCount + match.pattern});
        }
        for (const PatternMatcher::Match& match : m_pieceMatches)
            found.push_back(TextMatcher::Match{match.first, match.last, phraseCount + match.pattern});
        m_pieceMatches.clear();
        return found;
    }
    // Forgets what no match can reach any more; call after the matches have
    // been read.
    void dropUnneeded()
    {
        std::int64_t needed = m_matcher.firstNeededIndex();
        if (m_patterns)
            needed = std::min(needed, m_patterns->firstNeededIndex());
        if (m_piecePatterns)
            needed = std::min(needed, m_piecePatterns->firstNeededIndex());
        while (!m_entries.empty() && m_first < needed) {
            m_entries.pop_front();
            ++m_first;
        }
    }
    const Entry& at(std::int64_t index) const { return m_entries[static_cast<std::size_t>(index - m_first)]; }
    // The earliest page still held, or INT_MAX.
    int firstPage() const { return m_entries.empty() ? std::numeric_limits<int>::max() : m_entries.front().page; }

private:
    TextMatcher m_matcher;
    std::optional<PatternMatcher> m_patterns;
    std::optional<PatternMatcher> m_piecePatterns;
    std::vector<PatternMatcher::Match> m_pieceMatches; // found in pieces, not yet settled
    bool m_atBreak = false;
    std::deque<Entry> m_entries;
    std::int64_t m_first = 0;
};

struct HeldPage {
    int index = 0;
    std::int64_t firstGlyph = 0;
    Rect mediaBox;
    platform::PageGlyphs glyphs;
};

bool isUsable(const Rect& r)
{
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

// Whether two boxes are parts of one line piece: side by side on a shared
// line (or, for vertical writing, one above the other in a shared column),
// at most about an em apart.
bool sameLinePiece(const Rect& a, const Rect& b)
{
    const double overlapY = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    const double overlapX = std::min(a.maxX(), b.maxX()) - std::max(a.minX(), b.minX());
    const double minHeight = std::min(a.height, b.height);
    const double minWidth = std::min(a.width, b.width);
    const double em = std::max({a.height, b.height, a.width, b.width});
    if (overlapY >= 0.5 * minHeight && overlapY > 0 && -overlapX <= em)
        return true;
    return overlapX >= 0.5 * minWidth && overlapX > 0 && -overlapY <= em;
}

// Boxes of one occurrence on one page -> one rectangle per line piece.
std::vector<Rect> linePieces(const std::vector<Rect>& boxes)
{
    std::vector<Rect> pieces;
    for (const Rect& box : boxes) {
        if (!pieces.empty() && sameLinePiece(pieces.back(), box))
            pieces.back() = pieces.back().united(box);
        else
            pieces.push_back(box);
    }
    // Pieces that came apart in reading order but stand together. Beyond a
    // few hundred pieces the occurrence is scattered on purpose: one box
    // around it all keeps this from going quadratic.
    if (pieces.size() > 256) {
        Rect all = pieces.front();
        for (const Rect& piece : pieces)
            all = all.united(piece);
        return {all};
    }
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < pieces.size() && !merged; ++i) {
            for (std::size_t j = i + 1; j < pieces.size() && !merged; ++j) {
                if (sameLinePiece(pieces[i], pieces[j]) || pieces[i].intersected(pieces[j]).has_value()) {
                    pieces[i] = pieces[i].united(pieces[j]);
                    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                }
            }
        }
    }
    return pieces;
}

bool contains(const Rect& outer, const Rect& inner)
{
    return outer.minX() <= inner.minX() && outer.minY() <= inner.minY() && outer.maxX() >= inner.maxX()
        && outer.maxY() >= inner.maxY();
}

// Matches of one phrase that share a glyph are one occurrence: the same
// words found in several readings, or a word drawn twice to look bold.
class Occurrences {
public:
    // Returns the occurrence the glyphs belong to.
    int add(const std::vector<std::int64_t>& glyphs, int page, PhraseOccurrences& counts)
    {
        int joined = -1;
        for (const std::int64_t glyph : glyphs) {
            const auto known = m_owner.find(glyph);
            if (known == m_owner.end())
                continue;
            const int other = root(known->second);
            if (joined < 0) {
                joined = other;
            } else if (other != joined) {
                // Two occurrences counted apart turn out to be one.
                m_parent[static_cast<std::size_t>(other)] = joined;
                auto& into = m_regions[static_cast<std::size_t>(joined)];
                auto& from = m_regions[static_cast<std::size_t>(other)];
                into.insert(into.end(), from.begin(), from.end());
                from = {};
                --counts.count;
                if (--counts.pages[m_page[static_cast<std::size_t>(other)]] == 0)
                    counts.pages.erase(m_page[static_cast<std::size_t>(other)]);
            }
        }
        if (joined < 0) {
            joined = static_cast<int>(m_parent.size());
            m_parent.push_back(joined);
            m_page.push_back(page);
            m_regions.emplace_back();
            ++counts.count;
            ++counts.pages[page];
        }
        for (const std::int64_t glyph : glyphs)
            m_owner[glyph] = joined;
        return joined;
    }

    // A region of the occurrence; of two regions one of which holds the
    // other (a word and its bold copy read together), the larger stays.
    // Returns whether the region was kept.
    bool addRegion(int occurrence, const RedactionRegion& region)
    {
        auto& regions = m_regions[static_cast<std::size_t>(root(occurrence))];
        const auto holds = [](const RedactionRegion& outer, const RedactionRegion& inner) {
            return outer.pageIndex() == inner.pageIndex() && contains(outer.normalizedRect(), inner.normalizedRect());
        };
        if (std::any_of(regions.begin(), regions.end(), [&](const RedactionRegion& r) { return holds(r, region); }))
            return false;
        regions.erase(std::remove_if(regions.begin(), regions.end(), [&](const RedactionRegion& r) { return holds(region, r); }),
                      regions.end());
        regions.push_back(region);
        return true;
    }

    template <typename F>
    void forEachRegion(F&& f) const
    {
        for (const auto& regions : m_regions) {
            for (const RedactionRegion& region : regions)
                f(region);
        }
    }

    // Glyphs before `first` can be in no match still to come.
    void forgetBefore(std::int64_t first) { m_owner.erase(m_owner.begin(), m_owner.lower_bound(first)); }

private:
    int root(int i)
    {
        while (m_parent[static_cast<std::size_t>(i)] != i)
            i = m_parent[static_cast<std::size_t>(i)] = m_parent[static_cast<std::size_t>(m_parent[static_cast<std::size_t>(i)])];
        return i;
    }

    std::map<std::int64_t, int> m_owner; // glyph -> occurrence
    std::vector<int> m_parent;
    std::vector<int> m_page;
    std::vector<std::vector<RedactionRegion>> m_regions; // of each occurrence still apart
};

class Searcher {
public:
    Searcher(const QStringList& phrases, const PatternSet& patterns)
        : m_phrases(phrases), m_patterns(patterns),
          m_occurrences(static_cast<std::size_t>(phrases.size() + patterns.size()))
    {
        // Read backwards, a line's digits would make numbers that are not there.
        for (int r = 0; r < kReadings; ++r)
            m_streams.emplace_back(phrases, r == kRightToLeft ? nullptr : &patterns, r == kLines);
        m_report.phrases.resize(static_cast<std::size_t>(phrases.size()));
        for (qsizetype i = 0; i < phrases.size(); ++i)
            m_report.phrases[static_cast<std::size_t>(i)].phrase = phrases[i];
        for (int i = 0; i < patterns.size(); ++i)
            m_report.patterns.push_back(PhraseOccurrences{patterns.label(i), 0, {}});
    }

    void addPage(int index, const Rect& mediaBox, platform::PageGlyphs glyphs)
    {
        const std::int64_t first = m_nextGlyph;
        m_nextGlyph += static_cast<std::int64_t>(glyphs.glyphs().size());
        m_pages.push_back(HeldPage{index, first, mediaBox, std::move(glyphs)});
        const HeldPage& page = m_pages.back();
        readInDrawingOrder(page);
        readByLines(page);
        readActualText(page);
        for (Stream& stream : m_streams)
            stream.endPiece();
        settle(false);
    }

    SearchReport finish()
    {
        settle(true);
        std::vector<RedactionRegion> sorted;
        for (const Occurrences& occurrences : m_occurrences)
            occurrences.forEachRegion([&](const RedactionRegion& region) { sorted.push_back(region); });
        sortTopDown(sorted);
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        m_report.regions = std::move(sorted);
        return std::move(m_report);
    }

    void pageNotRead(int index)
    {
        m_report.everyPageRead = false;
        m_report.unreadPages.push_back(index);
    }

private:
    void readInDrawingOrder(const HeldPage& page)
    {
        Stream& stream = m_streams[kDrawing];
        const auto& glyphs = page.glyphs.glyphs();
        std::optional<Entry> pending;
        std::size_t previous = 0;
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            const platform::DrawnGlyph& g = glyphs[i];
            if (g.continuation && pending) {
                if (g.c)
                    pending->chars += g.c;
                pending->glyphs.push_back(page.firstGlyph + static_cast<std::int64_t>(i));
                continue;
            }
            if (pending) {
                stream.add(std::move(*pending));
                if (!m_patterns.isEmpty() && apart(page, previous, i))
                    stream.add(space(page.index));
            }
            previous = i;
            pending = Entry{page.index, g.c ? std::u32string(1, g.c) : std::u32string(),
                            Entry::Glyphs(page.firstGlyph + static_cast<std::int64_t>(i))};
        }
        if (pending)
            stream.add(std::move(*pending));
    }

    // Lines rebuilt from where the glyphs stand: glyphs that share a
    // direction and a baseline, sorted along it, a glyph drawn again at
    // nearly the same place folded into the first. Lines that hold
    // right-to-left letters are also read from their right end, for text
    // stored in visual order.
    void readByLines(const HeldPage& page)
    {
        const auto& glyphs = page.glyphs.glyphs();
        struct Unit {
            std::size_t glyph; // first glyph; its continuations follow it
            std::size_t count;
            int direction;
            double across; // distance from the baseline through the origin
            double along;
        };
        std::vector<Unit> units;
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            const platform::DrawnGlyph& g = glyphs[i];
            if (g.continuation && !units.empty()) {
                ++units.back().count;
                continue;
            }
            const double angle = std::atan2(g.dirY, g.dirX) * 180.0 / std::numbers::pi;
            units.push_back(Unit{i, 1, static_cast<int>(std::lround(angle / 2.0)), g.dirX * g.y - g.dirY * g.x,
                                 g.dirX * g.x + g.dirY * g.y});
        }
        // Ties keep drawing order, so that a glyph's copies stay in turn.
        std::sort(units.begin(), units.end(), [](const Unit& a, const Unit& b) {
            if (a.direction != b.direction)
                return a.direction < b.direction;
            if (a.across != b.across)
                return a.across > b.across;
            return a.glyph < b.glyph;
        });

        Stream& lines = m_streams[kLines];
        Stream& reversed = m_streams[kRightToLeft];
        std::size_t begin = 0;
        while (begin < units.size()) {
            // One line: same direction, baselines within a third of an em.
            const Unit& head = units[begin];
            double size = glyphs[head.glyph].size;
            std::size_t end = begin + 1;
            while (end < units.size() && units[end].direction == head.direction
                   && std::fabs(units[end].across - head.across)
                          <= 0.35 * std::max(size, glyphs[units[end].glyph].size)) {
                size = std::max(size, glyphs[units[end].glyph].size);
                ++end;
            }
            std::sort(units.begin() + static_cast<std::ptrdiff_t>(begin), units.begin() + static_cast<std::ptrdiff_t>(end),
                      [](const Unit& a, const Unit& b) { return a.along != b.along ? a.along < b.along : a.glyph < b.glyph; });

            double spacing = 0;
            if (!m_patterns.isEmpty()) {
                std::vector<std::size_t> order;
                order.reserve(end - begin);
                for (std::size_t u = begin; u < end; ++u)
                    order.push_back(units[u].glyph);
                spacing = tracking(page, order);
            }

            std::vector<Entry> line;
            line.reserve(end - begin);
            const Unit* previous = nullptr;
            bool rightToLeft = false;
            for (std::size_t u = begin; u < end; ++u) {
                const Unit& unit = units[u];
                const platform::DrawnGlyph& g = glyphs[unit.glyph];
                std::u32string chars;
                Entry::Glyphs ids(-1);
                for (std::size_t k = 0; k < unit.count; ++k) {
                    const platform::DrawnGlyph& part = glyphs[unit.glyph + k];
                    if (part.c)
                        chars += part.c;
                    ids.push_back(page.firstGlyph + static_cast<std::int64_t>(unit.glyph + k));
                }
                if (previous && !line.empty() && line.back().chars == chars) {
                    const double slack = 0.25 * std::max(g.size, glyphs[previous->glyph].size);
                    if (std::fabs(unit.along - previous->along) <= slack
                        && std::fabs(unit.across - previous->across) <= slack) {
                        line.back().glyphs.append(ids);
                        continue; // drawn twice: read once
                    }
                }
                for (const char32_t c : chars)
                    rightToLeft = rightToLeft || isRightToLeft(c);
                if (previous && !m_patterns.isEmpty() && apart(page, previous->glyph, unit.glyph, spacing))
                    line.push_back(space(page.index));
                line.push_back(Entry{page.index, std::move(chars), std::move(ids)});
                previous = &unit;
            }
            if (rightToLeft) {
                for (auto it = line.rbegin(); it != line.rend(); ++it)
                    reversed.add(*it);
                reversed.endPiece();
            }
            for (Entry& entry : line)
                lines.add(std::move(entry));
            lines.endPiece();
            begin = end;
        }
    }

    // How far glyph b stands from where glyph a's advance ends, along a's
    // baseline and across it, in ems of the larger of the two.
    static std::pair<double, double> gap(const HeldPage& page, std::size_t a, std::size_t b)
    {
        const platform::DrawnGlyph& ga = page.glyphs.glyphs()[a];
        const platform::DrawnGlyph& gb = page.glyphs.glyphs()[b];
        // Without metrics, half an em: about a digit's width.
        const double measured = page.glyphs.advanceWidth(a);
        const double advance = measured > 0 ? measured : 0.5 * ga.size;
        const double dx = gb.x - (ga.x + ga.dirX * advance);
        const double dy = gb.y - (ga.y + ga.dirY * advance);
        const double em = std::max({ga.size, gb.size, 1e-6});
        return {(dx * ga.dirX + dy * ga.dirY) / em, (dy * ga.dirX - dx * ga.dirY) / em};
    }

    // Whether glyph b does not follow on from glyph a on its line: a word
    // space or more between them beyond the line's tracking, or another line.
    // Patterns need word boundaries that pages seldom draw as space glyphs.
    static bool apart(const HeldPage& page, std::size_t a, std::size_t b, double tracking = 0)
    {
        const auto [along, across] = gap(page, a, b);
        return along > 0.15 + tracking || along < -0.5 || std::fabs(across) > 0.5;
    }

    // The space a letter-spaced line (character spacing, glyphs placed one by
    // one, comb fields) puts between every two letters, in ems: the median
    // gap between neighbours that are not spaces. Taken off before word
    // breaks are judged, so that "4 1 1 1" drawn apart still reads as 4111.
    static double tracking(const HeldPage& page, const std::vector<std::size_t>& order)
    {
        const auto& glyphs = page.glyphs.glyphs();
        std::vector<double> gaps;
        for (std::size_t i = 1; i < order.size(); ++i) {
            const char32_t a = glyphs[order[i - 1]].c;
            const char32_t b = glyphs[order[i]].c;
            if (!a || !b || QChar::isSpace(a) || QChar::isSpace(b))
                continue;
            const auto [along, across] = gap(page, order[i - 1], order[i]);
            if (std::fabs(across) <= 0.5 && along > -0.5 && along < 1.5)
                gaps.push_back(along);
        }
        if (gaps.size() < 3)
            return 0;
        auto middle = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
        std::nth_element(gaps.begin(), middle, gaps.end());
        return *middle > 0.1 ? *middle : 0;
    }
    static Entry space(int page) { return Entry{page, std::u32string(1, U' '), Entry::Glyphs(-1)}; }

    // Drawing order, with the glyphs of each /ActualText span read as the
    // span's text.
    void readActualText(const HeldPage& page)
    {
        const auto& texts = page.glyphs.actualTexts();
        if (texts.empty())
            return;
        const auto& glyphs = page.glyphs.glyphs();
        std::vector<std::vector<std::int64_t>> spanIds(texts.size());
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            if (glyphs[i].actualText >= 0)
                spanIds[static_cast<std::size_t>(glyphs[i].actualText)].push_back(page.firstGlyph + static_cast<std::int64_t>(i));
        }
        Stream& stream = m_streams[kActualText];
        int current = -1;
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            const platform::DrawnGlyph& g = glyphs[i];
            if (g.actualText < 0) {
                current = -1;
                stream.add(Entry{page.index, g.c ? std::u32string(1, g.c) : std::u32string(),
                                 Entry::Glyphs(page.firstGlyph + static_cast<std::int64_t>(i))});
                continue;
            }
            if (g.actualText == current)
                continue;
            current = g.actualText;
            const auto span = static_cast<std::size_t>(current);
            const Entry::Glyphs spanGlyphs(spanIds[span]);
            for (const char32_t c : texts[span].toUcs4())
                stream.add(Entry{page.index, std::u32string(1, c), spanGlyphs});
        }
    }

    void settle(bool atEnd)
    {
        struct Found {
            int reading;
            TextMatcher::Match match;
        };
        std::vector<Found> found;
        for (int r = 0; r < kReadings; ++r) {
            for (const TextMatcher::Match& match : m_streams[static_cast<std::size_t>(r)].settle(atEnd, static_cast<int>(m_phrases.size())))
                found.push_back(Found{r, match});
        }
        for (const Found& f : found)
            record(m_streams[static_cast<std::size_t>(f.reading)], f.match);

        int keepFrom = std::numeric_limits<int>::max();
        for (Stream& stream : m_streams) {
            stream.dropUnneeded();
            keepFrom = std::min(keepFrom, stream.firstPage());
        }
        while (m_pages.size() > 1 && m_pages.front().index < keepFrom)
            m_pages.pop_front();
        if (atEnd)
            m_pages.clear();
        // No match to come can reach glyphs of pages let go.
        const std::int64_t firstHeld = m_pages.empty() ? m_nextGlyph : m_pages.front().firstGlyph;
        for (Occurrences& occurrences : m_occurrences)
            occurrences.forgetBefore(firstHeld);
    }

    HeldPage* heldPage(int index)
    {
        for (HeldPage& page : m_pages) {
            if (page.index == index)
                return &page;
        }
        return nullptr;
    }

    void record(const Stream& stream, const TextMatcher::Match& match)
    {
        const auto phrase = static_cast<std::size_t>(match.phrase);
        std::vector<std::int64_t> ids;
        QString text;
        for (std::int64_t i = match.first; i <= match.last; ++i) {
            const Entry& entry = stream.at(i);
            entry.glyphs.forEach([&](std::int64_t id) { ids.push_back(id); });
            if (entry.afterBreak && i > match.first && !text.endsWith(u' '))
                text += u' ';
            text += QString::fromUcs4(entry.chars.data(), static_cast<qsizetype>(entry.chars.size()));
        }
        if (ids.empty())
            return;

        const auto phraseCount = static_cast<std::size_t>(m_phrases.size());
        const bool isPhrase = phrase < phraseCount;
        Occurrences& occurrences = m_occurrences[phrase];
        const int occurrence = occurrences.add(ids, stream.at(match.first).page,
                                               isPhrase ? m_report.phrases[phrase] : m_report.patterns[phrase - phraseCount]);

        // One region per line piece on each page the occurrence touches.
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        std::size_t i = 0;
        while (i < ids.size()) {
            HeldPage* page = nullptr;
            for (HeldPage& held : m_pages) {
                if (ids[i] >= held.firstGlyph
                    && ids[i] < held.firstGlyph + static_cast<std::int64_t>(held.glyphs.glyphs().size()))
                    page = &held;
            }
            if (!page) {
                ++i;
                continue;
            }
            const std::int64_t pageEnd = page->firstGlyph + static_cast<std::int64_t>(page->glyphs.glyphs().size());
            std::vector<Rect> boxes;
            // In reading order, so that neighbours meet first.
            std::vector<std::int64_t> ordered;
            for (std::int64_t k = match.first; k <= match.last; ++k) {
                stream.at(k).glyphs.forEach([&](std::int64_t id) {
                    if (id >= page->firstGlyph && id < pageEnd)
                        ordered.push_back(id);
                });
            }
            for (const std::int64_t id : ordered) {
                const auto local = static_cast<std::size_t>(id - page->firstGlyph);
                if (TextMatcher::isBlank(page->glyphs.glyphs()[local].c))
                    continue;
                const platform::GlyphExtent& extent = page->glyphs.extent(local);
                if (isUsable(extent.advance))
                    boxes.push_back(extent.advance.standardized());
                if (extent.ink && isUsable(*extent.ink))
                    boxes.push_back(extent.ink->standardized());
            }
            for (const Rect& piece : linePieces(boxes)) {
                const Rect& mediaBox = page->mediaBox;
                const auto clipped = piece.insetBy(-kMarginX, -kMarginY).intersected(mediaBox.standardized());
                if (!clipped)
                    continue;
                if (const auto normalized = normalize(*clipped, mediaBox)) {
                    const RedactionRegion region(page->index, *normalized);
                    if (occurrences.addRegion(occurrence, region)) {
                        if (m_report.matchedText.try_emplace(region, text).second)
                            m_report.matchedKind.try_emplace(
                                region, isPhrase ? kPhraseKind : m_patterns.kind(static_cast<int>(phrase - phraseCount)));
                    }
                }
            }
            while (i < ids.size() && ids[i] < pageEnd)
                ++i;
        }
    }

    QStringList m_phrases;
    const PatternSet& m_patterns;
    std::vector<Stream> m_streams;
    std::deque<HeldPage> m_pages;
    std::int64_t m_nextGlyph = 0;
    std::vector<Occurrences> m_occurrences; // per phrase
    SearchReport m_report;
};

QStringList cleaned(const QStringList& terms)
{
    QStringList phrases;
    for (const QString& term : terms) {
        const QString phrase = term.trimmed();
        if (!phrase.isEmpty() && !phrases.contains(phrase))
            phrases.append(phrase);
    }
    return phrases;
}

} // namespace

SearchReport search(platform::Document& document, const QStringList& terms, const PatternSet& patterns)
{
    const QStringList phrases = cleaned(terms);
    if ((phrases.isEmpty() || !TextMatcher(phrases).hasPhrases()) && patterns.isEmpty()) {
        SearchReport report;
        for (const QString& phrase : phrases)
            report.phrases.push_back(PhraseOccurrences{phrase, 0, {}});
        return report;
    }

    // One pass over the document for all phrases and patterns; an
    // occurrence may run on across a page end.
    Searcher searcher(phrases, patterns);
    const int pageCount = std::max(document.pageCount(), 0);
    for (int index = 0; index < pageCount; ++index) {
        auto page = document.page(index);
        if (!page)
            continue;
        bool complete = true;
        try {
            searcher.addPage(index, page->mediaBox(), page->drawnGlyphs(&complete));
        } catch (const platform::PdfError&) {
            // Text that cannot be read cannot be found either.
            complete = false;
        } catch (const std::bad_alloc&) {
            complete = false;
        }
        if (!complete)
            searcher.pageNotRead(index);
    }
    return searcher.finish();
}

void sortTopDown(std::vector<RedactionRegion>& regions)
{
    std::sort(regions.begin(), regions.end(), [](const RedactionRegion& a, const RedactionRegion& b) {
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
}

std::vector<RedactionRegion> searchRegions(platform::Document& document, const QStringList& terms)
{
    return search(document, terms).regions;
}

std::vector<RedactionRegion> searchRegions(platform::Document& document, const QStringList& terms, bool& everyPageRead)
{
    SearchReport report = search(document, terms);
    everyPageRead = everyPageRead && report.everyPageRead;
    return std::move(report.regions);
}

} // namespace inkveil::InkveilEngine
