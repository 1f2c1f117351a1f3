#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace inkveil {

// Finds phrases in recognised text, forgiving what OCR gets wrong. Both sides
// are folded alike: case folded, compatibility-normalized, white space and
// punctuation dropped, and the shapes OCR confuses made one (0 and o; 1, l, i
// and |; 5 and s; rn and m). A phrase of six or more folded characters may
// then differ in one character per six (a letter replaced, missing or extra).
class OcrMatcher {
public:
    // The symbols of a match, by position in the text given to find().
    struct Match {
        std::int64_t first = 0;
        std::int64_t last = 0;
        int phrase = -1; // see phraseText()
        friend bool operator==(const Match& a, const Match& b) { return a.first == b.first && a.last == b.last; }
    };

    // Phrases that fold to nothing are ignored, and repeats searched once.
    // Without tolerance, phrases must read exactly as folded.
    explicit OcrMatcher(const QStringList& phrases, bool tolerant = true);

    bool hasPhrases() const { return !m_phrases.empty(); }
    // The phrase a match is of, as first given.
    const QString& phraseText(int phrase) const { return m_phrases[static_cast<std::size_t>(phrase)].text; }

    // Every occurrence of every phrase in symbols (one recognised character
    // each, in reading order); occurrences of one phrase do not overlap.
    std::vector<Match> find(const std::vector<QString>& symbols) const;

    // The folded form of text (for a phrase, or one symbol).
    static std::u32string fold(const QString& text);

private:
    struct Phrase {
        std::u32string units;
        int allowedErrors = 0;
        QString text;
    };
    std::vector<Phrase> m_phrases;
};

} // namespace inkveil
