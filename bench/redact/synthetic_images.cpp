#include "bench/redact/synthetic_images.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace inkveil::bench {

namespace {

std::uint32_t mix(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Uniform in [0, 1) for a lattice point.
double lattice(int ix, int iy, std::uint32_t seed)
{
    const std::uint32_t h = mix(static_cast<std::uint32_t>(ix) * 0x9E3779B1U ^ mix(static_cast<std::uint32_t>(iy) + seed));
    return (h >> 8) * (1.0 / 16777216.0);
}

// Smooth value noise in [0, 1).
double valueNoise(double x, double y, std::uint32_t seed)
{
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    double fx = x - ix, fy = y - iy;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const double a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
    const double c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

double fbm(double x, double y, std::uint32_t seed, int octaves)
{
    double sum = 0, amplitude = 0.5, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * valueNoise(x, y, seed + static_cast<std::uint32_t>(o) * 101);
        norm += amplitude;
        x *= 2.03;
        y *= 2.03;
        amplitude *= 0.5;
    }
    return sum / norm;
}

std::uint8_t clampByte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// Small, fast per-pixel grain in [-1, 1].
double grain(int x, int y, std::uint32_t seed)
{
    return lattice(x, y, seed ^ 0xA5A5A5A5U) * 2 - 1;
}

} // namespace

Raster photo(int width, int height, std::uint32_t seed)
{
    Raster r{width, height, 3, std::vector<std::uint8_t>(static_cast<size_t>(width) * height * 3)};
    struct Blob { double x, y, radius, rgb[3]; };
    std::vector<Blob> blobs;
    for (int i = 0; i < 7; ++i) {
        const auto h = [&](int k) { return lattice(i, k, seed + 7); };
        blobs.push_back({h(0), 0.45 + 0.5 * h(1), 0.04 + 0.1 * h(2), {40 + 120 * h(3), 60 + 120 * h(4), 30 + 90 * h(5)}});
    }
    for (int y = 0; y < height; ++y) {
        const double v = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            const double horizon = 0.42 + 0.12 * fbm(u * 3, 0.5, seed, 3);
            double rgb[3];
            if (v < horizon) {
                const double t = v / horizon;
                const double cloud = std::max(0.0, fbm(u * 6, v * 12, seed + 3, 4) - 0.55) * 2.2;
                rgb[0] = 95 + 110 * t + 150 * cloud;
                rgb[1] = 150 + 70 * t + 100 * cloud;
                rgb[2] = 225 + 20 * t + 40 * cloud;
            } else {
                const double t = (v - horizon) / (1 - horizon);
                const double texture = fbm(u * 40, v * 30, seed + 5, 4);
                rgb[0] = 70 + 60 * t + 70 * texture;
                rgb[1] = 110 + 30 * t + 60 * texture;
                rgb[2] = 40 + 20 * t + 30 * texture;
            }
            for (const Blob& b : blobs) {
                const double d = std::hypot((u - b.x) * width / height, v - b.y) / b.radius;
                if (d < 1) {
                    const double w = std::min(1.0, (1 - d) * 4) * (0.7 + 0.3 * fbm(u * 50, v * 50, seed + 11, 2));
                    for (int c = 0; c < 3; ++c)
                        rgb[c] = rgb[c] * (1 - w) + b.rgb[c] * w;
                }
            }
            const double g = 9 * grain(x, y, seed);
            std::uint8_t* p = &r.samples[(static_cast<size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c)
                p[c] = clampByte(rgb[c] + g);
        }
    }
    return r;
}

Raster scan(int width, int height, std::uint32_t seed)
{
    // Ink coverage first, 0..255, then softened and laid over the paper.
    std::vector<std::uint8_t> ink(static_cast<size_t>(width) * height, 0);
    auto stroke = [&](int x0, int y0, int x1, int y1) {
        for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
            std::fill(ink.begin() + static_cast<std::ptrdiff_t>(y) * width + std::max(0, x0),
                      ink.begin() + static_cast<std::ptrdiff_t>(y) * width + std::min(width, x1), 255);
    };
    const int margin = 300, lineHeight = 50, xHeight = 22, ascender = 32;
    std::uint32_t state = seed * 2654435761U + 1;
    auto next = [&](int n) {
        state = mix(state + 0x6D2B79F5U);
        return static_cast<int>(state % static_cast<std::uint32_t>(n));
    };
    for (int base = margin + ascender; base < height - margin; base += lineHeight) {
        if (next(12) == 0)
            continue; // paragraph break
        const int lineEnd = next(8) == 0 ? margin + (width - 2 * margin) / 2 + next(600) : width - margin;
        int x = margin + (next(6) == 0 ? 80 : 0);
        while (x < lineEnd - 60) {
            const int letters = 2 + next(9);
            for (int l = 0; l < letters && x < lineEnd; ++l) {
                const int w = 16 + next(10);
                const int top = base - (next(4) == 0 ? ascender : xHeight);
                stroke(x + 2, top, x + 6, base);
                if (next(2))
                    stroke(x + w - 8, base - xHeight, x + w - 4, base);
                const int bar = next(3);
                if (bar == 0)
                    stroke(x + 2, base - xHeight, x + w - 4, base - xHeight + 4);
                else if (bar == 1)
                    stroke(x + 2, base - 4, x + w - 4, base);
                x += w + 3;
            }
            x += 18;
        }
    }

    Raster r{width, height, 1, std::vector<std::uint8_t>(static_cast<size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int sum = 0, n = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx >= 0 && sy >= 0 && sx < width && sy < height) {
                        sum += ink[static_cast<size_t>(sy) * width + sx];
                        ++n;
                    }
                }
            }
            const double coverage = sum / (255.0 * n);
            const double paper = 236 + 10 * (valueNoise(x / 500.0, y / 500.0, seed) - 0.5) - 6.0 * y / height;
            const double value = paper * (1 - coverage) + 38 * coverage + 6 * grain(x, y, seed);
            r.samples[static_cast<size_t>(y) * width + x] = clampByte(value);
        }
    }
    return r;
}

std::string jpeg(const Raster& raster, int quality)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(raster.width);
    cinfo.image_height = static_cast<JDIMENSION>(raster.height);
    cinfo.input_components = raster.components;
    cinfo.in_color_space = raster.components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(raster.width) * raster.components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&raster.samples[cinfo.next_scanline * stride]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

} // namespace inkveil::bench
