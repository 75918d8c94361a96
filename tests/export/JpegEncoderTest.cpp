#include "export/JpegEncoder.h"

#include "JpegTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <turbojpeg.h>

namespace bi = platform::bitmap_info;

TEST(JpegEncoder, QualityIsARoundedPercentageFromOneToAHundred) {
    const std::pair<double, int> cases[] = {{0.7, 70}, {1.0, 100}, {0.555, 56}, {0.0, 1},
                                            {-3, 1},   {1.5, 100}, {NAN, 100},  {0.004, 1}};
    for (auto [q, expected] : cases)
        EXPECT_EQ(jpegQuality(q), expected) << q;
}

TEST(JpegEncoder, EverySixteenBitSampleRoundsToTheNearestEightBitOne) {
    // One row of every 16-bit value, as host-order RGBA and as big-endian RGB.
    auto host = platform::Bitmap::createOwned(
        {65536, 1, 16, 64, 65536 * 8, bi::kByteOrder16Little | bi::kAlphaLast}, nullptr);
    auto big = platform::Bitmap::createOwned({65536, 1, 16, 48, 65536 * 6, bi::kByteOrder16Big}, nullptr);
    auto* h = reinterpret_cast<uint16_t*>(host->mutableData());
    uint8_t* b = big->mutableData();
    for (uint32_t v = 0; v < 65536; ++v) {
        h[4 * v] = h[4 * v + 1] = h[4 * v + 2] = uint16_t(v);
        h[4 * v + 3] = 65535;
        for (int c = 0; c < 3; ++c)
            b[6 * v + 2 * c] = uint8_t(v >> 8), b[6 * v + 2 * c + 1] = uint8_t(v);
    }
    for (const auto& image : {host, big}) {
        auto rgb = rgb8Pixels(image);
        ASSERT_TRUE(rgb);
        for (uint32_t v = 0; v < 65536; ++v)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(rgb[3 * v + c], std::lround(v * 255.0 / 65535.0)) << v;
    }
}

TEST(JpegEncoder, PremultipliedColourIsDividedByAlpha) {
    auto image = platform::Bitmap::createOwned({2, 1, 8, 32, 8, bi::kAlphaPremultipliedLast}, nullptr);
    const uint8_t px[] = {50, 100, 0, 128, 9, 9, 9, 0};
    std::copy(std::begin(px), std::end(px), image->mutableData());
    auto rgb = rgb8Pixels(image);
    ASSERT_TRUE(rgb);
    EXPECT_EQ(std::vector<uint8_t>(rgb.get(), rgb.get() + 6), (std::vector<uint8_t>{100, 199, 0, 0, 0, 0}));
}

TEST(JpegEncoder, RefusesWhatItCannotRead) {
    EXPECT_EQ(rgb8Pixels(nullptr), nullptr);
    // Two samples a pixel hold no R, G and B.
    EXPECT_EQ(rgb8Pixels(platform::Bitmap::createOwned({4, 4, 16, 32, 32, 0}, nullptr)), nullptr);
    std::string failure;
    uint8_t rgb[3] = {};
    EXPECT_FALSE(encodeJpeg(rgb, 0, 1, 90, &failure));
    EXPECT_FALSE(failure.empty());
    failure.clear();
    // Past the frame's 16 bits, and large enough for bands.
    EXPECT_FALSE(encodeJpeg(rgb, 65536, 20, 90, &failure));
    EXPECT_FALSE(failure.empty());
}

namespace {

// Packed RGB noise over a gradient: every block costs the coder bits, and a fault anywhere
// shows in the pixels.
std::vector<uint8_t> noisyRgb(size_t width, size_t height) {
    std::vector<uint8_t> rgb(width * height * 3);
    std::mt19937 random(7);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i / 3 % width * 128 / width + random() % 128);
    return rgb;
}

std::string_view bytes(const std::vector<uint8_t>& v) {
    return {reinterpret_cast<const char*>(v.data()), v.size()};
}

// The stream of one tjCompress2 call, as the encoder made it before it had bands.
std::vector<uint8_t> oneCall(const std::vector<uint8_t>& rgb, size_t width, size_t height, int quality) {
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(tjCompress2(handle, rgb.data(), int(width), 0, int(height), TJPF_RGB, &buffer, &size,
                          TJSAMP_444, quality, 0),
              0);
    std::vector<uint8_t> out(buffer, buffer + size);
    tjFree(buffer);
    tjDestroy(handle);
    return out;
}

// libjpeg's own stream of the whole image with a restart interval, at a quality of 96 or
// more, where TurboJPEG's coder uses the accurate DCT too.
std::vector<uint8_t> withRestarts(const std::vector<uint8_t>& rgb, size_t width, size_t height, int quality,
                                  unsigned restartInterval) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    for (int c = 0; c < 3; ++c)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    cinfo.restart_interval = restartInterval;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(rgb.data()) + cinfo.next_scanline * width * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    free(buffer);
    return out;
}

struct Marker {
    uint8_t code;
    size_t at;
};

// The stream's markers in order: the segments up to the scan, then those inside and after it.
std::vector<Marker> markers(std::string_view s) {
    std::vector<Marker> found{{uint8_t(s[1]), 0}};
    size_t at = 2;
    while (at + 4 <= s.size() && uint8_t(s[at + 1]) != 0xDA) {
        found.push_back({uint8_t(s[at + 1]), at});
        at += 2 + (size_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]));
    }
    found.push_back({0xDA, at});
    for (at += 2; at + 1 < s.size(); ++at)
        if (uint8_t(s[at]) == 0xFF && s[at + 1] != 0) found.push_back({uint8_t(s[at + 1]), at});
    return found;
}

size_t height16(std::string_view s, size_t at) { return size_t(uint8_t(s[at])) << 8 | uint8_t(s[at + 1]); }

// Not a multiple of the 8 x 8 MCU either way.
constexpr size_t kWidth = 203, kHeight = 301;

} // namespace

TEST(JpegEncoder, BandsDecodeToThePixelsOfOneCall) {
    const auto rgb = noisyRgb(kWidth, kHeight);
    // 19 bands (the restart markers wrap), 5, and 2 whose last one holds 5 rows.
    for (int quality : {100, 75}) {
        const auto single = jpegtest::decodeJpegBytes(bytes(oneCall(rgb, kWidth, kHeight, quality)));
        ASSERT_TRUE(single);
        for (size_t bandRows : {16, 64, 296}) {
            std::string failure;
            auto banded = encodeJpegInBands(rgb.data(), kWidth, kHeight, quality, bandRows, &failure);
            ASSERT_TRUE(banded) << failure;
            auto decoded = jpegtest::decodeJpegBytes(banded->bytes());
            ASSERT_TRUE(decoded) << "quality " << quality << ", bands of " << bandRows;
            EXPECT_EQ(decoded->width, int(kWidth));
            EXPECT_EQ(decoded->height, int(kHeight));
            EXPECT_TRUE(decoded->rgb == single->rgb) << "quality " << quality << ", bands of " << bandRows;
        }
    }
}

TEST(JpegEncoder, BandsJoinIntoOneBaselineStreamWithARestartBetweenTwo) {
    const auto rgb = noisyRgb(kWidth, kHeight);
    auto banded = encodeJpegInBands(rgb.data(), kWidth, kHeight, 100, 16);
    ASSERT_TRUE(banded);
    const std::string_view s = banded->bytes();
    const auto found = markers(s);
    std::vector<uint8_t> codes;
    for (const Marker& m : found)
        codes.push_back(m.code);
    // SOI, JFIF, two quantisation tables, the frame, four Huffman tables, then the restart
    // interval: 26 MCUs a row, two rows a band.
    const std::vector<uint8_t> header{0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDD, 0xDA};
    ASSERT_GE(codes.size(), header.size());
    EXPECT_EQ(std::vector<uint8_t>(codes.begin(), codes.begin() + header.size()), header);
    EXPECT_EQ(height16(s, found[4].at + 5), kHeight);
    EXPECT_EQ(height16(s, found[9].at + 4), 52u);
    std::vector<uint8_t> after(codes.begin() + header.size(), codes.end());
    std::vector<uint8_t> expected;
    for (size_t band = 1; band < 19; ++band)
        expected.push_back(uint8_t(0xD0 + (band - 1) % 8));
    expected.push_back(0xD9);
    EXPECT_EQ(after, expected);
    EXPECT_EQ(found.back().at, s.size() - 2);
    // The very stream libjpeg writes for the whole image with that restart interval.
    EXPECT_TRUE(bytes(withRestarts(rgb, kWidth, kHeight, 100, 52)) == s);
}

TEST(JpegEncoder, SmallImagesAreCodedInOneCallAndLargeOnesInBands) {
    struct Case {
        size_t width, height;
        bool banded;
    };
    for (Case c : {Case{kWidth, kHeight, false}, Case{1009, 997, true}}) {
        const auto rgb = noisyRgb(c.width, c.height);
        const auto single = oneCall(rgb, c.width, c.height, 90);
        auto jpeg = encodeJpeg(rgb.data(), c.width, c.height, 90);
        ASSERT_TRUE(jpeg);
        const auto found = markers(jpeg->bytes());
        const bool restarts =
            std::any_of(found.begin(), found.end(), [](Marker m) { return m.code == 0xDD; });
        EXPECT_EQ(restarts, c.banded) << c.width << " x " << c.height;
        if (!c.banded) {
            EXPECT_TRUE(jpeg->bytes() == bytes(single));
        } else {
            auto decoded = jpegtest::decodeJpegBytes(jpeg->bytes());
            ASSERT_TRUE(decoded);
            EXPECT_TRUE(decoded->rgb == jpegtest::decodeJpegBytes(bytes(single))->rgb);
        }
    }
}

// TurboJPEG takes optimised Huffman tables from its environment; each band's would differ.
TEST(JpegEncoder, BandsThatCannotShareTablesFallBackToOneCall) {
    const auto rgb = noisyRgb(kWidth, kHeight);
    ::setenv("TJ_OPTIMIZE", "1", 1);
    const auto single = oneCall(rgb, kWidth, kHeight, 90);
    auto banded = encodeJpegInBands(rgb.data(), kWidth, kHeight, 90, 16);
    ::unsetenv("TJ_OPTIMIZE");
    ASSERT_TRUE(banded);
    EXPECT_TRUE(banded->bytes() == bytes(single));
}

namespace {

// Keeps the stream as it is handed in, and whether two writes ever overlapped; each write
// takes a moment, so that the workers' bands pile up behind it.
class RecordingSink : public JpegSink {
  public:
    explicit RecordingSink(size_t failAt = SIZE_MAX) : failAt_(failAt) {}
    bool write(std::string_view piece) override {
        if (busy_.exchange(true)) overlapped_ = true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        const bool ok = ++writes_ != failAt_;
        if (ok) stream_ += piece;
        if (writes_ > failAt_) afterFailure_ = true;
        busy_ = false;
        return ok;
    }
    bool restart() override {
        ++restarts_;
        stream_.clear();
        return true;
    }
    std::string stream_;
    size_t writes_ = 0, restarts_ = 0, failAt_;
    std::atomic<bool> busy_{false};
    bool overlapped_ = false, afterFailure_ = false;
};

} // namespace

// The bands go out in the stream's order as they are coded, one write at a time, and make
// the very stream the encoder returns in one piece.
TEST(JpegEncoder, StreamedBandsMakeTheSameStreamOneWriteAtATime) {
    const auto rgb = noisyRgb(kWidth, kHeight);
    for (size_t bandRows : {16, 64, 1000}) {
        RecordingSink sink;
        std::string failure;
        ASSERT_TRUE(encodeJpegInBandsTo(rgb.data(), kWidth, kHeight, 90, bandRows, sink, &failure))
            << failure;
        auto whole = encodeJpegInBands(rgb.data(), kWidth, kHeight, 90, bandRows);
        ASSERT_TRUE(whole);
        EXPECT_TRUE(sink.stream_ == whole->bytes()) << "bands of " << bandRows;
        EXPECT_FALSE(sink.overlapped_);
        EXPECT_EQ(sink.restarts_, 0u);
    }
}

// A write that fails stops the stream there: the answer is false and nothing more is written.
TEST(JpegEncoder, AStreamStopsAtTheSinksFirstFailure) {
    const auto rgb = noisyRgb(kWidth, kHeight);
    RecordingSink sink(5);
    EXPECT_FALSE(encodeJpegInBandsTo(rgb.data(), kWidth, kHeight, 90, 16, sink));
    EXPECT_EQ(sink.writes_, 5u);
    EXPECT_FALSE(sink.afterFailure_);
}

// Bands found not to join after the first went out: the sink starts again and gets one
// call's stream.
TEST(JpegEncoder, AStreamOfBandsThatCannotShareTablesStartsAgainAsOneCall) {
    const auto rgb = noisyRgb(kWidth, kHeight);
    ::setenv("TJ_OPTIMIZE", "1", 1);
    const auto single = oneCall(rgb, kWidth, kHeight, 90);
    RecordingSink sink;
    const bool coded = encodeJpegInBandsTo(rgb.data(), kWidth, kHeight, 90, 16, sink);
    ::unsetenv("TJ_OPTIMIZE");
    ASSERT_TRUE(coded);
    EXPECT_EQ(sink.restarts_, 1u);
    EXPECT_TRUE(sink.stream_ == bytes(single));
}
