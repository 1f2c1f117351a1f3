#pragma once

#include "platform/pdf_document.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Structural checks of a flattened output, done by reading the file back: an
// output may hold a catalog, a page tree, and per page one image drawn over the
// page; anything else could carry something of the source.
namespace inkveil::platform {

// True when the catalog holds more than /Type and /Pages, or the file holds
// objects beyond those of its pages (orphans, old revisions).
bool documentHasForeignObjects(Document& document);

// True when the page's only content is one image drawn by "q … cm /Name Do Q",
// its resources hold nothing but that image, and it has no other entries.
bool pageHoldsOnlyOneImage(Document& document, Page& page);

// The page's one image, decoded once, as plain samples (tied to no context).
class DecodedImage {
public:
    // Nothing when the page has no single image or it cannot be decoded. An
    // image in the exact form our writer produces is decoded strictly here: data
    // that does not inflate to exactly the image's size counts as undecodable.
    // Anything else is decoded by MuPDF.
    static std::optional<DecodedImage> load(Document& document, Page& page);

    int width() const { return m_width; }
    int height() const { return m_height; }
    // Whether every pixel in [x0, x1) × [y0, y1) (rows top-down, clipped) is black.
    bool isBlack(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) const;

private:
    DecodedImage() = default;
    int m_width = 0;
    int m_height = 0;
    int m_components = 1;
    int m_bits = 8; // 1 or 8 per component; 0 is black either way
    std::size_t m_stride = 0;
    std::vector<std::uint8_t> m_samples;
};

} // namespace inkveil::platform
