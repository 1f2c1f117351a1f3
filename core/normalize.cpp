#include "core/engine.h"

namespace inkveil::InkveilEngine {

std::optional<Rect> normalize(const Rect& rect, const Rect& box)
{
    const Rect b = box.standardized();
    // Written so that NaN counts as "not greater than 0".
    if (!(b.width > 0) || !(b.height > 0))
        return std::nullopt;
    const auto r = rect.standardized().intersected(b);
    if (!r || !(r->width > 0) || !(r->height > 0))
        return std::nullopt;
    return Rect{(r->x - b.x) / b.width, (r->y - b.y) / b.height, r->width / b.width, r->height / b.height};
}

Rect denormalize(const Rect& normalized, const Rect& box)
{
    const Rect b = box.standardized();
    const Rect n = normalized.standardized();
    return Rect{b.x + n.x * b.width, b.y + n.y * b.height, n.width * b.width, n.height * b.height};
}

} // namespace inkveil::InkveilEngine
