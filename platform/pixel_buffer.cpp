#include "platform/pixel_buffer.h"
#include "platform/resource_limits.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace inkveil::platform {

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept
    : m_data(std::move(other.m_data)),
      m_capacity(std::exchange(other.m_capacity, 0)),
      m_width(std::exchange(other.m_width, 0)),
      m_height(std::exchange(other.m_height, 0)),
      m_components(std::exchange(other.m_components, 3)),
      m_white(std::exchange(other.m_white, false))
{
}

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept
{
    if (this != &other) {
        m_data = std::move(other.m_data);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_width = std::exchange(other.m_width, 0);
        m_height = std::exchange(other.m_height, 0);
        m_components = std::exchange(other.m_components, 3);
        m_white = std::exchange(other.m_white, false);
    }
    return *this;
}

void PixelBuffer::CountedFree::operator()(std::uint8_t* p) const
{
    const fz_alloc_context* allocator = limitedAllocator();
    allocator->free(allocator->user, p);
}

void PixelBuffer::reset(int width, int height, int components)
{
    if (width < 1 || height < 1 || (components != 1 && components != 3))
        throw std::bad_alloc();
    if (m_white && width == m_width && height == m_height && components == m_components)
        return;
    const std::size_t size = static_cast<std::size_t>(components * static_cast<std::ptrdiff_t>(width) + 1)
        * static_cast<std::size_t>(height);
    if (size > m_capacity) {
        // Empty, not a stale shape over no memory, should the allocation fail.
        m_data.reset();
        m_capacity = 0;
        m_width = m_height = 0;
        m_white = false;
        const fz_alloc_context* allocator = limitedAllocator();
        auto* block = static_cast<std::uint8_t*>(allocator->malloc(allocator->user, size));
        if (!block)
            throw std::bad_alloc();
        m_data.reset(block);
        m_capacity = size;
    }
    m_width = width;
    m_height = height;
    m_components = components;
    clear();
}

void PixelBuffer::clear()
{
    if (!m_data)
        return;
    std::memset(m_data.get(), 0xff, static_cast<std::size_t>(stride()) * static_cast<std::size_t>(m_height));
    m_white = true;
}

void PixelBuffer::fillBlack(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1)
{
    x0 = std::clamp<std::int64_t>(x0, 0, m_width);
    x1 = std::clamp<std::int64_t>(x1, 0, m_width);
    y0 = std::clamp<std::int64_t>(y0, 0, m_height);
    y1 = std::clamp<std::int64_t>(y1, 0, m_height);
    if (x0 >= x1 || y0 >= y1)
        return;
    for (std::int64_t y = y0; y < y1; ++y)
        std::memset(row(static_cast<int>(y)) + x0 * m_components, 0, static_cast<std::size_t>(x1 - x0) * m_components);
}

} // namespace inkveil::platform
