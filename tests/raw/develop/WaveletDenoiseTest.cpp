#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "raw/develop/SensorPrep.h"
#include "tests/raw/SensorFixture.h"

using sensortest::Sensor;

namespace {

struct Stats {
    double mean, deviation;
};

Stats slotStats(const Sensor& t, int slot) {
    double sum = 0, squares = 0;
    const uint64_t n = t.pixelCount();
    for (uint64_t i = 0; i < n; ++i)
        sum += t.s.pixel_image[i][slot];
    const double mean = sum / n;
    for (uint64_t i = 0; i < n; ++i)
        squares += std::pow(t.s.pixel_image[i][slot] - mean, 2);
    return {mean, std::sqrt(squares / n)};
}

} // namespace

TEST(WaveletDenoise, SmoothsNoiseAndKeepsTheLevel) {
    Sensor t(64, 64);
    t.s.cfa_pattern = 0;
    t.s.white_level = 4095;
    t.s.black_level = 10;
    t.s.channel_black[0] = 10;
    t.s.denoise_threshold = 700;
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(1000, 30);
    for (uint64_t i = 0; i < t.pixelCount(); ++i)
        for (int c = 0; c < 3; ++c)
            t.s.pixel_image[i][c] = uint16_t(noise(rng));
    const Stats before = slotStats(t, 1);
    raw::wavelet_denoise(t.s);
    EXPECT_EQ(t.s.white_level, 4095u << 4) << "widened to at least 32768";
    EXPECT_EQ(t.s.black_level, 160u);
    EXPECT_EQ(t.s.channel_black[0], 160);
    const Stats after = slotStats(t, 1);
    EXPECT_NEAR(after.mean, before.mean * 16, before.mean * 16 * 0.01);
    EXPECT_LT(after.deviation, before.deviation * 16 * 0.5);
    EXPECT_EQ(slotStats(t, 3).mean, 0) << "an empty slot stays empty";
}

TEST(WaveletDenoise, ANegligibleThresholdKeepsTheValues) {
    for (uint32_t white : {65535u, 0u}) {
        Sensor t(20, 30);
        t.s.cfa_pattern = 0;
        t.s.white_level = white; // 0: nothing to widen, and no endless loop
        t.s.denoise_threshold = 1e-3f;
        t.randomPixels(4, 3);
        const auto before = t.pixels();
        raw::wavelet_denoise(t.s);
        const auto after = t.pixels();
        for (size_t i = 0; i < before.size(); ++i)
            ASSERT_LE(std::abs(before[i] - after[i]), 1) << "value " << i;
    }
}

TEST(WaveletDenoise, EvensOutTheTwoGreensOfABayerSensor) {
    Sensor t(16, 16);
    t.s.shrink_image = 1;
    t.s.white_level = 65535;
    t.s.denoise_threshold = 1e-3f;
    for (uint64_t i = 0; i < t.pixelCount(); ++i) {
        uint16_t* p = t.s.pixel_image[i];
        p[0] = 800, p[1] = 1000, p[2] = 600, p[3] = 1100;
    }
    raw::wavelet_denoise(t.s);
    for (uint64_t i = 0; i < t.pixelCount(); ++i) {
        ASSERT_NEAR(t.s.pixel_image[i][1], 1050, 1) << i;
        ASSERT_NEAR(t.s.pixel_image[i][3], 1050, 1) << i;
        ASSERT_NEAR(t.s.pixel_image[i][0], 800, 1) << i;
    }
}
