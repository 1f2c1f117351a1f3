#include "platform/page_image.h"

#include <zlib.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace inkveil::platform {

namespace {

EncodedImage::Color smallestForm(const Bitmap& bitmap)
{
    bool bilevel = true;
    const int w = bitmap.width();
    for (int y = 0; y < bitmap.height(); ++y) {
        const std::uint8_t* p = bitmap.row(y);
        for (int x = 0; x < w; ++x, p += 3) {
            if (p[0] != p[1] || p[1] != p[2])
                return EncodedImage::Color::rgb;
            if (p[0] != 0 && p[0] != 0xff)
                bilevel = false;
        }
    }
    return bilevel ? EncodedImage::Color::bilevel : EncodedImage::Color::gray;
}

// Packs one bitmap row into the image's sample layout.
void packRow(const std::uint8_t* src, int width, EncodedImage::Color color, std::uint8_t* out)
{
    switch (color) {
    case EncodedImage::Color::rgb:
        std::copy(src, src + static_cast<std::ptrdiff_t>(width) * 3, out);
        break;
    case EncodedImage::Color::gray:
        for (int x = 0; x < width; ++x)
            out[x] = src[3 * x];
        break;
    case EncodedImage::Color::bilevel: {
        const int bytes = (width + 7) / 8;
        std::fill(out, out + bytes, 0);
        for (int x = 0; x < width; ++x) {
            if (src[3 * x])
                out[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
        }
        break;
    }
    }
}

class Deflater {
public:
    explicit Deflater(int level, QByteArray& out) : m_out(out)
    {
        if (deflateInit(&m_stream, level) != Z_OK)
            throw std::runtime_error("zlib initialisation failed");
    }
    ~Deflater() { deflateEnd(&m_stream); }

    void add(const std::uint8_t* data, size_t size, int flush = Z_NO_FLUSH)
    {
        m_stream.next_in = const_cast<Bytef*>(data);
        m_stream.avail_in = static_cast<uInt>(size);
        int rc;
        do {
            std::uint8_t chunk[64 * 1024];
            m_stream.next_out = chunk;
            m_stream.avail_out = sizeof chunk;
            rc = deflate(&m_stream, flush);
            if (rc == Z_STREAM_ERROR)
                throw std::runtime_error("zlib compression failed");
            m_out.append(reinterpret_cast<const char*>(chunk), static_cast<qsizetype>(sizeof chunk - m_stream.avail_out));
        } while (m_stream.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
    }

private:
    z_stream m_stream{};
    QByteArray& m_out;
};

} // namespace

EncodedImage encodePageImage(const Bitmap& bitmap, int compressionLevel)
{
    EncodedImage image;
    image.width = bitmap.width();
    image.height = bitmap.height();
    image.color = smallestForm(bitmap);

    const size_t rowBytes = image.color == EncodedImage::Color::bilevel
        ? static_cast<size_t>((image.width + 7) / 8)
        : static_cast<size_t>(image.width) * static_cast<size_t>(image.components());
    std::vector<std::uint8_t> previous(rowBytes, 0), current(rowBytes), up(rowBytes + 1);

    Deflater deflater(compressionLevel, image.data);
    for (int y = 0; y < image.height; ++y) {
        packRow(bitmap.row(y), image.width, image.color, current.data());
        // Per row, the cheaper of the None and Up predictors, judged by the usual
        // sum of absolute signed differences.
        long costNone = 0, costUp = 0;
        up[0] = 2;
        for (size_t i = 0; i < rowBytes; ++i) {
            const auto d = static_cast<std::uint8_t>(current[i] - previous[i]);
            up[i + 1] = d;
            costNone += std::abs(static_cast<std::int8_t>(current[i]));
            costUp += std::abs(static_cast<std::int8_t>(d));
        }
        if (costUp < costNone) {
            deflater.add(up.data(), up.size());
        } else {
            const std::uint8_t none = 0;
            deflater.add(&none, 1);
            deflater.add(current.data(), rowBytes);
        }
        std::swap(previous, current);
    }
    deflater.add(nullptr, 0, Z_FINISH);
    return image;
}

} // namespace inkveil::platform
