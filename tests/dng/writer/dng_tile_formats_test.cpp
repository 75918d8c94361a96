// Every way the writer stores an image's samples, read back exactly: by our own DNG reader, and
// by libtiff for what plain TIFF allows.
#include "dng/dng_exceptions.h"
#include "dng/dng_lzw.h"
#include "dng/dng_memory.h"
#include "dng/dng_tile_coding.h"
#include "tests/dng/writer/TileFormatFixtures.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <zlib.h>

using namespace writertest;

namespace {

struct FormatCase {
    const char* name;
    uint32_t compression;
    uint32_t predictor;
    SampleFormat format;
    uint32_t planes;
    bool tiled;
    bool bigEndian = false;
    uint32_t blockRows = 1, blockCols = 1;
    uint32_t interleave = 1;

    // What baseline TIFF and its extensions define, so libtiff decodes it.
    bool TiffLegal() const {
        return (compression == 1 || compression == 5 || compression == 8) && predictor <= 3 &&
               blockRows == 1 && blockCols == 1 && interleave == 1;
    }
};

constexpr uint32_t kRows = 67;
constexpr uint32_t kCols = 93;

const SampleFormat u8{8, false}, u16{16, false}, u32{32, false};
const SampleFormat f16{16, true}, f24{24, true}, f32{32, true};

const FormatCase kCases[] = {
    {"u8_none_strips", 1, 1, u8, 3, false},
    {"u16_lzw_strips", 5, 1, u16, 1, false},
    {"u16_lzw_pred2_tiles", 5, 2, u16, 3, true},
    {"u8_lzw_pred2_strips", 5, 2, u8, 1, false},
    {"u16_lzw_bigendian", 5, 1, u16, 3, false, true},
    {"u32_deflate_pred2_tiles", 8, 2, u32, 1, true},
    {"u16_deflate_pred34892_tiles", 8, 34892, u16, 1, true},
    {"u16_deflate_pred34893_strips", 8, 34893, u16, 3, false},
    {"u16_ljpeg_subtile_tiles", 7, 1, u16, 3, true, false, 2, 2},
    {"f32_none_strips", 1, 1, f32, 3, false},
    {"f32_deflate_pred3_tiles", 8, 3, f32, 1, true},
    {"f32_deflate_pred34894_tiles", 8, 34894, f32, 1, true},
    {"f32_lzw_pred34895_strips", 5, 34895, f32, 3, false},
    {"f32_lzw_pred3_bigendian", 5, 3, f32, 1, true, true},
    {"f16_none_strips", 1, 1, f16, 1, false},
    {"f16_deflate_pred3_tiles", 8, 3, f16, 3, true},
    {"f16_lzw_pred34894_tiles", 5, 34894, f16, 1, true},
    {"f16_deflate_pred34895_bigendian", 8, 34895, f16, 1, false, true},
    {"f16_lzw_strips", 5, 1, f16, 3, false},
    {"f24_none_strips", 1, 1, f24, 1, false},
    {"f24_none_bigendian", 1, 1, f24, 3, false, true},
    {"f24_deflate_pred3_tiles", 8, 3, f24, 1, true},
    {"f24_lzw_pred34894_bigendian", 5, 34894, f24, 3, false, true},
    {"f24_deflate_pred34895_tiles", 8, 34895, f24, 1, true},
    {"u16_none_subtile_tiles", 1, 1, u16, 1, true, false, 2, 4},
    {"u16_deflate_pred2_subtile_tiles", 8, 2, u16, 3, true, false, 4, 2},
    {"u16_none_interleave3_strips", 1, 1, u16, 1, false, false, 1, 1, 3},
    {"f32_deflate_pred3_interleave2_tiles", 8, 3, f32, 1, true, false, 1, 1, 2},
};

dng_ifd DirectoryFor(const FormatCase& c) {
    dng_ifd ifd = RawDirectory(kCols, kRows, c.planes, c.format, c.compression, c.predictor, c.blockRows,
                               c.blockCols, c.interleave);
    // Small pieces, so images have several tiles (edge ones reaching past the image) or strips.
    if (c.tiled)
        ifd.FindTileSize(8192, 16, 16);
    else
        ifd.FindStripSize(4096, 1);
    return ifd;
}

class TileFormats : public ::testing::TestWithParam<FormatCase> {};

} // namespace

TEST_P(TileFormats, WrittenAndReadBackExactly) {
    const FormatCase& c = GetParam();
    dng_host host;
    const auto image = FormatImage(host, c.format, kRows, kCols, c.planes, 7);
    const dng_ifd ifd = DirectoryFor(c);
    ASSERT_GT(ifd.TilesPerImage(), 1u);
    const std::vector<uint8_t> file = OneImageDNG(*image, ifd, c.bigEndian);

    // Several threads encode the tiles; the bytes are those of one thread.
    EXPECT_EQ(file, OneImageDNG(*image, ifd, c.bigEndian, 1));

    const auto back = ReadMainImage(file);
    ASSERT_EQ(back->Bounds(), image->Bounds());
    ASSERT_EQ(back->Planes(), c.planes);
    EXPECT_EQ(SampleBits(*back), ExpectedReadBack(*image, c.format));

    if (!c.TiffLegal() || !HaveTool("tiffcp")) return;
    testsupport::TempFolder folder;
    const std::string path = (folder / (std::string(c.name) + ".dng")).string();
    WriteBytes(path, file);
    const auto [info, status] = RunCommand("tiffinfo -D " + path);
    EXPECT_EQ(status, 0) << info;
    EXPECT_EQ(info.find("rror"), std::string::npos) << info;
    std::string failure;
    const std::vector<uint8_t> decoded = LibtiffSamples(path, kRows, failure);
    ASSERT_EQ(failure, "");
    EXPECT_TRUE(decoded == ExpectedStoredBytes(*image, c.format));
}

INSTANTIATE_TEST_SUITE_P(Writer, TileFormats, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TileCoding, NarrowFloatsRoundAsIEEE) {
    // Against the compiler's half conversion: nearest even, overflow to infinity, subnormals.
    std::mt19937 rng(3);
    for (int i = 0; i < 200000; ++i) {
        uint32_t bits = rng();
        // Keep exponents near the half range so every branch is hit often.
        bits = (bits & 0x807FFFFF) | (((bits >> 23) % 48 + 95) << 23);
        float f;
        std::memcpy(&f, &bits, 4);
        ASSERT_EQ(FloatToHalf(f), StoredFloatBits(f, 16)) << f;
        if (std::fabs(f) > 1e-18f && std::fabs(f) < 1e18f) {
            ASSERT_EQ(FloatToFP24(f), StoredFloatBits(f, 24)) << f;
        }
    }
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(FloatToHalf(inf), 0x7C00);
    EXPECT_EQ(FloatToHalf(-1e9f), 0xFC00);
    EXPECT_EQ(FloatToHalf(65520.0f), 0x7C00); // halfway above the largest half: to even, infinity
    EXPECT_EQ(FloatToHalf(65519.0f), 0x7BFF);
    EXPECT_EQ(FloatToHalf(std::ldexp(1.0f, -25)), 0x0000); // half the smallest subnormal: to even
    EXPECT_EQ(FloatToHalf(std::ldexp(1.5f, -25)), 0x0001);
    EXPECT_EQ(FloatToHalf(-0.0f), 0x8000);
    EXPECT_EQ(FloatToHalf(std::numeric_limits<float>::quiet_NaN()) & 0x7C00, 0x7C00);
    EXPECT_NE(FloatToHalf(std::numeric_limits<float>::quiet_NaN()) & 0x03FF, 0);
    EXPECT_EQ(FloatToFP24(1.0f), 0x3F0000u);
    EXPECT_EQ(FloatToFP24(-2.0f), 0xC00000u);
    EXPECT_EQ(FloatToFP24(inf), 0x7F0000u);
    EXPECT_EQ(FloatToFP24(std::ldexp(1.0f, 64)), 0x7F0000u);         // beyond the largest exponent
    EXPECT_EQ(FloatToFP24(std::ldexp(1.0f, -78)), 0x000001u);        // the smallest subnormal
    EXPECT_EQ(FloatToFP24(1.0f + std::ldexp(1.0f, -17)), 0x3F0000u); // a tie goes to even
    EXPECT_EQ(FloatToFP24(1.0f + std::ldexp(3.0f, -17)), 0x3F0002u);
}

TEST(TileCoding, LzwRoundTripsThroughTableClearsAndRefusesBadCodes) {
    std::mt19937 rng(9);
    std::vector<uint8_t> data(300000);
    // Noise forces many table clears; runs make strings thousands of bytes long.
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (i / 20000) % 2 ? uint8_t(rng() % 7) : uint8_t(i / 20000);
    for (uint32_t size : {0u, 1u, 2u, 600u, 5000u, uint32_t(data.size())}) {
        std::vector<uint8_t> coded(2 * size + 1024);
        const uint32_t n = EncodeLZW(data.data(), size, coded.data(), uint32_t(coded.size()));
        std::vector<uint8_t> back(size);
        EXPECT_EQ(DecodeLZW(coded.data(), n, back.data(), back.size()), size);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin())) << size;
    }
    // The empty string is a clear and an end code, 9 bits each.
    std::vector<uint8_t> coded(16);
    ASSERT_EQ(EncodeLZW(data.data(), 0, coded.data(), 16), 3u);
    EXPECT_EQ(coded[0], 0x80);
    EXPECT_EQ(coded[1], 0x40);
    EXPECT_EQ(coded[2], 0x40);

    try {
        EncodeLZW(data.data(), 5000, coded.data(), 16);
        ADD_FAILURE() << "LZW output passed its buffer";
    } catch (const dng_exception& e) {
        EXPECT_EQ(e.ErrorCode(), dng_error_overflow);
    }
    // A code the table does not hold yet, and data that ends early.
    const uint8_t bad[] = {0x80, 0x3F, 0xF0, 0x00};
    std::vector<uint8_t> out(64);
    EXPECT_THROW(DecodeLZW(bad, sizeof(bad), out.data(), out.size()), dng_exception);
    std::vector<uint8_t> full(2 * 5000 + 1024);
    const uint32_t n = EncodeLZW(data.data(), 5000, full.data(), uint32_t(full.size()));
    out.resize(5000);
    EXPECT_THROW(DecodeLZW(full.data(), n / 2, out.data(), out.size()), dng_exception);
}

TEST(TileCoding, DeflateLevelComesFromTheDirectory) {
    dng_host host;
    const auto image = FormatImage(host, u16, 40, 50, 3, 4);
    std::vector<uint8_t> samples = ExpectedStoredBytes(*image, u16);
    for (int32_t quality : {1, 9, 0, -1}) {
        FormatCase c{"deflate", 8, 1, u16, 3, false};
        dng_ifd ifd = DirectoryFor(c);
        ifd.fImageWidth = 50;
        ifd.fImageLength = 40;
        ifd.SetSingleStrip();
        ifd.fCompressionQuality = quality;
        const std::vector<uint8_t> file = OneImageDNG(*image, ifd, false);
        const auto entries = ReadIFD(file, Get32(file, 4));
        const std::vector<uint8_t> strip(file.begin() + entries.at(273).value,
                                         file.begin() + entries.at(273).value + entries.at(279).value);
        // Any other value than 1 to 9 is zlib's default level.
        const int level = quality >= 1 && quality <= 9 ? quality : Z_DEFAULT_COMPRESSION;
        std::vector<uint8_t> expected(compressBound(uLong(samples.size())));
        uLongf size = expected.size();
        ASSERT_EQ(compress2(expected.data(), &size, samples.data(), uLong(samples.size()), level), Z_OK);
        expected.resize(size);
        EXPECT_EQ(strip, expected) << quality;
    }
}
