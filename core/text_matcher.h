#pragma once

#include <QStringList>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace inkveil {

// Finds phrases in a stream of characters. Matching is case-insensitive by full
// Unicode case folding and compares under compatibility normalization: "ﬁ"
// matches "fi", a decomposed accent matches the composed one, and accents
// count. Format characters (soft hyphen, zero-width space) are ignored. Any run
// of white space, breaks included, matches any other. Matches are substrings,
// found left to right without overlap for each phrase.
//
// Each character carries the caller's index; a match reports the indices of
// its first and last characters that are not white space. Text may be fed in
// pieces, with matches taken after each one, so that only a short tail of the
// text is held at any time.
class TextMatcher {
public:
    struct Match {
        std::int64_t first = 0;
        std::int64_t last = 0;
        friend bool operator==(const Match&, const Match&) = default;
    };

    // Phrases are used as given (trim them first); one that folds to nothing
    // but white space is ignored, and repeats are searched once.
    explicit TextMatcher(const QStringList& phrases);

    bool hasPhrases() const { return !m_phrases.empty(); }

    // Indices must grow from one character to the next.
    void append(char32_t c, std::int64_t index);
    // A line, block or page end: white space without a character of its own.
    void appendBreak();

    // Matches that the text appended so far settles, in no particular order.
    // Pass atEnd once the whole text has been appended.
    std::vector<Match> takeMatches(bool atEnd);

    // Characters with a smaller index can be in no match still to come.
    std::int64_t firstNeededIndex() const;

    // White space: such a character is never part of a match's extent.
    static bool isBlank(char32_t c);

private:
    struct Phrase {
        std::u32string units;
        std::int64_t next = 0; // earliest start not yet ruled out, in text units
    };

    const std::u32string& fold(char32_t c);
    static void push(std::u32string& units, std::vector<std::int64_t>* indices, char32_t unit, std::int64_t index);
    bool isBoundary(std::int64_t at, bool atEnd) const;

    std::vector<Phrase> m_phrases;
    std::unordered_map<char32_t, std::u32string> m_folded; // non-ASCII characters seen so far
    std::u32string m_scratch;
    // The tail of the folded text, starting at unit m_base of the whole.
    std::u32string m_text;
    std::vector<std::int64_t> m_indices; // per unit; -1 for a break
    std::int64_t m_base = 0;
};

} // namespace inkveil
