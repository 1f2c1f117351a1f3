#pragma once

#include "core/geometry.h"
#include "core/ocr_settings.h"

#include <QHashFunctions>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace inkveil {

// One area to black out: a zero-based page index and a rectangle normalized to
// the page's media box (origin lower-left, y up, the unit square is the box).
class RedactionRegion {
public:
    RedactionRegion() = default;
    // Standardizes the rectangle and clips it to the unit square; one that
    // misses the square becomes the zero rectangle. The page index is kept as is.
    RedactionRegion(std::int64_t pageIndex, const Rect& normalizedRect);

    std::int64_t pageIndex() const { return m_pageIndex; }
    const Rect& normalizedRect() const { return m_rect; }

    // {"pageIndex": n, "normalizedRect": [[x, y], [w, h]]}
    QJsonObject toJson() const;
    // Stores what it reads, unclipped. Throws std::invalid_argument when a key
    // is missing or has the wrong type.
    static RedactionRegion fromJson(const QJsonObject& object);

    friend bool operator==(const RedactionRegion& a, const RedactionRegion& b);

private:
    std::int64_t m_pageIndex = 0;
    Rect m_rect;
};

std::size_t hashValue(const RedactionRegion& region);
inline size_t qHash(const RedactionRegion& region, size_t seed = 0) { return hashValue(region) ^ seed; }

// What to remove from one document.
struct RedactionPlan {
    std::vector<RedactionRegion> regions;
    QStringList searchTerms;
    // Built-in kinds of text ("email", "card", …) and regular expressions,
    // found over the same text as searchTerms.
    QStringList patterns;
    QStringList expressions;
    // Found occurrences the user removed: a region the run's search finds that
    // is one of these stays visible.
    std::vector<RedactionRegion> exclusions;
    double dpi = 200.0;
    // Anti-aliased pages, closer to the source on screen; larger and slower.
    bool smooth = false;
    // Flatten pages MuPDF draws with errors, as it draws them, instead of refusing.
    bool allowDamaged = false;
    OcrSettings ocr;

    // Terms compare under canonical equivalence; case matters.
    friend bool operator==(const RedactionPlan& a, const RedactionPlan& b);
};

// What the check of a written output found.
struct RedactionVerification {
    std::int64_t pageCount = 0;
    std::int64_t redactionCount = 0;
    bool hasSelectableText = false;
    bool hasAnnotations = false;
    bool hasPersonalMetadata = false;

    friend bool operator==(const RedactionVerification&, const RedactionVerification&) = default;
};

// How often one search phrase was found in a document, and on which pages.
struct PhraseOccurrences {
    QString phrase;
    std::int64_t count = 0;
    std::map<int, std::int64_t> pages; // zero-based page -> occurrences starting there

    friend bool operator==(const PhraseOccurrences&, const PhraseOccurrences&) = default;
};

// One successful redaction: where the output went and how it was checked.
struct RedactionResult {
    QString output; // absolute file path
    RedactionVerification verification;
    std::vector<PhraseOccurrences> phrases; // one per search phrase of the plan
    std::vector<PhraseOccurrences> patterns = {}; // one per pattern, then expression, of the plan

    friend bool operator==(const RedactionResult&, const RedactionResult&) = default;
};

} // namespace inkveil

template <>
struct std::hash<inkveil::RedactionRegion> {
    std::size_t operator()(const inkveil::RedactionRegion& r) const noexcept { return inkveil::hashValue(r); }
};
