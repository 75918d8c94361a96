// make_bench_dng: a realistic raw for timing the whole road. A developed photograph (a 16-bit
// linear PPM, e.g. from `lumivar-decode -4 -w -c`) is cropped to 3:2, upscaled bilinearly to
// WIDTH x HEIGHT, re-mosaiced through an RGGB filter and given shot and read noise, then written
// as an uncompressed 16-bit DNG of the synthetic camera (linear sRGB primaries). Not installed.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/SyntheticDng.h"

namespace {

struct Photo {
    int width = 0, height = 0;
    std::vector<float> rgb; // linear, 0..1
};

bool readPpm(const std::string& path, Photo& photo, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    in >> magic >> photo.width >> photo.height >> maxValue;
    in.get();
    if (!in || magic != "P6" || photo.width <= 0 || photo.height <= 0 || maxValue <= 0 || maxValue > 65535) {
        why = "not a binary PPM";
        return false;
    }
    const int bytes = maxValue > 255 ? 2 : 1;
    std::vector<unsigned char> data(size_t(photo.width) * photo.height * 3 * bytes);
    if (!in.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()))) {
        why = "PPM shorter than its header says";
        return false;
    }
    photo.rgb.resize(size_t(photo.width) * photo.height * 3);
    for (size_t i = 0; i < photo.rgb.size(); ++i) {
        const unsigned v = bytes == 2 ? (unsigned(data[2 * i]) << 8 | data[2 * i + 1]) : data[i];
        photo.rgb[i] = float(v) / float(maxValue);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: make_bench_dng IN.ppm OUT.dng [WIDTH HEIGHT [EXPOSURE]]\n";
        return 2;
    }
    Photo photo;
    std::string why;
    if (!readPpm(argv[1], photo, why)) {
        std::cerr << "make_bench_dng: " << argv[1] << ": " << why << "\n";
        return 1;
    }
    testsupport::SyntheticDngSpec spec;
    spec.width = argc > 4 ? std::stoi(argv[3]) : 6000;
    spec.height = argc > 4 ? std::stoi(argv[4]) : 4000;
    const double exposure = argc > 5 ? std::stod(argv[5]) : 1.0;
    // A 14-bit sensor in 16-bit samples, as most cameras store it.
    spec.black = 512;
    spec.white = 16383;
    spec.model = "Synthetic RGGB 24MP";

    // The largest centred crop of the target's shape, mapped pixel centre to pixel centre.
    const double aspect = double(spec.width) / spec.height;
    double cropW = photo.width, cropH = photo.width / aspect;
    if (cropH > photo.height) cropH = photo.height, cropW = photo.height * aspect;
    const double x0 = (photo.width - cropW) / 2, y0 = (photo.height - cropH) / 2;
    const double sx = cropW / spec.width, sy = cropH / spec.height;

    // Shot noise of a sensor with a 20000-electron full well, and 4 electrons of read noise.
    constexpr double kFullWell = 20000, kReadNoise = 4;
    std::mt19937 random(54);
    std::normal_distribution<double> normal;
    spec.scene = [&](int x, int y) {
        const double fx = std::clamp(x0 + (x + 0.5) * sx - 0.5, 0.0, photo.width - 1.0);
        const double fy = std::clamp(y0 + (y + 0.5) * sy - 0.5, 0.0, photo.height - 1.0);
        const int ix = std::min(int(fx), photo.width - 2), iy = std::min(int(fy), photo.height - 2);
        const double ax = fx - ix, ay = fy - iy;
        double c[3];
        for (int k = 0; k < 3; ++k) {
            const auto at = [&](int px, int py) {
                return photo.rgb[(size_t(py) * photo.width + px) * 3 + k];
            };
            const double top = at(ix, iy) * (1 - ax) + at(ix + 1, iy) * ax;
            const double bottom = at(ix, iy + 1) * (1 - ax) + at(ix + 1, iy + 1) * ax;
            const double electrons = std::max(0.0, (top * (1 - ay) + bottom * ay) * exposure) * kFullWell;
            // One draw serves the one colour the filter keeps; the others are thrown away.
            c[k] = electrons;
        }
        const double noise = normal(random);
        testsupport::LinearRgb out{};
        double* slot[3] = {&out.r, &out.g, &out.b};
        for (int k = 0; k < 3; ++k)
            *slot[k] = (c[k] + noise * std::sqrt(c[k] + kReadNoise * kReadNoise)) / kFullWell;
        return out;
    };
    const auto bytes = testsupport::buildSyntheticDng(spec);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::cerr << "make_bench_dng: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
