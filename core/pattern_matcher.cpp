#include "core/pattern_matcher.h"

#include <QChar>

#include <algorithm>
#include <limits>

namespace inkveil {

namespace {

// Built-in instances are far shorter than this: a match ending within it of
// the text held waits for more text before it is settled.
constexpr qsizetype kHold = 512;
// Lookbehind and word boundaries see this much of the text already settled.
constexpr qsizetype kContext = 64;
// A match that started this long before the end of the held text is settled
// as it stands, so that an expression matching everything holds no more.
constexpr qsizetype kLongest = 8192;

} // namespace

PatternMatcher::PatternMatcher(const PatternSet& set)
    : m_set(&set), m_resume(static_cast<std::size_t>(set.ruleCount()), 0)
{
}

void PatternMatcher::push(QChar unit, std::int64_t index)
{
    if (unit == u' ' && (m_text.isEmpty() || m_text.back() == u' '))
        return;
    m_text += unit;
    m_indices.push_back(index);
}

void PatternMatcher::append(char32_t c, std::int64_t index)
{
    m_nextIndex = index + 1;
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (QChar::isSpace(c) || c == 0) {
        push(u' ', index);
        return;
    }
    if (c < 0x80) {
        push(QChar(static_cast<char16_t>(c)), index);
        return;
    }
    auto folded = m_folded.find(c);
    if (folded == m_folded.end()) {
        QString units;
        PatternSet::foldInto(units, c);
        folded = m_folded.emplace(c, units).first;
    }
    for (const QChar unit : folded->second)
        push(QChar::isSpace(unit.unicode()) ? QChar(u' ') : unit, index);
}

void PatternMatcher::appendBreak()
{
    if (!m_indices.empty())
        push(u' ', m_indices.back());
}

std::vector<PatternMatcher::Match> PatternMatcher::takeMatches(bool atEnd)
{
    std::vector<Match> found;
    const qsizetype size = m_text.size();
    const qsizetype settled = atEnd ? size : std::max<qsizetype>(size - kHold, 0);
    QElapsedTimer clock;
    clock.start();

    // The last match of each pattern, to join touching ones where the
    // pattern asks for it.
    std::vector<std::ptrdiff_t> lastOf(static_cast<std::size_t>(m_set->size()), -1);
    std::vector<qsizetype> lastEnd(static_cast<std::size_t>(m_set->size()), -1);
    const auto report = [&](int pattern, qsizetype start, qsizetype end) {
        const auto p = static_cast<std::size_t>(pattern);
        const bool joins = m_set->joinsTouching(pattern) && lastOf[p] >= 0 && lastEnd[p] >= start;
        lastEnd[p] = std::max(lastEnd[p], end);
        while (start < end && m_text[start] == u' ')
            ++start;
        while (end > start && m_text[end - 1] == u' ')
            --end;
        if (start >= end)
            return;
        if (joins)
            found[static_cast<std::size_t>(lastOf[p])].last = m_indices[static_cast<std::size_t>(end - 1)];
        else {
            lastOf[p] = static_cast<std::ptrdiff_t>(found.size());
            found.push_back(Match{m_indices[static_cast<std::size_t>(start)], m_indices[static_cast<std::size_t>(end - 1)], pattern});
        }
    };

    for (int rule = 0; rule < m_set->ruleCount(); ++rule) {
        qsizetype& resume = m_resume[static_cast<std::size_t>(rule)];
        qsizetype from = std::max<qsizetype>(resume - m_base, 0);
        qsizetype next = std::max(from, settled);
        while (from <= size) {
            if (clock.elapsed() > kBudgetMs)
                throw PatternError(QStringLiteral("The expression \u201C%1\u201D takes too long to match. "
                                                  "Make it more specific.")
                                       .arg(m_set->label(m_set->patternOf(rule))));
            const auto candidate = m_set->next(rule, m_text, from);
            if (!candidate || candidate->span.first >= settled) {
                next = candidate ? std::min(candidate->span.first, std::max(from, settled)) : std::max(from, settled);
                break;
            }
            const auto [start, end] = candidate->span;
            // It may go on in text still to come.
            if (!atEnd && end > settled && start > size - kLongest) {
                next = start;
                break;
            }
            for (const auto& [s, e] : candidate->accepted)
                report(m_set->patternOf(rule), s, e);
            from = end > start ? end : start + 1;
            if (from < size && m_text[from].isLowSurrogate())
                ++from;
            next = from;
        }
        resume = m_base + next;
    }

    // Two rules of a pattern may find one instance twice, in whole and in
    // part ("+1 (555) 123-4567" and "(555) 123-4567"): the whole stays.
    std::sort(found.begin(), found.end(), [](const Match& a, const Match& b) {
        return a.pattern != b.pattern ? a.pattern < b.pattern : a.first != b.first ? a.first < b.first : a.last > b.last;
    });
    std::vector<Match> kept;
    for (const Match& match : found) {
        if (kept.empty() || kept.back().pattern != match.pattern || match.last > kept.back().last)
            kept.push_back(match);
    }

    // Forget what every rule has passed, but a little context.
    qsizetype keep = size;
    for (const qsizetype resume : m_resume)
        keep = std::min(keep, resume - m_base);
    keep = std::clamp<qsizetype>(keep - kContext, 0, size);
    if (atEnd)
        keep = size;
    if (keep < size && m_text[keep].isLowSurrogate())
        --keep;
    if (keep > 0) {
        m_text.remove(0, keep);
        m_indices.erase(m_indices.begin(), m_indices.begin() + keep);
        m_base += keep;
    }
    return kept;
}

std::int64_t PatternMatcher::firstNeededIndex() const
{
    return m_indices.empty() ? m_nextIndex : m_indices.front();
}

} // namespace inkveil
