#pragma once

#include <optional>

namespace inkveil {

// A rectangle of doubles: origin (x, y) plus size. Sizes may be negative until
// standardized. Page space has y growing upward; so has normalized space, where
// the unit square is the page's whole media box.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    // Negative sizes folded into the origin.
    Rect standardized() const;
    double minX() const { return standardized().x; }
    double minY() const { return standardized().y; }
    double maxX() const { auto s = standardized(); return s.x + s.width; }
    double maxY() const { auto s = standardized(); return s.y + s.height; }

    // The overlap of two standardized rectangles, or nothing when they do not
    // meet at all. Rectangles that only touch give a zero-size overlap.
    std::optional<Rect> intersected(const Rect& other) const;

    // Shrunk by dx on the left and on the right and by dy below and above;
    // negative values enlarge it.
    Rect insetBy(double dx, double dy) const;

    // The smallest rectangle that holds both.
    Rect united(const Rect& other) const;

    friend bool operator==(const Rect&, const Rect&) = default;
};

inline constexpr Rect kUnitRect{0, 0, 1, 1};

} // namespace inkveil
