// Real Kodak files through the whole road: the banded DC50 and the plain DC120 decode
// to a plausible picture; the DC120's JPEG-coded file is refused cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "raw/core/DCRaw.h"
#include "tests/support/Samples.h"

namespace {

struct Decoded {
    bool loaded = false, processed = false;
    std::string status;
    uint16_t width = 0, height = 0;
    std::vector<uint16_t> pixels; // four values a pixel
};

Decoded decode(const std::string& name) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    Decoded d;
    const std::string path = testsupport::samplePath(name).string();
    d.loaded = decoder.loadFile(path, nullptr);
    if (d.loaded) {
        uint16_t* buffer = nullptr;
        d.processed = decoder.processFileAndCreateBuffer(path, &buffer, 0, &d.width, &d.height);
        if (buffer) d.pixels.assign(buffer, buffer + size_t(d.width) * d.height * 4);
        std::free(buffer);
    }
    d.status = decoder.dcStatus();
    return d;
}

struct ChannelStats {
    double mean[3] = {}, deviation[3] = {};
};

ChannelStats stats(const Decoded& d) {
    ChannelStats s;
    const double n = double(d.width) * d.height;
    for (int c = 0; c < 3; ++c) {
        double sum = 0, squares = 0;
        for (size_t i = size_t(c); i < d.pixels.size(); i += 4) {
            const double v = d.pixels[i] / 65535.0;
            sum += v;
            squares += v * v;
        }
        s.mean[c] = sum / n;
        s.deviation[c] = std::sqrt(std::max(0.0, squares / n - s.mean[c] * s.mean[c]));
    }
    return s;
}

struct Expected {
    const char* file;
    uint16_t width, height;
    double mean_low, mean_high; // of every channel, on a 0..1 scale
};

void expect_plausible(const Expected& e) {
    const Decoded d = decode(e.file);
    ASSERT_TRUE(d.loaded) << d.status;
    ASSERT_TRUE(d.processed) << d.status;
    EXPECT_EQ(d.status, "ok");
    EXPECT_EQ(d.width, e.width);
    EXPECT_EQ(d.height, e.height);
    const ChannelStats s = stats(d);
    for (int c = 0; c < 3; ++c) {
        EXPECT_GT(s.mean[c], e.mean_low) << "channel " << c;
        EXPECT_LT(s.mean[c], e.mean_high) << "channel " << c;
        EXPECT_GT(s.deviation[c], 0.05) << "channel " << c << " is flat";
        // Both pictures are mostly a white card: no channel may stray far from green.
        EXPECT_NEAR(s.mean[c] / s.mean[1], 1.0, 0.15) << "channel " << c << " casts a colour";
    }
}

} // namespace

TEST(KodakSampleDecode, BandedDc50) {
    LV_REQUIRE_SAMPLE("DC50_DC0008L.KDC");
    // Rendered data through the camera's curve: a bright picture of a colour chart.
    expect_plausible({"DC50_DC0008L.KDC", 768, 512, 0.42, 0.65});
}

TEST(KodakSampleDecode, DiagonalDc120) {
    LV_REQUIRE_SAMPLE("DC120_P003908_uncompressed.KDC");
    // Linear data, 848 columns stretched by the pixel aspect to 1301.
    expect_plausible({"DC120_P003908_uncompressed.KDC", 1301, 976, 0.14, 0.27});
}

TEST(KodakSampleDecode, JpegCodedDc120IsRefused) {
    LV_REQUIRE_SAMPLE("DC120_P003911_jpeg.KDC");
    const Decoded d = decode("DC120_P003911_jpeg.KDC");
    EXPECT_FALSE(d.loaded && d.processed);
    EXPECT_NE(d.status, "ok");
    EXPECT_FALSE(d.status.empty());
}
