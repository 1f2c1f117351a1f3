#include "core/ocr_matcher.h"

#include <QChar>

#include <algorithm>
#include <limits>

namespace inkveil {

namespace {

// Characters that count: letters, marks, digits and symbols; white space,
// punctuation (dashes and quotes among it), controls and format characters
// do not, as OCR adds and loses them freely.
bool counts(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
        return false;
    default:
        return true;
    }
}

// One shape for the characters OCR mistakes for one another.
char32_t confusionClass(char32_t c)
{
    switch (c) {
    case U'0':
        return U'o';
    case U'1':
    case U'i':
    case U'|':
        return U'l';
    case U'5':
        return U's';
    default:
        return c;
    }
}

struct Unit {
    char32_t c;
    std::int64_t first;
    std::int64_t last;
};

// Folds text into units carrying index; "rn" becomes "m" across symbols too.
void appendFolded(std::vector<Unit>& units, const QString& text, std::int64_t index)
{
    const QString folded = text.normalized(QString::NormalizationForm_KC).toCaseFolded()
                               .normalized(QString::NormalizationForm_KC);
    for (const char32_t c : folded.toUcs4()) {
        if (!counts(c))
            continue;
        const char32_t unit = confusionClass(c);
        if (unit == U'n' && !units.empty() && units.back().c == U'r') {
            units.back().c = U'm';
            units.back().last = index;
            continue;
        }
        units.push_back(Unit{unit, index, index});
    }
}

} // namespace

std::u32string OcrMatcher::fold(const QString& text)
{
    std::vector<Unit> units;
    appendFolded(units, text, 0);
    std::u32string out;
    for (const Unit& u : units)
        out += u.c;
    return out;
}

OcrMatcher::OcrMatcher(const QStringList& phrases, bool tolerant)
{
    for (const QString& phrase : phrases) {
        std::u32string units = fold(phrase);
        if (units.empty())
            continue;
        const bool repeated = std::any_of(m_phrases.begin(), m_phrases.end(),
                                          [&](const Phrase& p) { return p.units == units; });
        if (repeated)
            continue;
        const int allowed = tolerant && units.size() >= 6 ? static_cast<int>(units.size() / 6) : 0;
        m_phrases.push_back(Phrase{std::move(units), allowed, phrase.trimmed()});
    }
}

// Approximate substring search (edit distance, any start in the text): each
// end position whose distance is within the allowance is a candidate, with the
// start its cheapest alignment began at. Among overlapping candidates the
// cheapest wins, then the one found first.
std::vector<OcrMatcher::Match> OcrMatcher::find(const std::vector<QString>& symbols) const
{
    std::vector<Unit> text;
    for (std::size_t i = 0; i < symbols.size(); ++i)
        appendFolded(text, symbols[i], static_cast<std::int64_t>(i));

    std::vector<Match> found;
    const std::size_t n = text.size();
    for (const Phrase& phrase : m_phrases) {
        const std::size_t m = phrase.units.size();
        if (n + static_cast<std::size_t>(phrase.allowedErrors) < m)
            continue;
        struct Candidate {
            std::size_t start, end; // units [start, end)
            int cost;
        };
        std::vector<Candidate> candidates;
        // cost[i] and start[i]: the best alignment of the phrase's first i units
        // ending at the current text position.
        std::vector<int> cost(m + 1), prevCost(m + 1);
        std::vector<std::size_t> start(m + 1), prevStart(m + 1);
        for (std::size_t i = 0; i <= m; ++i) {
            prevCost[i] = static_cast<int>(i);
            prevStart[i] = 0;
        }
        for (std::size_t j = 1; j <= n; ++j) {
            cost[0] = 0;
            start[0] = j;
            for (std::size_t i = 1; i <= m; ++i) {
                const int substitute = prevCost[i - 1] + (phrase.units[i - 1] == text[j - 1].c ? 0 : 1);
                const int skipText = prevCost[i] + 1;   // an extra character in the text
                const int skipPhrase = cost[i - 1] + 1; // a character missing from the text
                if (substitute <= skipText && substitute <= skipPhrase) {
                    cost[i] = substitute;
                    start[i] = prevStart[i - 1];
                } else if (skipPhrase <= skipText) {
                    cost[i] = skipPhrase;
                    start[i] = start[i - 1];
                } else {
                    cost[i] = skipText;
                    start[i] = prevStart[i];
                }
            }
            if (cost[m] <= phrase.allowedErrors && start[m] < j)
                candidates.push_back(Candidate{start[m], j, cost[m]});
            std::swap(cost, prevCost);
            std::swap(start, prevStart);
        }

        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const Candidate& a, const Candidate& b) { return a.cost < b.cost; });
        std::vector<Candidate> taken;
        for (const Candidate& c : candidates) {
            const bool overlaps = std::any_of(taken.begin(), taken.end(), [&](const Candidate& t) {
                return c.start < t.end && t.start < c.end;
            });
            if (!overlaps)
                taken.push_back(c);
        }
        for (const Candidate& c : taken) {
            Match match{std::numeric_limits<std::int64_t>::max(), -1, static_cast<int>(&phrase - m_phrases.data())};
            for (std::size_t u = c.start; u < c.end; ++u) {
                match.first = std::min(match.first, text[u].first);
                match.last = std::max(match.last, text[u].last);
            }
            found.push_back(match);
        }
    }
    return found;
}

} // namespace inkveil
