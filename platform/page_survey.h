#pragma once

#include "platform/pdf_document.h"

#include <cstdint>

namespace inkveil::platform {

// What a page draws, as far as telling whether its text layer can be trusted
// to hold what a reader sees.
struct PageSurvey {
    std::int64_t visibleGlyphs = 0;   // filled, stroked or clipping text
    std::int64_t invisibleGlyphs = 0; // render mode 3 or fully transparent
    std::int64_t untrustedGlyphs = 0; // Type 3 glyphs, or glyphs without a character
    double imageCoverage = 0;         // share of the page under images, 0 to 1

    friend bool operator==(const PageSurvey&, const PageSurvey&) = default;
};

// Runs the page's content through a counting device, within the page time
// budget. Throws PdfError when the content cannot be read in full.
PageSurvey surveyPage(Context& ctx, Page& page);

} // namespace inkveil::platform
