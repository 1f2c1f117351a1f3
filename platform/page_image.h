#pragma once

#include "platform/pixel_buffer.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct libdeflate_compressor;

namespace inkveil::platform {

// A page image in its smallest lossless form, Flate-compressed with PNG row
// predictors, ready to be copied into a PDF image stream as is.
struct EncodedImage {
    enum class Color { bilevel, gray, rgb };
    int width = 0;
    int height = 0;
    Color color = Color::rgb;
    QByteArray data;

    int components() const { return color == Color::rgb ? 3 : 1; }
    int bitsPerComponent() const { return color == Color::bilevel ? 1 : 8; }
};

// Compresses page images. It keeps its compressor and scratch memory from one
// page to the next: make one per thread and reuse it.
class PageImageEncoder {
public:
    // level: 1 (fastest) to 12 (smallest).
    explicit PageImageEncoder(int level = kDefaultLevel);
    ~PageImageEncoder();
    PageImageEncoder(const PageImageEncoder&) = delete;
    PageImageEncoder& operator=(const PageImageEncoder&) = delete;

    // Encodes in the smallest lossless form: bilevel when every pixel is pure
    // black or white, grey when no pixel has colour, RGB otherwise; None or Up
    // predictor per row. Works in place: the pixels are overwritten. Throws
    // std::bad_alloc or std::runtime_error.
    EncodedImage encode(PixelBuffer& pixels);

    // Page images are mostly flat areas and repeated rows, which the fast
    // levels already find; higher levels cost far more time than they save bytes.
    static constexpr int kDefaultLevel = 1;

private:
    libdeflate_compressor* m_compressor = nullptr;
    std::vector<std::uint8_t> m_row;
    std::unique_ptr<std::uint8_t[]> m_out;
    std::size_t m_outCapacity = 0;
};

} // namespace inkveil::platform
