#pragma once

// Makes scans for the tests and benchmarks: each page of a PDF drawn to grey,
// turned slightly and speckled as a scanner would, then written back as a
// page that holds nothing but that picture.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace inkveil::test {

struct ScanStyle {
    int dpi = 200;
    double degrees = 0.6;   // clockwise turn of the sheet
    int noise = 24;         // grain amplitude, grey levels either way
    bool bilevel = false;   // 1 bit per pixel, as a fax or a document scanner gives
    std::uint32_t seed = 1;
    // Encodes grey samples (width × height, rows top-down) as a JPEG; when
    // set, grey pages are stored that way instead of losslessly.
    std::function<std::string(const std::vector<std::uint8_t>&, int, int)> jpeg;
};

// The scan of each page of the PDF at source, as the body of an image XObject.
// Throws std::runtime_error when a page cannot be drawn.
std::vector<std::string> scanPictures(const QString& source, const ScanStyle& style);

// The image-only PDF of the PDF at source, one picture per page at the page's
// size. Throws std::runtime_error when a page cannot be drawn.
QByteArray scanOf(const QString& source, const ScanStyle& style);

} // namespace inkveil::test
