#pragma once

// Procedural pictures for benchmark inputs: deterministic for a given seed, with
// the smooth gradients and fine texture that make real photos and scans hard to
// compress.

#include <cstdint>
#include <string>
#include <vector>

namespace inkveil::bench {

struct Raster {
    int width = 0;
    int height = 0;
    int components = 1; // 1 grey, 3 RGB
    std::vector<std::uint8_t> samples;
};

// A landscape-like colour photo: sky, hills, blurred blobs and grain.
Raster photo(int width, int height, std::uint32_t seed);

// A greyscale page scan at 300 dpi: off-white paper with shading and grain, and
// lines of dark, slightly soft glyph-like strokes.
Raster scan(int width, int height, std::uint32_t seed);

// Baseline JPEG bytes of the raster.
std::string jpeg(const Raster& raster, int quality);

} // namespace inkveil::bench
