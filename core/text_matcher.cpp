#include "core/text_matcher.h"

#include <QChar>
#include <QList>
#include <QString>

#include <algorithm>
#include <limits>
#include <utility>

namespace inkveil {

namespace {

constexpr char32_t kSpace = U' ';
// A boundary test looks back this many units.
constexpr std::int64_t kLookBehind = 3;

bool isMark(char32_t unit)
{
    if (QChar::combiningClass(unit) != 0)
        return true;
    switch (QChar::category(unit)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

QString fromUnits(const char32_t* units, std::int64_t count)
{
    return QString::fromUcs4(units, static_cast<qsizetype>(count));
}

} // namespace

TextMatcher::TextMatcher(const QStringList& phrases)
{
    for (const QString& phrase : phrases) {
        std::u32string units;
        for (const char32_t c : phrase.toUcs4()) {
            for (const char32_t unit : fold(c))
                push(units, nullptr, unit, 0);
        }
        if (units.find_first_not_of(kSpace) == std::u32string::npos)
            continue;
        const bool repeated = std::any_of(m_phrases.begin(), m_phrases.end(),
                                          [&](const Phrase& p) { return p.units == units; });
        if (!repeated)
            m_phrases.push_back(Phrase{std::move(units), 0});
    }
}

bool TextMatcher::isBlank(char32_t c)
{
    return QChar::isSpace(c);
}

// NFKD, full case folding, NFKD again: compatibility-equal, case-equal strings
// fold alike. Decomposing first leaves U+00DF as the only full folding that
// the simple one misses.
const std::u32string& TextMatcher::fold(char32_t c)
{
    if (c < 0x80) {
        if (c >= U'A' && c <= U'Z')
            c += U'a' - U'A';
        else if (QChar::isSpace(c))
            c = kSpace;
        m_scratch.assign(1, c);
        return m_scratch;
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (const auto it = m_folded.find(c); it != m_folded.end())
        return it->second;

    std::u32string out;
    if (QChar::category(c) != QChar::Other_Format) {
        QString folded;
        for (char32_t unit : QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD).toUcs4()) {
            unit = QChar::toCaseFolded(unit);
            if (unit == 0xDF)
                folded += QStringLiteral("ss");
            else
                folded += QString::fromUcs4(&unit, 1);
        }
        for (const char32_t unit : folded.normalized(QString::NormalizationForm_KD).toUcs4()) {
            if (QChar::isSpace(unit))
                out += kSpace;
            else if (QChar::category(unit) != QChar::Other_Format)
                out += unit;
        }
    }
    return m_folded.emplace(c, std::move(out)).first->second;
}

// Appends one folded unit: white space runs collapse to one space, and
// combining marks are put in canonical order across characters.
void TextMatcher::push(std::u32string& units, std::vector<std::int64_t>* indices, char32_t unit, std::int64_t index)
{
    if (unit == kSpace && !units.empty() && units.back() == kSpace)
        return;
    units.push_back(unit);
    if (indices)
        indices->push_back(index);
    const int cls = QChar::combiningClass(unit);
    if (cls == 0)
        return;
    for (std::size_t i = units.size() - 1; i > 0 && QChar::combiningClass(units[i - 1]) > cls; --i) {
        std::swap(units[i - 1], units[i]);
        if (indices)
            std::swap((*indices)[i - 1], (*indices)[i]);
    }
}

void TextMatcher::append(char32_t c, std::int64_t index)
{
    for (const char32_t unit : fold(c))
        push(m_text, &m_indices, unit, index);
}

void TextMatcher::appendBreak()
{
    push(m_text, &m_indices, kSpace, -1);
}

// Whether a match may start or end before unit `at`: not in front of a mark
// (an accent counts) nor of a letter that composes with what precedes it.
bool TextMatcher::isBoundary(std::int64_t at, bool atEnd) const
{
    const std::int64_t end = m_base + static_cast<std::int64_t>(m_text.size());
    if (at <= 0)
        return true;
    if (at >= end)
        return atEnd;
    const char32_t unit = m_text[static_cast<std::size_t>(at - m_base)];
    // Nothing below U+0300 is a mark or composes with a preceding letter.
    if (unit < 0x300)
        return true;
    if (isMark(unit))
        return false;
    const std::int64_t from = std::max(m_base, at - kLookBehind);
    const QString before = fromUnits(m_text.data() + (from - m_base), at - from);
    const QString after = fromUnits(&unit, 1);
    return before.normalized(QString::NormalizationForm_C) + after.normalized(QString::NormalizationForm_C)
        == (before + after).normalized(QString::NormalizationForm_C);
}

std::vector<TextMatcher::Match> TextMatcher::takeMatches(bool atEnd)
{
    std::vector<Match> found;
    const std::int64_t end = m_base + static_cast<std::int64_t>(m_text.size());
    for (Phrase& phrase : m_phrases) {
        const auto length = static_cast<std::int64_t>(phrase.units.size());
        for (;;) {
            const std::size_t at = m_text.find(phrase.units, static_cast<std::size_t>(phrase.next - m_base));
            if (at == std::u32string::npos) {
                phrase.next = std::max(phrase.next, end - length + 1);
                break;
            }
            const std::int64_t start = m_base + static_cast<std::int64_t>(at);
            const std::int64_t stop = start + length;
            if (stop >= end && !atEnd) {
                phrase.next = start; // what follows may still be an accent
                break;
            }
            if (!isBoundary(start, atEnd) || !isBoundary(stop, atEnd)) {
                phrase.next = start + 1;
                continue;
            }
            Match match{std::numeric_limits<std::int64_t>::max(), -1};
            for (std::size_t i = at; i < at + phrase.units.size(); ++i) {
                if (m_text[i] == kSpace)
                    continue;
                match.first = std::min(match.first, m_indices[i]);
                match.last = std::max(match.last, m_indices[i]);
            }
            found.push_back(match);
            phrase.next = stop;
        }
    }

    std::int64_t keep = end;
    for (const Phrase& phrase : m_phrases)
        keep = std::min(keep, phrase.next);
    keep -= kLookBehind;
    if (keep > m_base) {
        const auto drop = static_cast<std::size_t>(keep - m_base);
        m_text.erase(0, drop);
        m_indices.erase(m_indices.begin(), m_indices.begin() + static_cast<std::ptrdiff_t>(drop));
        m_base = keep;
    }
    return found;
}

std::int64_t TextMatcher::firstNeededIndex() const
{
    std::int64_t first = std::numeric_limits<std::int64_t>::max();
    for (const std::int64_t index : m_indices) {
        if (index >= 0)
            first = std::min(first, index);
    }
    return first;
}

} // namespace inkveil
