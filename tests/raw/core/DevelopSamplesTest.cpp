// Real files through the whole road, to a re-oriented linear buffer.
#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "raw/core/DCRaw.h"
#include "tests/support/Samples.h"

namespace {

struct Developed {
    std::vector<uint16_t> pixels; // four values a pixel
    int width = 0, height = 0;
};

// Develops a sample to a buffer as the application does.
void develop(const char* name, Developed& result) {
    LV_REQUIRE_SAMPLE(name);
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    decoder.setOutputColorSpace(4);
    decoder.setRecoverHighlights(true);
    const std::string path = testsupport::samplePath(name).string();
    ASSERT_TRUE(decoder.loadFile(path, nullptr)) << decoder.dcStatus();
    uint16_t* buffer = nullptr;
    uint16_t w = 0, h = 0;
    const bool ok = decoder.processFileAndCreateBuffer(path, &buffer, 0, &w, &h);
    if (ok) result.pixels.assign(buffer, buffer + size_t(w) * h * 4);
    std::free(buffer);
    ASSERT_TRUE(ok) << decoder.dcStatus();
    result.width = w;
    result.height = h;
}

// A grey rendering of a JPEG held inside a file.
std::vector<uint8_t> grey_jpeg(const std::string& path, long offset, size_t length, int& width, int& height) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> jpeg(length);
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(jpeg.data()), std::streamsize(length));
    tjhandle tj = tjInitDecompress();
    int subsampling = 0, colourspace = 0;
    std::vector<uint8_t> grey;
    if (tjDecompressHeader3(tj, jpeg.data(), length, &width, &height, &subsampling, &colourspace) == 0) {
        grey.resize(size_t(width) * height);
        if (tjDecompress2(tj, jpeg.data(), length, grey.data(), width, 0, height, TJPF_GRAY, 0) != 0)
            grey.clear();
    }
    tjDestroy(tj);
    return grey;
}

// Pearson correlation of 16 x 16 block means of two images of the same shape.
double block_correlation(int height, int width, const std::function<double(int, int)>& a,
                         const std::function<double(int, int)>& b) {
    std::vector<double> x, y;
    for (int r = 0; r + 16 <= height; r += 16)
        for (int c = 0; c + 16 <= width; c += 16) {
            double sa = 0, sb = 0;
            for (int i = r; i < r + 16; ++i)
                for (int j = c; j < c + 16; ++j) {
                    sa += a(i, j);
                    sb += b(i, j);
                }
            x.push_back(sa);
            y.push_back(sb);
        }
    const double n = double(x.size());
    double mx = 0, my = 0;
    for (size_t i = 0; i < x.size(); ++i)
        mx += x[i] / n, my += y[i] / n;
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

} // namespace

TEST(DevelopSamplesTest, Pixel7DngLeavesUprightAndAgreesWithItsPreview) {
    Developed d;
    develop("Pixel7_small.dng", d);
    if (IsSkipped() || HasFatalFailure()) return;
    // The sensor is 510 x 382; orientation 8 (turned a quarter to the left) stands it up.
    ASSERT_EQ(d.width, 382);
    ASSERT_EQ(d.height, 510);

    // The embedded preview (IFD0 strip, 510 x 382 as stored, same orientation tag).
    int pw = 0, ph = 0;
    const std::vector<uint8_t> preview =
        grey_jpeg(testsupport::samplePath("Pixel7_small.dng").string(), 3303790, 6910, pw, ph);
    ASSERT_EQ(pw, 510);
    ASSERT_EQ(ph, 382);
    // A dark frame (sensor data at the black level, the camera's own preview black) holds no
    // picture to compare: the developed image must then be dark as well.
    if (*std::max_element(preview.begin(), preview.end()) < 16) {
        uint16_t brightest = 0;
        for (size_t i = 0; i < d.pixels.size(); i += 4)
            brightest = std::max({brightest, d.pixels[i], d.pixels[i + 1], d.pixels[i + 2]});
        EXPECT_LT(brightest, 65535 / 64) << "a black preview, but light in the developed image";
        return;
    }
    auto developed = [&](int i, int j) {
        const uint16_t* p = &d.pixels[(size_t(i) * d.width + j) * 4];
        return std::pow((0.2 * p[0] + 0.7 * p[1] + 0.1 * p[2]) / 65535.0, 1 / 2.2);
    };
    // Displayed (i, j) of the stored preview under each turning that gives this shape.
    struct Turn {
        int tiff_orientation;
        std::function<double(int, int)> shown;
    };
    const Turn turns[] = {
        {8, [&](int i, int j) { return double(preview[size_t(j) * pw + (pw - 1 - i)]); }},
        {6, [&](int i, int j) { return double(preview[size_t(ph - 1 - j) * pw + i]); }},
        {5, [&](int i, int j) { return double(preview[size_t(j) * pw + i]); }},
        {7, [&](int i, int j) { return double(preview[size_t(ph - 1 - j) * pw + (pw - 1 - i)]); }},
    };
    double best = -2, right = 0;
    int best_turn = 0;
    for (const auto& t : turns) {
        const double r = block_correlation(d.height, d.width, developed, t.shown);
        if (t.tiff_orientation == 8) right = r;
        if (r > best) best = r, best_turn = t.tiff_orientation;
    }
    EXPECT_EQ(best_turn, 8) << "the developed image matches another turning of the preview better";
    EXPECT_GT(right, 0.6) << "the developed image does not look like the camera's preview";
}
