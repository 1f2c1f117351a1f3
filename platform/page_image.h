#pragma once

#include "platform/bitmap.h"

#include <QByteArray>

namespace inkveil::platform {

// A page bitmap in its smallest lossless form, Flate-compressed with PNG row
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

// Picks bilevel when every pixel is pure black or white, grey when no pixel has
// colour, RGB otherwise. Throws std::bad_alloc or std::runtime_error.
EncodedImage encodePageImage(const Bitmap& bitmap, int compressionLevel = 1);

} // namespace inkveil::platform
