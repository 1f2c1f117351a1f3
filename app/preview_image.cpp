#include "app/preview_image.h"

#include "platform/pdf_document.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace inkveil {

QImage renderPreview(platform::Context& ctx, platform::Page& page, int side, const std::function<bool()>& cancelled)
{
    const Rect box = page.mediaBox().standardized();
    if (!(box.width > 0) || !(box.height > 0) || !std::isfinite(box.width) || !std::isfinite(box.height))
        return {};
    const double scale = std::min(side / box.width, side / box.height);
    const int width = std::clamp(static_cast<int>(std::lround(box.width * scale)), 1, side);
    const int height = std::clamp(static_cast<int>(std::lround(box.height * scale)), 1, side);
    // Page space to pixels, y flipped: the box's lower-left corner lands bottom-left.
    const double sx = width / box.width;
    const double sy = height / box.height;
    const platform::Matrix toPixels{sx, 0, 0, -sy, -box.x * sx, height + box.y * sy};
    try {
        platform::Bitmap bitmap = platform::Bitmap::newRgb(ctx, width, height);
        fz_cookie cookie{};
        page.renderWithAnnotations(ctx, bitmap, toPixels, &cookie, cancelled);
        QImage image(width, height, QImage::Format_RGB888);
        const auto rowBytes = static_cast<size_t>(width) * 3;
        for (int y = 0; y < height; ++y)
            std::memcpy(image.scanLine(y), bitmap.row(y), rowBytes);
        // Shown as every viewer shows it; quarter turns move pixels exactly.
        if (page.rotation() != 0)
            return image.transformed(QTransform().rotate(page.rotation()));
        return image;
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace inkveil
