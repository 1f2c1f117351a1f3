#include "core/pixel_geometry.h"

#include <cmath>
#include <limits>

namespace inkveil {

namespace {

// Clamps before converting: a double outside int64's range has no defined cast.
std::int64_t toPixel(double v, std::int64_t limit)
{
    if (!(v > 0))
        return 0;
    if (v >= static_cast<double>(limit))
        return limit;
    return static_cast<std::int64_t>(v);
}

} // namespace

std::optional<std::int64_t> pixelExtent(double points, double scale)
{
    const double scaled = std::round(points * scale); // std::round rounds halves away from zero
    if (!std::isfinite(scaled) || scaled > static_cast<double>(std::numeric_limits<int>::max()))
        return std::nullopt;
    return scaled < 1 ? 1 : static_cast<std::int64_t>(scaled);
}

PixelRect outwardPixels(const Rect& pageRect, const Rect& box, double scale, std::int64_t pixelHeight)
{
    const Rect r = pageRect.standardized();
    const Rect b = box.standardized();
    const std::int64_t wide = std::numeric_limits<std::int32_t>::max();
    const std::int64_t x0 = toPixel(std::floor((r.x - b.x) * scale), wide);
    const std::int64_t x1 = toPixel(std::ceil((r.x + r.width - b.x) * scale), wide);
    const std::int64_t up0 = toPixel(std::floor((r.y - b.y) * scale), wide);
    const std::int64_t up1 = toPixel(std::ceil((r.y + r.height - b.y) * scale), wide);
    return PixelRect{x0, pixelHeight - up1, x1, pixelHeight - up0};
}

PixelRect inwardPixels(const Rect& normalized, std::int64_t width, std::int64_t height)
{
    const Rect n = normalized.standardized();
    const std::int64_t x0 = toPixel(std::ceil(n.x * static_cast<double>(width)), width);
    const std::int64_t x1 = toPixel(std::floor((n.x + n.width) * static_cast<double>(width)), width);
    const std::int64_t up0 = toPixel(std::ceil(n.y * static_cast<double>(height)), height);
    const std::int64_t up1 = toPixel(std::floor((n.y + n.height) * static_cast<double>(height)), height);
    return PixelRect{x0, height - up1, x1, height - up0};
}

} // namespace inkveil
