#pragma once

#include <QStringList>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace inkveil {

// Finds phrases in a stream of characters, erring on the side of finding too
// much. Both sides are folded alike: compatibility forms ("ﬁ" is "fi"), full
// case folding and Unicode's confusable skeletons (Cyrillic "С" is Latin "C",
// "0" is "O"); white space, dashes, minus signs, soft hyphens and other
// default-ignorable characters count for nothing, so "S E C R E T",
// "JohnSmith" and "Confiden-" + "tial" all match; apostrophes and quotation
// marks fold to one of each. Accents count: a match neither starts nor ends
// next to a combining mark. Matches are substrings, found left to right
// without overlap for each phrase, in time linear in the text.
//
// Each character carries the caller's index; a match reports the indices of
// its first and last characters that fold to something. Text may be fed in
// pieces, with matches taken after each one, so that only a short tail of the
// text is held at any time.
class TextMatcher {
public:
    struct Match {
        std::int64_t first = 0;
        std::int64_t last = 0;
        int phrase = 0; // index into the phrases given
        friend bool operator==(const Match& a, const Match& b) { return a.first == b.first && a.last == b.last; }
    };

    // Phrases are used as given; one that folds to nothing is never found.
    explicit TextMatcher(const QStringList& phrases);

    bool hasPhrases() const;

    // Indices must grow from one character to the next.
    void append(char32_t c, std::int64_t index);
    // A line, block or page end. White space matches nothing, so this only
    // marks where a piece of text ended.
    void appendBreak();

    // Matches that the text appended so far settles, in no particular order.
    // Pass atEnd once the whole text has been appended.
    std::vector<Match> takeMatches(bool atEnd);

    // Characters with a smaller index can be in no match still to come.
    std::int64_t firstNeededIndex() const;

    // White space: such a character is never part of a match's extent.
    static bool isBlank(char32_t c);

    // What c folds to; empty for characters that match nothing.
    const std::u32string& fold(char32_t c);

private:
    struct Phrase {
        std::u32string units;
        std::vector<std::size_t> fallback; // the pattern's failure function
        std::size_t matched = 0;           // units of the phrase matched before m_scanned
    };

    std::u32string foldUncached(char32_t c) const;
    void push(char32_t unit, std::int64_t index);
    bool isBoundary(std::int64_t at, bool atEnd) const;

    std::vector<Phrase> m_phrases;
    std::u32string m_ascii[128];
    std::unordered_map<char32_t, std::u32string> m_folded; // other characters seen so far
    // The tail of the folded text, starting at unit m_base of the whole.
    std::u32string m_text;
    std::vector<std::int64_t> m_indices; // per unit
    std::int64_t m_base = 0;
    std::int64_t m_scanned = 0; // units before this have been matched against
};

} // namespace inkveil
