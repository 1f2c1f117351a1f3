#pragma once

#include "platform/pdf_document.h"

#include <cstdint>
#include <optional>

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

// The page's one image, decoded once.
class DecodedImage {
public:
    // Nothing when the page has no single image or it cannot be decoded.
    static std::optional<DecodedImage> load(Document& document, Page& page);
    ~DecodedImage();
    DecodedImage(DecodedImage&& other) noexcept;
    DecodedImage(const DecodedImage&) = delete;
    DecodedImage& operator=(const DecodedImage&) = delete;
    DecodedImage& operator=(DecodedImage&& other) noexcept;

    int width() const { return m_width; }
    int height() const { return m_height; }
    // Whether every pixel in [x0, x1) × [y0, y1) (rows top-down, clipped) is black.
    bool isBlack(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) const;

private:
    DecodedImage(fz_context* ctx, fz_pixmap* pix);
    fz_context* m_ctx;
    fz_pixmap* m_pix;
    int m_width;
    int m_height;
};

} // namespace inkveil::platform
