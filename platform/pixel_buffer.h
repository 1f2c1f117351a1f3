#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace inkveil::platform {

// An opaque page image in plain memory, grey (1 byte per pixel) or RGB (3),
// rows top-down, tied to no MuPDF context, so it may be handed from one thread
// to another. Each row is preceded by one spare byte: the rows can then be
// turned into PNG-predicted rows in place, without a second page-sized buffer.
class PixelBuffer {
public:
    PixelBuffer() = default;
    // A buffer moved from is empty.
    PixelBuffer(PixelBuffer&& other) noexcept;
    PixelBuffer& operator=(PixelBuffer&& other) noexcept;

    // Resizes to width × height with 1 or 3 components, filled white. Memory is
    // kept when it suffices, so a buffer reused page after page allocates once;
    // a buffer already whitened in that shape by clear() is not filled again.
    // Throws std::bad_alloc.
    void reset(int width, int height, int components = 3);
    // Fills white in the present shape: lets a thread with time to spare
    // prepare the buffer for its next page.
    void clear();

    int width() const { return m_width; }
    int height() const { return m_height; }
    int components() const { return m_components; }
    // Bytes from one row to the next: components × width + 1.
    std::ptrdiff_t stride() const { return m_components * static_cast<std::ptrdiff_t>(m_width) + 1; }
    std::uint8_t* row(int y)
    {
        m_white = false;
        return m_data.get() + 1 + y * stride();
    }
    const std::uint8_t* row(int y) const { return m_data.get() + 1 + y * stride(); }
    // The spare byte of row 0; the whole image is height × stride bytes from here.
    std::uint8_t* data()
    {
        m_white = false;
        return m_data.get();
    }

    // Sets every pixel of [x0, x1) × [y0, y1) (clipped to the image) to black.
    void fillBlack(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1);

private:
    // Counted against the same memory limit as MuPDF's own allocations.
    struct CountedFree {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t[], CountedFree> m_data;
    std::size_t m_capacity = 0;
    int m_width = 0;
    int m_height = 0;
    int m_components = 3;
    bool m_white = false; // untouched since it was filled white
};

} // namespace inkveil::platform
