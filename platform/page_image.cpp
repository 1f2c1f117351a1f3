#include "platform/page_image.h"

#include <libdeflate.h>

#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

namespace inkveil::platform {

namespace {

// Within 24 bytes (8 pixels, 3 words), the byte pairs (j, j + 1) that lie inside
// one pixel: R–G and G–B.
constexpr std::uint64_t samePixelMask(int word)
{
    std::uint64_t mask = 0;
    for (int b = 0; b < 8; ++b) {
        if ((word * 8 + b) % 3 != 2)
            mask |= std::uint64_t{0xff} << (8 * b);
    }
    return mask;
}

std::uint64_t load64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Whether every byte is 0x00 or 0xff: each byte must equal its own top bit spread.
bool wordIsBilevel(std::uint64_t v)
{
    return v == ((v >> 7) & 0x0101010101010101ULL) * 0xff;
}

// Byte j of the result is byte j + 1 of the 24 bytes a0 a1 a2 (0 past the end).
std::uint64_t next0(std::uint64_t a0, std::uint64_t a1) { return (a0 >> 8) | (a1 << 56); }

// Whether the 8 pixels in a0 a1 a2 have R = G = B.
bool chunkIsGrey(std::uint64_t a0, std::uint64_t a1, std::uint64_t a2)
{
    constexpr std::uint64_t m0 = samePixelMask(0), m1 = samePixelMask(1), m2 = samePixelMask(2);
    return (((a0 ^ next0(a0, a1)) & m0) | ((a1 ^ next0(a1, a2)) & m1) | ((a2 ^ (a2 >> 8)) & m2)) == 0;
}

// One RGB row as 1 bit per pixel, set for white; false when a pixel is not
// pure black or white.
bool packBilevelRow(const std::uint8_t* rgb, int width, std::uint8_t* out)
{
    static_assert(std::endian::native == std::endian::little);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const std::uint8_t* p = rgb + 3 * x;
        const std::uint64_t a0 = load64(p), a1 = load64(p + 8), a2 = load64(p + 16);
        if (!(wordIsBilevel(a0) && wordIsBilevel(a1) && wordIsBilevel(a2) && chunkIsGrey(a0, a1, a2)))
            return false;
        out[x >> 3] = static_cast<std::uint8_t>((p[0] & 0x80) | (p[3] & 0x40) | (p[6] & 0x20) | (p[9] & 0x10)
                                                | (p[12] & 0x08) | (p[15] & 0x04) | (p[18] & 0x02) | (p[21] & 0x01));
    }
    if (x < width) {
        unsigned last = 0;
        for (int b = 0; x + b < width; ++b) {
            const std::uint8_t* p = rgb + 3 * (x + b);
            if ((p[0] != 0 && p[0] != 0xff) || p[0] != p[1] || p[1] != p[2])
                return false;
            last |= p[0] & (0x80u >> b);
        }
        out[x >> 3] = static_cast<std::uint8_t>(last);
    }
    return true;
}

// One grey row as 1 bit per pixel, set for white; false when a pixel is not
// pure black or white.
bool packBilevelGreyRow(const std::uint8_t* grey, int width, std::uint8_t* out)
{
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const std::uint64_t v = load64(grey + x);
        if (!wordIsBilevel(v))
            return false;
        // Each byte's top bit, the first byte's foremost: the multiplier moves
        // byte i's bit to bit 63 - i without carries.
        out[x >> 3] = static_cast<std::uint8_t>((((v >> 7) & 0x0101010101010101ULL) * 0x8040201008040201ULL) >> 56);
    }
    if (x < width) {
        unsigned last = 0;
        for (int b = 0; x + b < width; ++b) {
            const std::uint8_t g = grey[x + b];
            if (g != 0 && g != 0xff)
                return false;
            last |= g & (0x80u >> b);
        }
        out[x >> 3] = static_cast<std::uint8_t>(last);
    }
    return true;
}

// One RGB row as 8-bit grey; false when a pixel has colour.
bool packGreyRow(const std::uint8_t* rgb, int width, std::uint8_t* out)
{
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const std::uint8_t* p = rgb + 3 * x;
        if (!chunkIsGrey(load64(p), load64(p + 8), load64(p + 16)))
            return false;
        for (int i = 0; i < 8; ++i)
            out[x + i] = p[3 * i];
    }
    for (; x < width; ++x) {
        const std::uint8_t* p = rgb + 3 * x;
        if (p[0] != p[1] || p[1] != p[2])
            return false;
        out[x] = p[0];
    }
    return true;
}

// Rows [0, rows) packed as 1 bit per pixel at their place in base, widened in
// place to 8-bit samples with the given number of components. Backwards, as
// every widened byte lies at or after the bytes it comes from.
void widenBilevelRows(std::uint8_t* base, int width, int rows, int components)
{
    const std::size_t from = (static_cast<std::size_t>(width) + 7) / 8 + 1;
    const std::size_t to = static_cast<std::size_t>(width) * components + 1;
    for (int y = rows - 1; y >= 0; --y) {
        const std::uint8_t* src = base + y * from + 1;
        std::uint8_t* dst = base + y * to + 1;
        for (int x = width - 1; x >= 0; --x) {
            const std::uint8_t v = (src[x >> 3] & (0x80u >> (x & 7))) ? 0xff : 0;
            for (int c = components - 1; c >= 0; --c)
                dst[x * components + c] = v;
        }
    }
}

// As above, from 8-bit grey to RGB.
void widenGreyRows(std::uint8_t* base, int width, int rows)
{
    const std::size_t from = static_cast<std::size_t>(width) + 1;
    const std::size_t to = static_cast<std::size_t>(width) * 3 + 1;
    for (int y = rows - 1; y >= 0; --y) {
        const std::uint8_t* src = base + y * from + 1;
        std::uint8_t* dst = base + y * to + 1;
        for (int x = width - 1; x >= 0; --x)
            dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = src[x];
    }
}

// Per row, the cheaper of the None and Up predictors by the usual measure, the
// sum of the bytes taken as signed magnitudes; applied in place.
void predictRows(std::uint8_t* base, std::size_t rowBytes, int height)
{
    const std::size_t stride = rowBytes + 1;
    // Bottom-up, so that each row's upper neighbour is still unchanged.
    for (int y = height - 1; y >= 0; --y) {
        std::uint8_t* row = base + static_cast<std::size_t>(y) * stride;
        row[0] = 0;
        if (y == 0)
            break;
        std::uint8_t* cur = row + 1;
        const std::uint8_t* up = cur - stride;
        unsigned costNone = 0, costUp = 0;
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const auto none = static_cast<std::int8_t>(cur[i]);
            const auto diff = static_cast<std::int8_t>(static_cast<std::uint8_t>(cur[i] - up[i]));
            costNone += static_cast<unsigned>(none < 0 ? -none : none);
            costUp += static_cast<unsigned>(diff < 0 ? -diff : diff);
        }
        if (costUp < costNone) {
            for (std::size_t i = 0; i < rowBytes; ++i)
                cur[i] = static_cast<std::uint8_t>(cur[i] - up[i]);
            row[0] = 2;
        }
    }
}

} // namespace

PageImageEncoder::PageImageEncoder(int level) : m_compressor(libdeflate_alloc_compressor(level))
{
    if (!m_compressor)
        throw std::bad_alloc();
}

PageImageEncoder::~PageImageEncoder() { libdeflate_free_compressor(m_compressor); }

EncodedImage PageImageEncoder::encode(PixelBuffer& pixels)
{
    EncodedImage image;
    image.width = pixels.width();
    image.height = pixels.height();
    const int w = image.width;
    std::uint8_t* base = pixels.data();
    const std::size_t rgbStride = static_cast<std::size_t>(pixels.stride());
    const std::size_t bitBytes = (static_cast<std::size_t>(w) + 7) / 8;

    // One pass packs each row, in place, in the smallest form seen so far; a
    // row that needs more widens the rows before it and the pass goes on in the
    // wider form. A packed row never reaches the RGB samples of a later row.
    m_row.resize(static_cast<std::size_t>(w));
    EncodedImage::Color color = EncodedImage::Color::bilevel;
    if (pixels.components() == 1) {
        // Grey rows already lie where grey rows go: only bilevel packs further.
        for (int y = 0; y < image.height; ++y) {
            if (!packBilevelGreyRow(base + y * (static_cast<std::size_t>(w) + 1) + 1, w, m_row.data())) {
                widenBilevelRows(base, w, y, 1);
                color = EncodedImage::Color::gray;
                break;
            }
            std::memcpy(base + y * (bitBytes + 1) + 1, m_row.data(), bitBytes);
        }
    }
    for (int y = 0; pixels.components() == 3 && y < image.height && color != EncodedImage::Color::rgb; ++y) {
        const std::uint8_t* rgb = base + y * rgbStride + 1;
        if (color == EncodedImage::Color::bilevel) {
            if (packBilevelRow(rgb, w, m_row.data())) {
                std::memcpy(base + y * (bitBytes + 1) + 1, m_row.data(), bitBytes);
                continue;
            }
            const bool grey = packGreyRow(rgb, w, m_row.data());
            widenBilevelRows(base, w, y, grey ? 1 : 3);
            color = grey ? EncodedImage::Color::gray : EncodedImage::Color::rgb;
            if (grey)
                std::memcpy(base + y * (static_cast<std::size_t>(w) + 1) + 1, m_row.data(), static_cast<std::size_t>(w));
            continue;
        }
        if (packGreyRow(rgb, w, m_row.data())) {
            std::memcpy(base + y * (static_cast<std::size_t>(w) + 1) + 1, m_row.data(), static_cast<std::size_t>(w));
            continue;
        }
        widenGreyRows(base, w, y);
        color = EncodedImage::Color::rgb;
    }
    image.color = color;
    const std::size_t rowBytes = color == EncodedImage::Color::bilevel ? bitBytes
        : color == EncodedImage::Color::gray                          ? static_cast<std::size_t>(w)
                                                                       : static_cast<std::size_t>(w) * 3;
    predictRows(pixels.data(), rowBytes, image.height);

    const std::size_t size = (rowBytes + 1) * static_cast<std::size_t>(image.height);
    const std::size_t bound = libdeflate_zlib_compress_bound(m_compressor, size);
    if (bound > m_outCapacity) {
        m_out.reset();
        m_outCapacity = 0;
        m_out = std::make_unique_for_overwrite<std::uint8_t[]>(bound);
        m_outCapacity = bound;
    }
    const std::size_t written = libdeflate_zlib_compress(m_compressor, pixels.data(), size, m_out.get(), bound);
    if (written == 0)
        throw std::runtime_error("page image compression failed");
    image.data = QByteArray(reinterpret_cast<const char*>(m_out.get()), static_cast<qsizetype>(written));
    return image;
}

} // namespace inkveil::platform
