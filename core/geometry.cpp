#include "core/geometry.h"

#include <algorithm>

namespace inkveil {

Rect Rect::standardized() const
{
    Rect r = *this;
    if (r.width < 0) {
        r.x += r.width;
        r.width = -r.width;
    }
    if (r.height < 0) {
        r.y += r.height;
        r.height = -r.height;
    }
    return r;
}

std::optional<Rect> Rect::intersected(const Rect& other) const
{
    const Rect a = standardized();
    const Rect b = other.standardized();
    const double x0 = std::max(a.x, b.x);
    const double y0 = std::max(a.y, b.y);
    const double x1 = std::min(a.x + a.width, b.x + b.width);
    const double y1 = std::min(a.y + a.height, b.y + b.height);
    // Written so that NaN anywhere yields no overlap.
    if (!(x1 >= x0) || !(y1 >= y0))
        return std::nullopt;
    return Rect{x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::insetBy(double dx, double dy) const
{
    const Rect s = standardized();
    return Rect{s.x + dx, s.y + dy, s.width - 2 * dx, s.height - 2 * dy};
}

Rect Rect::united(const Rect& other) const
{
    const Rect a = standardized();
    const Rect b = other.standardized();
    const double x0 = std::min(a.x, b.x);
    const double y0 = std::min(a.y, b.y);
    const double x1 = std::max(a.x + a.width, b.x + b.width);
    const double y1 = std::max(a.y + a.height, b.y + b.height);
    return Rect{x0, y0, x1 - x0, y1 - y0};
}

} // namespace inkveil
