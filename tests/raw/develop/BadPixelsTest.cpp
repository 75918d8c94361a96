#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"
#include "tests/raw/SensorFixture.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;

namespace {

// A 10x10 mosaic whose photosite (r, c) reads 10 + 10r + c, shot at time 1000.
struct Mosaic : sensortest::Sensor {
    Mosaic() : Sensor(10, 10) {
        s.capture_time = 1000;
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < 10; ++c)
                site(r, c) = uint16_t(10 + 10 * r + c);
    }
    uint16_t& site(int r, int c) { return pixel(r, c)[raw::pattern_code(s.cfa_pattern, r, c)]; }
};

} // namespace

TEST(BadPixels, RepairsListedPhotositesThatDiedBeforeTheShot) {
    testsupport::TempHome home;
    const fs::path list = testsupport::writeFile(home.path(), "dead.txt",
                                                 "# column row time\n"
                                                 "6 6 900    # died before the shot\n"
                                                 "3 1 2000   # died after it\n"
                                                 "0 0 1000\n"
                                                 "40 40 0\n"
                                                 "-1 0 0\n"
                                                 "not numbers\n"
                                                 "8 1\n"
                                                 "1 1 99999999999999999999999\n");
    Mosaic t;
    t.site(6, 6) = t.site(1, 3) = t.site(0, 0) = t.site(1, 8) = t.site(1, 1) = 999;
    raw::bad_pixels(t.s, list.c_str());
    EXPECT_EQ(t.site(6, 6), (54 + 56 + 58 + 74 + 78 + 94 + 96 + 98) / 8) << "nearest red ring";
    EXPECT_EQ(t.site(0, 0), (12 + 30 + 32) / 3) << "ring clipped at the corner";
    EXPECT_EQ(t.site(1, 3), 999) << "the pixel died after the photo";
    EXPECT_EQ(t.site(1, 8), 999) << "a line without a time";
    EXPECT_EQ(t.site(1, 1), 999) << "a time that does not fit";
}

TEST(BadPixels, WithoutAPathTheListIsFoundInAParentFolder) {
    testsupport::TempHome home;
    testsupport::writeFile(home.path() / "shoot", ".badpixels", "6 6 0\n");
    const fs::path inner = home.path() / "shoot" / "day" / "raw";
    fs::create_directories(inner);
    const fs::path previous = fs::current_path();
    fs::current_path(inner);
    Mosaic t;
    t.site(6, 6) = 999;
    raw::bad_pixels(t.s, nullptr);
    fs::current_path(previous);
    EXPECT_EQ(t.site(6, 6), 76);
}

namespace {

std::string pgm(const std::string& header, std::initializer_list<uint16_t> values) {
    std::string bytes = header;
    for (uint16_t v : values)
        bytes += char(v >> 8), bytes += char(v & 0xFF);
    return bytes;
}

} // namespace

TEST(DarkFrame, SubtractsAFrameOfTheVisibleSizeAndClearsTheBlacks) {
    testsupport::TempHome home;
    const fs::path frame = testsupport::writeFile(home.path(), "dark.pgm",
                                                  pgm("P5\n# cap on\n3 2\n65535\n", {5, 6, 7, 8, 9, 2000}));
    sensortest::Sensor t(2, 3);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            t.pixel(r, c)[raw::pattern_code(t.s.cfa_pattern, r, c)] = 100;
    t.s.black_level = 50;
    t.s.channel_black[0] = 50, t.s.channel_black[4] = 2, t.s.channel_black[6] = 3;
    EXPECT_TRUE(raw::subtract_dark_frame(t.s, frame.c_str()));
    const uint16_t expected[2][3] = {{95, 94, 93}, {92, 91, 0}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(t.pixel(r, c)[raw::pattern_code(t.s.cfa_pattern, r, c)], expected[r][c]);
    EXPECT_EQ(t.s.black_level, 0u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(t.s.channel_black[i], 0) << i;
}

TEST(DarkFrame, RefusesUnusableFramesAndChangesNothing) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"colour PPM", pgm("P6\n3 2\n65535\n", {1, 1, 1, 1, 1, 1}), "%s is not a valid PGM file!\n"},
        {"8-bit", pgm("P5\n3 2\n255\n", {1, 1, 1, 1, 1, 1}), "%s is not a valid PGM file!\n"},
        {"no header", "P5", "%s is not a valid PGM file!\n"},
        {"wrong size", pgm("P5\n2 3\n65535\n", {1, 1, 1, 1, 1, 1}), "%s has the wrong dimensions!\n"},
        {"short data", pgm("P5\n3 2\n65535\n", {1, 1, 1, 1, 1}), "%s is not a valid PGM file!\n"},
    };
    testsupport::TempHome home;
    for (const auto& c : cases) {
        const fs::path frame = testsupport::writeFile(home.path(), "dark.pgm", c.bytes);
        sensortest::Sensor t(2, 3);
        t.randomPixels(2);
        t.s.black_level = 50;
        const auto before = t.pixels();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(raw::subtract_dark_frame(t.s, frame.c_str())) << c.name;
        char message[512];
        std::snprintf(message, sizeof message, c.message, frame.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), message) << c.name;
        EXPECT_EQ(t.pixels(), before) << c.name;
        EXPECT_EQ(t.s.black_level, 50u) << c.name;
    }
}
