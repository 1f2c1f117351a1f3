#pragma once

#include "platform/mu_context.h"

#include <cstdint>

namespace inkveil::platform {

// An opaque RGB pixmap (3 bytes per pixel, rows top-down), owned.
class Bitmap {
public:
    Bitmap() = default;
    // Filled white. Throws PdfError when it cannot be allocated.
    static Bitmap newRgb(Context& ctx, int width, int height);
    ~Bitmap();
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int width() const;
    int height() const;
    std::ptrdiff_t stride() const;
    std::uint8_t* row(int y);
    const std::uint8_t* row(int y) const;
    fz_pixmap* get() const { return m_pix; }

    // Sets every pixel of [x0, x1) × [y0, y1) (clipped to the bitmap) to black.
    void fillBlack(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1);

private:
    Bitmap(fz_context* ctx, fz_pixmap* pix) : m_ctx(ctx), m_pix(pix) {}
    fz_context* m_ctx = nullptr;
    fz_pixmap* m_pix = nullptr;
};

} // namespace inkveil::platform
