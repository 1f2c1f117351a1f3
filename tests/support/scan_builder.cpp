#include "tests/support/scan_builder.h"
#include "tests/support/pdf_builder.h"

#include "platform/mu_context.h"
#include "platform/pdf_document.h"
#include "platform/pixel_buffer.h"

#include <QByteArray>

#include <cmath>
#include <random>
#include <string>
#include <algorithm>
#include <stdexcept>
#include <vector>

namespace inkveil::test {

namespace {

struct ScanImage {
    int width = 0;
    int height = 0;
    bool bilevel = false;
    std::string flate; // zlib-compressed samples
};

std::string num(double v)
{
    return QByteArray::number(v, 'f', 4).toStdString();
}

// The sheet turned about its centre (bilinear, white outside), with grain and
// a few dark specks.
std::vector<std::uint8_t> scanned(const platform::PixelBuffer& page, const ScanStyle& style)
{
    const int w = page.width(), h = page.height();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h);
    const double a = style.degrees * M_PI / 180.0;
    const double cs = std::cos(a), sn = std::sin(a);
    const double cx = w / 2.0, cy = h / 2.0;
    std::mt19937 random(style.seed);
    std::uniform_int_distribution<int> grain(-style.noise, style.noise);
    std::uniform_int_distribution<int> speck(0, 4000);
    const auto at = [&](int x, int y) -> double {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return 255.0;
        return page.row(y)[x];
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double sx = cs * (x - cx) + sn * (y - cy) + cx;
            const double sy = -sn * (x - cx) + cs * (y - cy) + cy;
            const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
            const double fx = sx - x0, fy = sy - y0;
            double v = (at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx) * (1 - fy)
                + (at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx) * fy;
            v += grain(random);
            if (speck(random) == 0)
                v = 40;
            out[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    }
    return out;
}

ScanImage encode(const std::vector<std::uint8_t>& grey, int w, int h, bool bilevel)
{
    QByteArray samples;
    if (bilevel) {
        const int rowBytes = (w + 7) / 8;
        samples.fill('\0', static_cast<qsizetype>(rowBytes) * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (grey[static_cast<std::size_t>(y) * w + x] >= 128)
                    samples[y * rowBytes + x / 8] = static_cast<char>(samples[y * rowBytes + x / 8] | (0x80 >> (x % 8)));
            }
        }
    } else {
        samples = QByteArray(reinterpret_cast<const char*>(grey.data()), static_cast<qsizetype>(grey.size()));
    }
    // qCompress puts the length in front of a zlib stream.
    const QByteArray z = qCompress(samples, 6).mid(4);
    return ScanImage{w, h, bilevel, z.toStdString()};
}

} // namespace

std::vector<std::string> scanPictures(const QString& source, const ScanStyle& style)
{
    platform::Context ctx;
    auto document = platform::Document::open(ctx, source);
    if (!document)
        throw std::runtime_error("not a readable PDF");
    std::vector<std::string> pictures;
    for (int i = 0; i < document->pageCount(); ++i) {
        auto page = document->page(i);
        if (!page)
            throw std::runtime_error("a page cannot be fetched");
        const Rect box = page->mediaBox().standardized();
        const double scale = style.dpi / 72.0;
        const int w = static_cast<int>(std::lround(box.width * scale));
        const int h = static_cast<int>(std::lround(box.height * scale));
        platform::PixelBuffer pixels;
        pixels.reset(w, h, 1);
        const platform::Matrix toPixel{scale, 0, 0, -scale, -box.x * scale, h + box.y * scale};
        page->renderContents(ctx, pixels, toPixel, nullptr);
        const std::vector<std::uint8_t> grey = scanned(pixels, style);
        const std::string head = "/Type /XObject /Subtype /Image /Width " + std::to_string(w) + " /Height "
            + std::to_string(h) + " /ColorSpace /DeviceGray ";
        if (style.jpeg && !style.bilevel) {
            pictures.push_back(streamObject(style.jpeg(grey, w, h), head + "/BitsPerComponent 8 /Filter /DCTDecode"));
        } else {
            const ScanImage image = encode(grey, w, h, style.bilevel);
            pictures.push_back(streamObject(
                image.flate, head + "/BitsPerComponent " + (image.bilevel ? "1" : "8") + " /Filter /FlateDecode"));
        }
    }
    return pictures;
}

QByteArray scanOf(const QString& source, const ScanStyle& style)
{
    const std::vector<std::string> pictures = scanPictures(source, style);
    platform::Context ctx;
    auto document = platform::Document::open(ctx, source);
    PdfBuilder pdf;
    for (int i = 0; i < document->pageCount(); ++i) {
        const Rect box = document->page(i)->mediaBox().standardized();
        const int object = pdf.object(pictures[static_cast<std::size_t>(i)]);
        PageSpec layout;
        layout.box[0] = box.x;
        layout.box[1] = box.y;
        layout.box[2] = box.x + box.width;
        layout.box[3] = box.y + box.height;
        layout.extraResources = "/XObject << /Scan " + std::to_string(object) + " 0 R >>";
        layout.extraContent = "q " + num(box.width) + " 0 0 " + num(box.height) + " " + num(box.x) + " " + num(box.y)
            + " cm /Scan Do Q";
        pdf.page(std::move(layout));
    }
    return pdf.build();
}

} // namespace inkveil::test
