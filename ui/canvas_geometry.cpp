#include "ui/canvas_geometry.h"

#include <algorithm>
#include <cmath>

namespace inkveil::CanvasGeometry {

QRectF imageFrame(const QSizeF& canvas, const QSizeF& image)
{
    return zoomedFrame(canvas, canvas, image, 1.0);
}

QRectF zoomedFrame(const QSizeF& canvas, const QSizeF& fitArea, const QSizeF& image, double zoom)
{
    const double iw = image.width();
    const double ih = image.height();
    if (!(iw > 0) || !(ih > 0))
        return {};
    const double s = std::min(fitArea.width() / iw, fitArea.height() / ih) * zoom;
    const double w = iw * s;
    const double h = ih * s;
    return {(canvas.width() - w) / 2, (canvas.height() - h) / 2, w, h};
}

bool frameContains(const QRectF& frame, const QPointF& point)
{
    return point.x() >= frame.left() && point.x() < frame.right() && point.y() >= frame.top()
           && point.y() < frame.bottom();
}

QPointF clampToFrame(const QPointF& point, const QRectF& frame)
{
    return {std::clamp(point.x(), frame.left(), std::max(frame.left(), frame.right())),
            std::clamp(point.y(), frame.top(), std::max(frame.top(), frame.bottom()))};
}

QRectF markBox(const Rect& normalized, const QRectF& frame)
{
    const Rect n = normalized.standardized();
    return {frame.left() + n.x * frame.width(), frame.top() + (1 - (n.y + n.height)) * frame.height(),
            n.width * frame.width(), n.height * frame.height()};
}

std::optional<QRectF> activeDrag(const std::optional<QPointF>& start, const std::optional<QPointF>& end,
                                 const QRectF& frame)
{
    if (!start || !end)
        return std::nullopt;
    const QPointF a = clampToFrame(*start, frame);
    const QPointF b = clampToFrame(*end, frame);
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(a.x() - b.x()), std::abs(a.y() - b.y()));
}

Rect normalizedRect(const QRectF& rect, const QRectF& frame)
{
    return {(rect.left() - frame.left()) / frame.width(), 1 - (rect.bottom() - frame.top()) / frame.height(),
            rect.width() / frame.width(), rect.height() / frame.height()};
}

bool isLargeEnough(const QRectF& rect)
{
    return rect.width() >= kMinimumMarkSide && rect.height() >= kMinimumMarkSide;
}

namespace {

// One corner of the unit square, turned.
std::pair<double, double> turn(double x, double y, int rotation, bool back)
{
    const int quarter = ((rotation / 90) % 4 + 4) % 4;
    switch (back ? (4 - quarter) % 4 : quarter) {
    case 1: return {y, 1 - x};
    case 2: return {1 - x, 1 - y};
    case 3: return {1 - y, x};
    default: return {x, y};
    }
}

Rect turned(const Rect& r, int rotation, bool back)
{
    const Rect s = r.standardized();
    const auto [ax, ay] = turn(s.x, s.y, rotation, back);
    const auto [bx, by] = turn(s.x + s.width, s.y + s.height, rotation, back);
    return Rect{std::min(ax, bx), std::min(ay, by), std::abs(bx - ax), std::abs(by - ay)};
}

} // namespace

Rect shownFromPage(const Rect& normalized, int rotation)
{
    return turned(normalized, rotation, false);
}

Rect pageFromShown(const Rect& shown, int rotation)
{
    return turned(shown, rotation, true);
}

} // namespace inkveil::CanvasGeometry
