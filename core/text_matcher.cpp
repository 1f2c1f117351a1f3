#include "core/text_matcher.h"

#include <QChar>
#include <QString>

#include <unicode/uchar.h>
#include <unicode/uspoof.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

namespace inkveil {

namespace {

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

// Characters that match nothing: white space, default-ignorables (soft hyphen,
// zero-width joiners, the combining grapheme joiner, variation selectors) and
// every dash, hyphen and minus sign, so that a word broken at a line end reads
// whole and "–" matches "-".
bool isIgnored(char32_t c)
{
    if (QChar::isSpace(c) || u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_DEFAULT_IGNORABLE_CODE_POINT)
        || u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_DASH))
        return true;
    switch (c) {
    case U'\u00AD': // soft hyphen
    case U'\u2212': // minus sign
    case U'\u2043': // hyphen bullet
    case U'\u02D7': // modifier letter minus sign
        return true;
    default:
        return QChar::category(c) == QChar::Punctuation_Dash;
    }
}

char32_t foldQuote(char32_t c)
{
    switch (c) {
    case U'\u2018': case U'\u2019': case U'\u201A': case U'\u201B': case U'\u02BC': case U'\u02BB':
    case U'\u2032': case U'\u2035': case U'\uFF07': case U'`': case U'\u00B4':
        return U'\'';
    case U'\u201C': case U'\u201D': case U'\u201E': case U'\u201F': case U'\u2033': case U'\u2036':
    case U'\uFF02':
        return U'"';
    default:
        return c;
    }
}

// Full case folding; U+00DF is the one that the simple folding misses once
// text is decomposed.
void appendCaseFolded(std::u32string& out, char32_t c)
{
    c = QChar::toCaseFolded(c);
    if (c == 0xDF)
        out += U"ss";
    else
        out += c;
}

struct SpoofCloser {
    void operator()(USpoofChecker* checker) const { uspoof_close(checker); }
};

// Shared and read-only once made: ICU allows skeletons from any thread.
const USpoofChecker* spoofChecker()
{
    static const std::unique_ptr<USpoofChecker, SpoofCloser> checker = [] {
        UErrorCode status = U_ZERO_ERROR;
        USpoofChecker* made = uspoof_open(&status);
        if (U_FAILURE(status)) {
            uspoof_close(made);
            made = nullptr;
        }
        return std::unique_ptr<USpoofChecker, SpoofCloser>(made);
    }();
    return checker.get();
}

// Unicode's confusable skeleton of one character (UTS #39), or the character
// itself when ICU's data is missing.
std::u32string skeleton(char32_t c)
{
    const USpoofChecker* checker = spoofChecker();
    const QString in = QString::fromUcs4(&c, 1);
    if (!checker)
        return std::u32string(1, c);
    UChar out[64];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uspoof_getSkeleton(checker, 0, reinterpret_cast<const UChar*>(in.utf16()),
                                              static_cast<int32_t>(in.size()), out, 64, &status);
    if (U_FAILURE(status) || length > 64)
        return std::u32string(1, c);
    const QList<uint> units = QString::fromUtf16(reinterpret_cast<const char16_t*>(out), length).toUcs4();
    return std::u32string(units.begin(), units.end());
}

} // namespace

TextMatcher::TextMatcher(const QStringList& phrases)
{
    for (char32_t c = 0; c < 128; ++c)
        m_ascii[c] = foldUncached(c);
    for (const QString& phrase : phrases) {
        Phrase p;
        for (const char32_t c : phrase.toUcs4()) {
            for (const char32_t unit : fold(c)) {
                p.units.push_back(unit);
                // Canonical order of combining marks, as the text gets.
                const int cls = QChar::combiningClass(unit);
                for (std::size_t i = p.units.size() - 1; cls != 0 && i > 0 && QChar::combiningClass(p.units[i - 1]) > cls; --i)
                    std::swap(p.units[i - 1], p.units[i]);
            }
        }
        p.fallback.assign(p.units.size(), 0);
        for (std::size_t i = 1, k = 0; i < p.units.size(); ++i) {
            while (k > 0 && p.units[i] != p.units[k])
                k = p.fallback[k - 1];
            if (p.units[i] == p.units[k])
                ++k;
            p.fallback[i] = k;
        }
        m_phrases.push_back(std::move(p));
    }
}

bool TextMatcher::hasPhrases() const
{
    return std::any_of(m_phrases.begin(), m_phrases.end(), [](const Phrase& p) { return !p.units.empty(); });
}

bool TextMatcher::isBlank(char32_t c)
{
    return QChar::isSpace(c);
}

std::u32string TextMatcher::foldUncached(char32_t c) const
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (isIgnored(c))
        return {};
    c = foldQuote(c);
    std::u32string folded;
    for (const char32_t unit : QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD).toUcs4()) {
        if (!isIgnored(unit))
            appendCaseFolded(folded, foldQuote(unit));
    }
    // Skeletons are drawn from capitals ("I" and "l" look alike, "i" does
    // not), so each letter is looked up as its capital.
    std::u32string out;
    for (const char32_t unit : folded) {
        // Marks and conjoining jamo keep their own form: they compose with
        // what precedes them, which the boundary test relies on.
        const bool composing = isMark(unit) || (unit >= 0x1100 && unit <= 0x11FF) || (unit >= 0xA960 && unit <= 0xA97F)
            || (unit >= 0xD7B0 && unit <= 0xD7FF);
        for (const char32_t skeletal : composing ? std::u32string(1, unit) : skeleton(QChar::toUpper(unit))) {
            std::u32string again;
            appendCaseFolded(again, skeletal);
            for (const char32_t a : QString::fromUcs4(again.data(), static_cast<qsizetype>(again.size()))
                                        .normalized(QString::NormalizationForm_KD)
                                        .toUcs4()) {
                if (!isIgnored(a))
                    out += a;
            }
        }
    }
    return out;
}

const std::u32string& TextMatcher::fold(char32_t c)
{
    if (c < 128)
        return m_ascii[c];
    if (const auto it = m_folded.find(c); it != m_folded.end())
        return it->second;
    return m_folded.emplace(c, foldUncached(c)).first->second;
}

// Appends one folded unit, putting combining marks in canonical order across
// characters.
void TextMatcher::push(char32_t unit, std::int64_t index)
{
    m_text.push_back(unit);
    m_indices.push_back(index);
    const int cls = QChar::combiningClass(unit);
    if (cls == 0)
        return;
    for (std::size_t i = m_text.size() - 1; i > 0 && QChar::combiningClass(m_text[i - 1]) > cls; --i) {
        std::swap(m_text[i - 1], m_text[i]);
        std::swap(m_indices[i - 1], m_indices[i]);
    }
}

void TextMatcher::append(char32_t c, std::int64_t index)
{
    for (const char32_t unit : fold(c))
        push(unit, index);
}

void TextMatcher::appendBreak()
{
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
    const QString before = QString::fromUcs4(m_text.data() + (from - m_base), static_cast<qsizetype>(at - from));
    const QString after = QString::fromUcs4(&unit, 1);
    return before.normalized(QString::NormalizationForm_C) + after.normalized(QString::NormalizationForm_C)
        == (before + after).normalized(QString::NormalizationForm_C);
}

std::vector<TextMatcher::Match> TextMatcher::takeMatches(bool atEnd)
{
    std::vector<Match> found;
    const std::int64_t end = m_base + static_cast<std::int64_t>(m_text.size());
    // A unit followed by nothing yet, or only by marks, may still gain an
    // accent or be reordered: leave it for later.
    std::int64_t limit = end;
    if (!atEnd) {
        limit = end - 1;
        while (limit >= m_scanned && limit > m_base && QChar::combiningClass(m_text[static_cast<std::size_t>(limit - m_base)]) != 0)
            --limit;
    }
    for (std::size_t p = 0; p < m_phrases.size(); ++p) {
        Phrase& phrase = m_phrases[p];
        const std::size_t length = phrase.units.size();
        if (length == 0)
            continue;
        for (std::int64_t at = m_scanned; at < limit; ++at) {
            const char32_t unit = m_text[static_cast<std::size_t>(at - m_base)];
            std::size_t k = phrase.matched;
            while (k > 0 && unit != phrase.units[k])
                k = phrase.fallback[k - 1];
            if (unit == phrase.units[k])
                ++k;
            phrase.matched = k;
            if (k < length)
                continue;
            const std::int64_t start = at + 1 - static_cast<std::int64_t>(length);
            if (!isBoundary(start, atEnd) || !isBoundary(at + 1, atEnd)) {
                phrase.matched = phrase.fallback[length - 1];
                continue;
            }
            Match match{std::numeric_limits<std::int64_t>::max(), -1, static_cast<int>(p)};
            for (std::int64_t i = start; i <= at; ++i) {
                const std::int64_t index = m_indices[static_cast<std::size_t>(i - m_base)];
                match.first = std::min(match.first, index);
                match.last = std::max(match.last, index);
            }
            found.push_back(match);
            phrase.matched = 0;
        }
    }
    m_scanned = std::max(m_scanned, limit);

    // Keep what a partial match and the boundary tests may still look at.
    std::int64_t keep = m_scanned;
    for (const Phrase& phrase : m_phrases)
        keep = std::min(keep, m_scanned - static_cast<std::int64_t>(phrase.matched));
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
    for (const std::int64_t index : m_indices)
        first = std::min(first, index);
    return first;
}

} // namespace inkveil
