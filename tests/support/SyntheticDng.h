#pragma once
// Complete little DNG files of a made-up camera whose sensor sees linear sRGB through an
// RGGB filter (or a 6 x 6 X-Trans-like cell): for decoder tests, benchmarks and the sample
// bundled with the repository.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct LinearRgb {
    double r, g, b; // 0..1
};

// A test chart: a hue sweep, a grey wedge and six colour patches.
LinearRgb chartColour(int x, int y, int width, int height);

struct SyntheticDngSpec {
    int width = 64, height = 48;
    bool losslessJpeg = false; // else 16-bit uncompressed strips
    bool xtrans = false;       // a 6 x 6 cell of our own with the X-Trans proportions; strips only
    int rawImages = 1;         // equal-sized raw images, the later ones darker
    std::string make = "Lumivar";
    std::string model = "Synthetic RGGB";
    std::string dateTime = "2024:05:17 10:30:00";
    uint32_t exposure[2] = {1, 125}, fNumber[2] = {28, 10}, focalLength[2] = {50, 1};
    uint16_t iso = 200;
    uint16_t orientation = 1;
    uint16_t black = 64, white = 4095;
    std::vector<uint8_t> jpegThumbnail;           // a preview directory when not empty
    std::function<LinearRgb(int x, int y)> scene; // chartColour when empty
};

std::vector<uint8_t> buildSyntheticDng(const SyntheticDngSpec& spec);

} // namespace testsupport
