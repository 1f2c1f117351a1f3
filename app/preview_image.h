#pragma once

#include <QImage>

#include <functional>

namespace inkveil {

namespace platform {
class Context;
class Page;
} // namespace platform

// The longest side of a preview image, in pixels.
inline constexpr int kPreviewSide = 1200;

// The page's media box turned by its /Rotate, as viewers show it, with its annotations,
// scaled to fit side × side while keeping its shape. A null image when the box is
// empty, the page cannot be drawn, or cancelled (asked from any thread) says so.
QImage renderPreview(platform::Context& ctx, platform::Page& page, int side = kPreviewSide,
                     const std::function<bool()>& cancelled = {});

} // namespace inkveil
