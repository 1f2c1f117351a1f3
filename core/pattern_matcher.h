#pragma once

#include "core/patterns.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace inkveil {

// Finds the instances of a PatternSet in a stream of characters, as
// TextMatcher finds phrases: each character carries the caller's index, text
// may be fed in pieces, and only a tail of it is held. White space and the
// ends of pieces (lines, pages) read alike, as one space, so that a number
// broken across a line is found. An instance longer than a few thousand
// characters may be found in parts.
class PatternMatcher {
public:
    struct Match {
        std::int64_t first = 0;
        std::int64_t last = 0;
        int pattern = 0; // index into the set
    };

    // The set must outlive the matcher.
    explicit PatternMatcher(const PatternSet& set);

    bool hasPatterns() const { return !m_set->isEmpty(); }

    void append(char32_t c, std::int64_t index);
    void appendBreak();

    // Matches that the text appended so far settles. Pass atEnd once the
    // whole text has been appended. Throws PatternError when an expression
    // gives up, or when matching the text appended since the last call took
    // longer than the time allowed for it.
    std::vector<Match> takeMatches(bool atEnd);

    // Characters with a smaller index can be in no match still to come.
    std::int64_t firstNeededIndex() const;

    // Matching time allowed for one call of takeMatches (a page).
    static constexpr qint64 kBudgetMs = 10000;

private:
    void push(QChar unit, std::int64_t index);

    const PatternSet* m_set;
    QString m_text;                      // the held tail, as the patterns read it
    std::vector<std::int64_t> m_indices; // per unit of m_text
    qsizetype m_base = 0;                // position of m_text[0] in the whole
    std::vector<qsizetype> m_resume;     // per rule: where to look next, in the whole
    std::int64_t m_nextIndex = 0;
    std::unordered_map<char32_t, QString> m_folded;
};

} // namespace inkveil
