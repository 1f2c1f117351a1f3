#pragma once

#include "core/errors.h"
#include "core/geometry.h"
#include "core/patterns.h"
#include "core/records.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <unordered_map>
#include <optional>
#include <vector>

namespace inkveil::platform {
class Document;
class Page;
}

// The redaction engine: stateless operations. Failures are thrown as
// inkveil::Error (InkveilError or FileError).
namespace inkveil::InkveilEngine {

// Page-space rectangle -> fractions of the media box; nothing when the box is
// empty or the rectangle has no area inside it.
std::optional<Rect> normalize(const Rect& rect, const Rect& box);
// Fractions of the media box -> page space; no clipping.
Rect denormalize(const Rect& normalized, const Rect& box);

// Asked between pages on the working thread and, while a page is drawn, from a
// watchdog thread: it must be safe to call from any thread (a std::stop_token
// read is).
using CancelCheck = std::function<bool()>;
// Called on the working thread after each page has been rendered and written.
using PageProgress = std::function<void(std::int64_t pagesDone, std::int64_t pageCount)>;

// Writes a flattened, blacked-out, verified copy of source into destination as
// "<name> — Redacted[ n].pdf". The source is only read. On any failure nothing
// this call created is left behind. reading reports pages read as pictures
// (plan.ocr), from the reading threads, one call at a time.
RedactionResult redact(const QString& source, const QString& destination, const RedactionPlan& plan,
                       const CancelCheck& shouldCancel = {}, const PageProgress& progress = {},
                       const PageProgress& reading = {});

// An output page: its size in points, as viewers show the source page before
// turning it, and the turn.
struct PageFrame {
    double width = 0;
    double height = 0;
    int rotate = 0;

    friend bool operator==(const PageFrame&, const PageFrame&) = default;
};

// The frame a source page gets in the output: its media box in points
// (/UserUnit applied) and its rotation, both as MuPDF shows the page.
PageFrame frameOf(const platform::Page& page);

// Reopens a written output and checks it. paintedRegions, when given, must be
// solid black in the page images; frames, when given, are the pages' expected
// sizes and rotations. Throws InkveilError::verificationFailed.
RedactionVerification verify(const QString& output, std::int64_t expectedPages, std::int64_t redactionCount,
                             const QStringList& forbiddenTerms,
                             const std::vector<RedactionRegion>& paintedRegions = {},
                             const std::vector<PageFrame>& frames = {});

// "<folder>/<base>.pdf", or "<base> 2.pdf", "<base> 3.pdf", … : the first that
// does not exist.
QString availableURL(const QString& folder, const QString& base);

// The base of source's copies in folder: its name without the extension, then
// " — Redacted". A name too long for the folder's file system is cut between
// characters so that the copy's name fits, numbered up to 9999. Throws
// FileError (ENAMETOOLONG) when even the suffix does not fit.
QString redactedBase(const QString& folder, const QString& source);

// Files and folders -> sorted, duplicate-free list of PDF paths.
QStringList discover(const QStringList& locations);

// What a search found.
struct SearchReport {
    // Sorted by page and then from the top of the page down.
    std::vector<RedactionRegion> regions;
    // One entry per distinct cleaned phrase, in the order given.
    std::vector<PhraseOccurrences> phrases;
    // One entry per pattern of the set searched, in its order, named by its
    // label.
    std::vector<PhraseOccurrences> patterns;
    // For each region, the text of an occurrence it covers, as drawn, and
    // what found it: kPhraseKind or the pattern's kind.
    std::unordered_map<RedactionRegion, QString> matchedText;
    std::unordered_map<RedactionRegion, QString> matchedKind;
    // False when the text of a page could not be read in full, so that an
    // occurrence there may have been missed.
    bool everyPageRead = true;
    // Those pages, ascending.
    std::vector<int> unreadPages;
};

// Every occurrence of every term that a reader of the page sees: in drawing
// order, in the order the glyphs stand on their lines, and through
// /ActualText; each covered by the ink of its glyphs, one region per line
// piece, with a margin.
// Instances of patterns are found over the same readings, and count apart.
// Throws PatternError when an expression takes too long.
SearchReport search(platform::Document& document, const QStringList& terms, const PatternSet& patterns = {});

inline const QString kPhraseKind = QStringLiteral("phrase");

// Page by page and, on a page, from the top down; ties from left to right,
// so that the order repeats.
void sortTopDown(std::vector<RedactionRegion>& regions);

// The regions of search().
std::vector<RedactionRegion> searchRegions(platform::Document& document, const QStringList& terms);
// As above; everyPageRead becomes false when the text of a page could not be
// read in full.
std::vector<RedactionRegion> searchRegions(platform::Document& document, const QStringList& terms, bool& everyPageRead);

// " — Redacted": appended to the source's base name.
inline const QString kRedactedSuffix = QStringLiteral(" \u2014 Redacted");

} // namespace inkveil::InkveilEngine
