#include "platform/bitmap.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace inkveil::platform {

Bitmap Bitmap::newRgb(Context& ctx, int width, int height)
{
    fz_pixmap* pix = nullptr;
    fz_var(pix);
    fz_try(ctx)
    {
        pix = fz_new_pixmap(ctx, fz_device_rgb(ctx), width, height, nullptr, 0);
        fz_clear_pixmap_with_value(ctx, pix, 0xff);
    }
    fz_catch(ctx)
    {
        fz_drop_pixmap(ctx, pix);
        ctx.throwCaught();
    }
    return Bitmap(ctx.get(), pix);
}

Bitmap::~Bitmap()
{
    if (m_pix)
        fz_drop_pixmap(m_ctx, m_pix);
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : m_ctx(std::exchange(other.m_ctx, nullptr)), m_pix(std::exchange(other.m_pix, nullptr))
{
}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept
{
    if (this != &other) {
        if (m_pix)
            fz_drop_pixmap(m_ctx, m_pix);
        m_ctx = std::exchange(other.m_ctx, nullptr);
        m_pix = std::exchange(other.m_pix, nullptr);
    }
    return *this;
}

int Bitmap::width() const { return m_pix ? fz_pixmap_width(m_ctx, m_pix) : 0; }
int Bitmap::height() const { return m_pix ? fz_pixmap_height(m_ctx, m_pix) : 0; }
std::ptrdiff_t Bitmap::stride() const { return m_pix ? fz_pixmap_stride(m_ctx, m_pix) : 0; }

std::uint8_t* Bitmap::row(int y)
{
    return fz_pixmap_samples(m_ctx, m_pix) + static_cast<std::ptrdiff_t>(y) * stride();
}

const std::uint8_t* Bitmap::row(int y) const
{
    return fz_pixmap_samples(m_ctx, m_pix) + static_cast<std::ptrdiff_t>(y) * stride();
}

void Bitmap::fillBlack(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1)
{
    x0 = std::clamp<std::int64_t>(x0, 0, width());
    x1 = std::clamp<std::int64_t>(x1, 0, width());
    y0 = std::clamp<std::int64_t>(y0, 0, height());
    y1 = std::clamp<std::int64_t>(y1, 0, height());
    if (x0 >= x1)
        return;
    for (std::int64_t y = y0; y < y1; ++y)
        std::memset(row(static_cast<int>(y)) + x0 * 3, 0, static_cast<size_t>(x1 - x0) * 3);
}

} // namespace inkveil::platform
