#pragma once

#include "core/geometry.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

// Between the page canvas (points, origin top left, y down) and normalized page
// space (the unit square is the media box, origin bottom left, y up). The page
// image shows the media box turned by the page's /Rotate, so the image frame
// stands for the box as shown (shownFromPage and pageFromShown turn it).
namespace inkveil::CanvasGeometry {

// A drag starts only once the pointer has moved this far from where it was pressed.
inline constexpr double kDragThreshold = 3.0;
// Both sides of a dragged rectangle must be at least this long to become a mark.
inline constexpr double kMinimumMarkSide = 4.0;

// Where an image of `image` size lies in a canvas of `canvas` size: scaled to
// fit with its shape kept, centred. Empty when either image side is not positive.
QRectF imageFrame(const QSizeF& canvas, const QSizeF& image);

// The frame at a zoom: the image fitted into `fitArea`, scaled by zoom, centred
// in the canvas. At zoom 1 with fitArea equal to the canvas it is imageFrame.
QRectF zoomedFrame(const QSizeF& canvas, const QSizeF& fitArea, const QSizeF& image, double zoom);

// Whether a drag that begins at point begins on the image (left and top edges
// included, right and bottom excluded).
bool frameContains(const QRectF& frame, const QPointF& point);

QPointF clampToFrame(const QPointF& point, const QRectF& frame);

// The canvas rectangle that shows a normalized rectangle.
QRectF markBox(const Rect& normalized, const QRectF& frame);

// The rectangle between two drag points, both clamped to the frame; nothing
// while either point is missing.
std::optional<QRectF> activeDrag(const std::optional<QPointF>& start, const std::optional<QPointF>& end,
                                 const QRectF& frame);

// The normalized rectangle of a canvas rectangle within the frame.
Rect normalizedRect(const QRectF& rect, const QRectF& frame);

// Between the page's own normalized space and the page as shown, turned
// clockwise by its /Rotate (0, 90, 180 or 270); both y up.
Rect shownFromPage(const Rect& normalized, int rotation);
Rect pageFromShown(const Rect& shown, int rotation);

// Whether a released drag rectangle is large enough to become a mark.
bool isLargeEnough(const QRectF& rect);

} // namespace inkveil::CanvasGeometry
