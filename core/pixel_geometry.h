#pragma once

#include "core/geometry.h"

#include <cstdint>
#include <optional>

namespace inkveil {

// A rectangle of whole pixels, [x0, x1) × [y0, y1), rows counted from the top.
struct PixelRect {
    std::int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Largest page bitmap we agree to allocate.
inline constexpr std::int64_t kMaxPagePixels = 400'000'000;

// Rounded to the nearest integer, halves away from zero, at least 1; nothing when
// not finite or too large for the bitmap.
std::optional<std::int64_t> pixelExtent(double points, double scale);

// The pixels that a page-space rectangle touches on a bitmap of pixelHeight rows
// that shows box at scale: rounded outward, so no touched pixel is left out.
PixelRect outwardPixels(const Rect& pageRect, const Rect& box, double scale, std::int64_t pixelHeight);

// The pixels lying wholly inside a normalized rectangle on an image of the given
// size that covers the whole page: rounded inward.
PixelRect inwardPixels(const Rect& normalized, std::int64_t width, std::int64_t height);

} // namespace inkveil
