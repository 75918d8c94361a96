// A rendered DNG agrees in tone with what the decoder program makes of the same file: the
// ranks of their luminances on 1/8 downscales correlate at 0.98 or better.
#include "../DngStreams.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"

#include "dng/dng_color_space.h"
#include "dng/dng_image.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_render.h"
#include "dng/dng_tag_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>

namespace {

struct Rgb8 {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

// The decoder's TIFF: one uncompressed strip of 8-bit RGB.
Rgb8 ReadTiff(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool big = b.at(0) == 'M';
    auto u16 = [&](size_t at) {
        return big ? uint32_t(b.at(at)) << 8 | b.at(at + 1) : uint32_t(b.at(at + 1)) << 8 | b.at(at);
    };
    auto u32 = [&](size_t at) { return big ? u16(at) << 16 | u16(at + 2) : u16(at + 2) << 16 | u16(at); };
    Rgb8 image;
    uint32_t strip = 0;
    const size_t ifd = u32(4);
    for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        const uint32_t tag = u16(e), type = u16(e + 2);
        const uint32_t value = type == 3 ? u16(e + 8) : u32(e + 8);
        if (tag == 256) image.width = value;
        if (tag == 257) image.height = value;
        if (tag == 273) strip = value;
    }
    const size_t size = size_t(image.width) * image.height * 3;
    image.pixels.assign(b.begin() + strip, b.begin() + strip + long(size));
    return image;
}

// Luminance means over 8 x 8 blocks.
std::vector<double> Downscaled(const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height) {
    std::vector<double> out;
    for (uint32_t by = 0; by + 8 <= height; by += 8)
        for (uint32_t bx = 0; bx + 8 <= width; bx += 8) {
            double sum = 0;
            for (uint32_t y = by; y < by + 8; ++y)
                for (uint32_t x = bx; x < bx + 8; ++x) {
                    const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
                    sum += 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2];
                }
            out.push_back(sum / 64);
        }
    return out;
}

std::vector<double> Ranks(const std::vector<double>& v) {
    std::vector<size_t> order(v.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return v[a] < v[b]; });
    std::vector<double> ranks(v.size());
    for (size_t i = 0; i < order.size();) {
        size_t j = i;
        while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]])
            ++j;
        for (size_t k = i; k <= j; ++k)
            ranks[order[k]] = (i + j) / 2.0;
        i = j + 1;
    }
    return ranks;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const double ma = std::accumulate(a.begin(), a.end(), 0.0) / a.size();
    const double mb = std::accumulate(b.begin(), b.end(), 0.0) / b.size();
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

void ExpectToneAgreement(const std::filesystem::path& dng) {
    testsupport::TempFolder folder;
    const std::filesystem::path copy = folder / "image.dng";
    std::filesystem::copy_file(dng, copy);
    const std::string command =
        std::string("\"") + LUMIVAR_DECODE_PROGRAM + "\" -T \"" + copy.string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const Rgb8 decoded = ReadTiff(folder / "image.tiff");

    dng_host host;
    dng_file_stream stream(dng.c_str());
    auto negative = dngtest::ReadNegative(host, stream);
    negative->BuildStage2Image(host);
    negative->BuildStage3Image(host);
    dng_render render(host, *negative);
    std::unique_ptr<dng_image> rendered(render.Render());
    // The decoder may crop differently; compare the common centred part.
    const uint32_t w = std::min(decoded.width, rendered->Width()),
                   h = std::min(decoded.height, rendered->Height());
    ASSERT_GT(w, 64u);
    ASSERT_GT(h, 64u);
    std::vector<uint8_t> mine(size_t(w) * h * 3), theirs(size_t(w) * h * 3);
    const int32_t ox = int32_t(rendered->Width() - w) / 2, oy = int32_t(rendered->Height() - h) / 2;
    dng_pixel_buffer b(dng_rect(oy, ox, oy + int32_t(h), ox + int32_t(w)), 0, 3, ttByte,
                       dng_pixel_buffer::interleaved, mine.data());
    rendered->Get(b);
    const uint32_t dx = (decoded.width - w) / 2, dy = (decoded.height - h) / 2;
    for (uint32_t y = 0; y < h; ++y)
        std::copy_n(&decoded.pixels[(size_t(y + dy) * decoded.width + dx) * 3], size_t(w) * 3,
                    &theirs[size_t(y) * w * 3]);
    const double rho = Correlation(Ranks(Downscaled(mine, w, h)), Ranks(Downscaled(theirs, w, h)));
    ::testing::Test::RecordProperty("rank_correlation", std::to_string(rho));
    EXPECT_GE(rho, 0.98) << dng;
}

TEST(RenderAgreement, ChartDngRendersInTheDecodersTones) { ExpectToneAgreement(LUMIVAR_CHART_DNG); }

TEST(RenderAgreement, SyntheticSampleRendersInTheDecodersTones) {
    LV_REQUIRE_SAMPLE("synthetic_1024_rggb_uncompressed.dng");
    ExpectToneAgreement(testsupport::samplePath("synthetic_1024_rggb_uncompressed.dng"));
}

} // namespace
