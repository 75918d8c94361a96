// The whole program on little DNG files made here: what it writes, where, and how it
// reports failures. Skips while identification or a development step is still missing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/MemoryFile.h"
#include "tests/support/SyntheticDng.h"
#include "tests/tools/RunDecoder.h"

using testsupport::Outcome;
using testsupport::runDecoder;
namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class DecodeSynthetic : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() / ("lv-decode-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string write(const std::string& name, const testsupport::SyntheticDngSpec& spec = {}) {
        return testsupport::writeFile(folder_, name, testsupport::buildSyntheticDng(spec)).string();
    }

    fs::path folder_;
};

uint32_t le32(const std::string& b, size_t at) {
    auto u = [&](size_t i) { return uint32_t(uint8_t(b[at + i])); };
    return u(0) | u(1) << 8 | u(2) << 16 | u(3) << 24;
}

} // namespace

TEST_F(DecodeSynthetic, IdentifiesAndListsTheFile) {
    const std::string path = write("chart.dng");
    Outcome o = runDecoder({"-i", path});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, path + " is a Lumivar Synthetic RGGB image.\n");

    o = runDecoder({"-i", "-v", path});
    EXPECT_EQ(o.status, 0) << o.err;
    for (const char* line :
         {"\nFilename: ", "Timestamp: Fri May 17 10:30:00 2024\n", "Camera: Lumivar Synthetic RGGB\n",
          "DNG Version: 1.4.0.0\n", "ISO speed: 200\n", "Shutter: 1/125.0 sec\n", "Aperture: f/2.8\n",
          "Focal length: 50.0 mm\n", "Embedded ICC profile: no\n", "Number of raw images: 1\n",
          "Full size:     64 x 48\n", "Image size:    64 x 48\n", "Output size:   64 x 48\n", "Raw colors: 3",
          "\nFilter pattern: RG/GB\n"})
        EXPECT_TRUE(contains(o.out, line)) << line << " in\n" << o.out;

    // Half size halves the output; a rotation swaps it.
    o = runDecoder({"-i", "-v", "-h", "-t", "6", path});
    EXPECT_TRUE(contains(o.out, "Output size:   24 x 32\n")) << o.out;
}

TEST_F(DecodeSynthetic, WritesTiffAndPpmBesideTheInput) {
    const std::string path = write("chart.dng");
    Outcome o = runDecoder({"-T", path});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "");
    const std::string tiff = testsupport::readWhole(folder_ / "chart.tiff");
    ASSERT_GT(tiff.size(), 1376u);
    EXPECT_EQ(tiff.substr(0, 4), std::string("II*\0", 4));
    EXPECT_EQ(tiff.size(), le32(tiff, 10 + 2 + 12 * 9 + 8) + 64u * 48 * 3); // strip offset + pixels

    if (std::system("command -v tiffinfo > /dev/null 2>&1") == 0) {
        const std::string report = (folder_ / "report").string();
        EXPECT_EQ(
            std::system(
                ("tiffinfo -D '" + (folder_ / "chart.tiff").string() + "' > '" + report + "' 2>&1").c_str()),
            0);
        const std::string text = testsupport::readWhole(report);
        EXPECT_TRUE(contains(text, "Image Width: 64 Image Length: 48")) << text;
        EXPECT_FALSE(contains(text, "rror")) << text;
    }

    o = runDecoder({"-6", path});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string ppm = testsupport::readWhole(folder_ / "chart.ppm");
    const std::string header = "P6\n64 48\n65535\n";
    EXPECT_EQ(ppm.substr(0, header.size()), header);
    EXPECT_EQ(ppm.size(), header.size() + 64u * 48 * 3 * 2);
}

TEST_F(DecodeSynthetic, GreysStayGrey) {
    // A flat mid grey: the embedded matrix and the neutral white balance keep it neutral.
    testsupport::SyntheticDngSpec spec;
    spec.scene = [](int, int) { return testsupport::LinearRgb{0.18, 0.18, 0.18}; };
    const std::string path = write("grey.dng", spec);
    Outcome o = runDecoder({"-w", path});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string ppm = testsupport::readWhole(folder_ / "grey.ppm");
    const size_t centre = std::string("P6\n64 48\n255\n").size() + (24 * 64 + 32) * 3;
    ASSERT_GT(ppm.size(), centre + 2);
    const int r = uint8_t(ppm[centre]), g = uint8_t(ppm[centre + 1]), b = uint8_t(ppm[centre + 2]);
    EXPECT_NEAR(r, g, 3);
    EXPECT_NEAR(b, g, 3);
    EXPECT_GT(g, 20);
}

TEST_F(DecodeSynthetic, EachQualityRunsItsOwnInterpolation) {
    // Each line names the routine that ran; no other routine's line may appear.
    const char* routines[] = {"Bilinear interpolation...\n",
                              "VNG interpolation...\n",
                              "PPG interpolation...\n",
                              "AHD interpolation...\n",
                              "1-pass X-Trans interpolation...\n",
                              "3-pass X-Trans interpolation...\n"};
    auto ran = [&](const Outcome& o) {
        std::vector<std::string> lines;
        for (const char* r : routines)
            if (contains(o.err, r)) lines.emplace_back(r);
        return lines;
    };
    const std::string bayer = write("bayer.dng");
    const std::vector<std::vector<std::string>> bayerLines = {
        {routines[0]}, {routines[0], routines[1]}, {routines[2]}, {routines[3]}};
    for (int q = 0; q < 4; ++q) {
        Outcome o = runDecoder({"-v", "-c", "-q", std::to_string(q), bayer});
        ASSERT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(ran(o), bayerLines[size_t(q)]) << "quality " << q << "\n" << o.err;
    }

    // A flat grey under an X-Trans cell: the passes must leave it grey.
    testsupport::SyntheticDngSpec spec;
    spec.xtrans = true;
    spec.scene = [](int, int) { return testsupport::LinearRgb{0.3, 0.3, 0.3}; };
    const std::string xtrans = write("xtrans.dng", spec);
    for (int q = 2; q < 4; ++q) {
        Outcome o = runDecoder({"-v", "-c", "-4", "-q", std::to_string(q), xtrans});
        ASSERT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(ran(o), std::vector<std::string>{routines[q + 2]}) << o.err;
        const std::string header = "P6\n64 48\n65535\n";
        ASSERT_EQ(o.out.size(), header.size() + 64u * 48 * 6);
        auto sample = [&](size_t pixel, int c) {
            const size_t at = header.size() + pixel * 6 + size_t(c) * 2;
            return uint8_t(o.out[at]) << 8 | uint8_t(o.out[at + 1]);
        };
        int worst = 0;
        for (size_t pixel = 0; pixel < 64u * 48; ++pixel)
            for (int c : {0, 2})
                worst = std::max(worst, std::abs(sample(pixel, c) - sample(pixel, 1)));
        EXPECT_LE(worst, 200) << "quality " << q;
        EXPECT_GT(sample(24 * 64 + 32, 1), 10000);
    }
}

TEST_F(DecodeSynthetic, EveryRawImageWithSAll) {
    testsupport::SyntheticDngSpec spec;
    spec.rawImages = 2;
    const std::string path = write("pair.dng", spec);
    Outcome o = runDecoder({"-T", "-s", "all", path});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(fs::exists(folder_ / "pair_0.tiff"));
    EXPECT_TRUE(fs::exists(folder_ / "pair_1.tiff"));
    EXPECT_FALSE(fs::exists(folder_ / "pair.tiff"));

    o = runDecoder({"-s", "5", path});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, path + ": \"-s 5\" requests a nonexistent image!\n");
}

TEST_F(DecodeSynthetic, ExitStatusCountsEveryFile) {
    const std::string good = write("good.dng");
    const std::string missing = (folder_ / "missing.dng").string();
    const std::string text =
        testsupport::writeFile(folder_, "notes.dng", std::string("not a raw file")).string();
    Outcome o = runDecoder({good});
    ASSERT_EQ(o.status, 0) << o.err;
    fs::remove(folder_ / "good.ppm");

    o = runDecoder({missing, good, text});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(fs::exists(folder_ / "good.ppm")); // the run goes on past a failure
    EXPECT_TRUE(contains(o.err, missing + ": No such file or directory\n")) << o.err;
    EXPECT_TRUE(contains(o.err, "Cannot decode file " + text + "\n")) << o.err;
}

TEST_F(DecodeSynthetic, WriteErrorsAreReported) {
    const std::string path = write("chart.dng");
    Outcome o = runDecoder({"-i", path});
    const int full = open("/dev/full", O_WRONLY);
    if (full >= 0) {
        o = runDecoder({"-c", path}, full);
        close(full);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err, "Cannot write standard output: No space left on device\n");
    }
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]); // nobody reads
    o = runDecoder({"-c", path}, ends[1]);
    close(ends[1]);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Cannot write standard output: Broken pipe\n");
}

TEST_F(DecodeSynthetic, ThumbnailAndTimestamp) {
    testsupport::SyntheticDngSpec spec;
    spec.jpegThumbnail = {0xFF, 0xD8, 0xFF, 0xDB, 0, 4, 9, 9, 0xFF, 0xD9};
    const std::string path = write("thumbed.dng", spec);
    const std::string plain = write("plain.dng");
    Outcome o = runDecoder({"-i", path});
    o = runDecoder({"-e", path});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string jpeg = testsupport::readWhole(folder_ / "thumbed.thumb.jpg");
    ASSERT_EQ(jpeg.size(), 2 + 4 + 6 + 1376 + spec.jpegThumbnail.size() - 2);
    EXPECT_EQ(jpeg.substr(0, 4), "\xFF\xD8\xFF\xE1");
    EXPECT_EQ(jpeg.substr(6, 6), std::string("Exif\0\0", 6));

    o = runDecoder({"-e", plain});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, plain + " has no thumbnail.\n");

    o = runDecoder({"-i", "-z", plain});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "1715941800         0 " + plain + "\n");
    o = runDecoder({"-z", "-v", plain});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, plain + " time set to 1715941800.\n");
    struct stat info {};
    ASSERT_EQ(stat(plain.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1715941800);
}
