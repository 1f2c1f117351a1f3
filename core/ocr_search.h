#pragma once

#include "core/engine.h"
#include "core/errors.h"
#include "core/ocr_settings.h"
#include "core/records.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

namespace inkveil::platform {
class Document;
struct PageSurvey;
} // namespace inkveil::platform

namespace inkveil {

// OCR cannot be used as asked: language data missing or damaged.
class OcrUnavailable : public Error {
public:
    explicit OcrUnavailable(QString message) : m_message(std::move(message)) {}
    QString description() const override { return m_message; }

private:
    QString m_message;
};

namespace InkveilEngine {

// Text of 8 pt reads reliably from 300 dpi. LSTM recognition works on line
// images scaled to a fixed height, so a higher resolution only costs layout time.
inline constexpr int kOcrDpi = 300;

// Whether a page's text layer may not hold what the page shows: no text at
// all, only invisible text, text that cannot be trusted, or mostly pictures.
bool textLayerFallsShort(const platform::PageSurvey& survey);

// The pages to read as pictures under mode, ascending. In automatic mode a
// page whose content cannot be surveyed is read.
std::vector<int> pagesToRead(platform::Document& document, OcrMode mode);

// Throws OcrUnavailable unless the languages' data can be used (or mode is off).
void checkOcrLanguages(const OcrSettings& settings);

// Reads the given pages of the PDF at path as pictures, several at a time,
// and returns a region for each line of each phrase occurrence found, sorted
// as searchRegions sorts. reading is called from the reading threads, one
// call at a time. Throws OcrUnavailable, InkveilError::cancelled, and
// InkveilError::verificationFailed naming a page that could not be read.
// Pages are drawn at dpi (lower for very large pages). Without tolerance,
// phrases must read exactly (OcrMatcher). occurrences, if given, counts the
// matches of each trimmed phrase. A page MuPDF draws with errors is read as
// drawn when acceptDamaged is set, and fails with InkveilError::damagedPage
// otherwise.
// Instances of patterns, when given, are found in the words read as well:
// exactly, as OCR reads them; patternFindings, if given, receives their texts
// and their counts by pattern label.
struct OcrPatternFindings {
    std::map<QString, std::int64_t> counts;
    QStringList texts;
    // Each region found, phrase or pattern: the text read there and what
    // found it (kPhraseKind or the pattern's kind).
    std::unordered_map<RedactionRegion, std::pair<QString, QString>> described;
};
std::vector<RedactionRegion> ocrRegions(const QString& path, const std::vector<int>& pages, const QStringList& terms,
                                        const QString& languages, const CancelCheck& shouldCancel = {},
                                        const PageProgress& reading = {}, int dpi = kOcrDpi, bool tolerant = true,
                                        std::map<QString, std::int64_t>* occurrences = nullptr,
                                        bool acceptDamaged = false, const PatternSet* patterns = nullptr,
                                        OcrPatternFindings* patternFindings = nullptr);

// Reads the given pages of a written output, whose pictures were drawn at dpi:
// when any of the forbidden terms can be read there, throws
// InkveilError::verificationFailed "a search phrase can still be read".
// Throws as ocrRegions otherwise. Tolerance applies on tolerantPages only:
// those whose phrases were found by reading with it, so that a near miss
// there would have been found and blacked out too; on pages searched by their
// text layer a near miss is another phrase, not a leftover. What reads inside
// an excluded occurrence was left visible on purpose.
void readBack(const QString& output, const std::vector<int>& pages, const std::vector<int>& tolerantPages,
              const QStringList& forbiddenTerms, const QString& languages, int dpi, const CancelCheck& shouldCancel = {},
              const PageProgress& reading = {}, const std::vector<RedactionRegion>& exclusions = {});

} // namespace InkveilEngine

} // namespace inkveil
