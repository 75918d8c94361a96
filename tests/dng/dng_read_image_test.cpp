// Image data of every layout the reader takes comes back sample for sample; bad layouts and
// damaged files end in DNG error codes.
#include "DngErrorMatchers.h"
#include "DngFixtures.h"
#include "DngStreams.h"
#include "tests/support/SyntheticDng.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_image.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_read_image.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>

namespace {

using dngtest::RawLayout;

std::vector<uint32_t> Ramp(const RawLayout& L, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint32_t> v(size_t(L.width) * L.height * L.samples);
    const uint64_t range = L.bits >= 32 ? 0x100000000ull : (1ull << L.bits);
    for (uint32_t& x : v)
        x = uint32_t(random() % range);
    return v;
}

// Every sample of the image as a 32-bit value.
std::vector<uint32_t> Samples(const dng_image& image) {
    std::vector<uint32_t> out(size_t(image.Width()) * image.Height() * image.Planes());
    dng_pixel_buffer buffer(image.Bounds(), 0, image.Planes(), ttLong, dng_pixel_buffer::interleaved,
                            out.data());
    if (image.PixelType() == ttLong) {
        image.Get(buffer);
        return out;
    }
    std::vector<uint16_t> narrow(out.size());
    dng_pixel_buffer b16(image.Bounds(), 0, image.Planes(), ttShort, dng_pixel_buffer::interleaved,
                         narrow.data());
    image.Get(b16);
    std::copy(narrow.begin(), narrow.end(), out.begin());
    return out;
}

std::unique_ptr<dng_image> ReadRaw(const std::vector<uint8_t>& file) {
    dng_host host;
    auto stream = dngtest::StreamOver(file);
    dng_info info;
    info.Parse(host, *stream);
    return info.ReadStage1Image(host, *stream);
}

struct LayoutCase {
    const char* name;
    bool bigEndian;
    uint32_t bits, samples, compression, predictor;
    bool tiled;
};

class ReadLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ReadLayout, SamplesComeBackExactly) {
    const LayoutCase& c = GetParam();
    RawLayout L;
    L.bigEndian = c.bigEndian;
    L.bits = c.bits;
    L.samples = c.samples;
    L.photometric = c.samples == 1 ? 32803 : 34892;
    L.compression = c.compression;
    L.predictor = c.predictor;
    L.tiled = c.tiled;
    L.width = 7;
    L.height = 5;
    L.values = Ramp(L, c.bits * 31 + c.compression);
    auto image = ReadRaw(dngtest::BuildRawDng(L));
    ASSERT_EQ(image->Width(), 7u);
    ASSERT_EQ(image->Height(), 5u);
    ASSERT_EQ(image->Planes(), c.samples);
    EXPECT_EQ(image->PixelType(), c.bits <= 8 ? ttByte : c.bits <= 16 ? ttShort : ttLong);
    EXPECT_EQ(Samples(*image), L.values);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ReadLayout,
    ::testing::Values(
        LayoutCase{"u8", false, 8, 1, 1, 1, false}, LayoutCase{"u16le", false, 16, 1, 1, 1, false},
        LayoutCase{"u16be", true, 16, 1, 1, 1, true}, LayoutCase{"u12", false, 12, 1, 1, 1, false},
        LayoutCase{"u10tiles", true, 10, 1, 1, 1, true}, LayoutCase{"u14rgb", false, 14, 3, 1, 1, true},
        LayoutCase{"u20", false, 20, 1, 1, 1, false}, LayoutCase{"u32be", true, 32, 1, 1, 1, true},
        LayoutCase{"rgb16", false, 16, 3, 1, 1, false}, LayoutCase{"deflate16pred", true, 16, 1, 8, 2, true},
        LayoutCase{"deflate8rgbpred", false, 8, 3, 8, 2, false},
        LayoutCase{"deflate32", false, 32, 1, 8, 1, true},
        LayoutCase{"packbits16", true, 16, 1, 32773, 1, false}, LayoutCase{"ljpeg8", false, 8, 1, 7, 1, true},
        LayoutCase{"ljpeg12", true, 12, 1, 7, 1, false}, LayoutCase{"ljpeg16rgb", false, 16, 3, 7, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadImage, TwelveBitRowsStartOnAByte) {
    // Three 12-bit samples take five bytes: 4.5 rounded up to a whole byte.
    dng_read_layout layout;
    layout.fCompression = ccUncompressed;
    layout.fBitsPerSample[0] = 12;
    layout.fSamplesPerPixel = 1;
    EXPECT_EQ(layout.TileByteCount(dng_rect(2, 3)), 10u);
    layout.fSamplesPerPixel = 3;
    layout.fBitsPerSample[0] = 16;
    // A strip 1000 pixels wide of 3 x 16-bit samples: 6000 bytes a row.
    EXPECT_EQ(layout.TileByteCount(dng_rect(1, 1000)), 6000u);
}

TEST(ReadImage, HalfFloatsWidenWithInfinityClampedAndNaNZero) {
    RawLayout L;
    L.photometric = 34892;
    L.bits = 16;
    L.sampleFormat = 3;
    L.width = 6;
    L.height = 1;
    L.tileLength = 1;
    // 1.0, -2.0, +inf, -inf, NaN, the smallest subnormal.
    L.values = {0x3C00, 0xC000, 0x7C00, 0xFC00, 0x7E00, 0x0001};
    auto image = ReadRaw(dngtest::BuildRawDng(L));
    ASSERT_EQ(image->PixelType(), ttFloat);
    float f[6];
    dng_pixel_buffer buffer(image->Bounds(), 0, 1, ttFloat, dng_pixel_buffer::interleaved, f);
    image->Get(buffer);
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_EQ(f[1], -2.0f);
    EXPECT_EQ(f[2], 65504.0f);
    EXPECT_EQ(f[3], -65504.0f);
    EXPECT_EQ(f[4], 0.0f);
    EXPECT_EQ(f[5], std::ldexp(1.0f, -24));
}

TEST(ReadImage, SizeLimitIs130000EachWay) {
    dng_read_layout layout;
    layout.fImageWidth = 130001;
    layout.fImageLength = 10;
    layout.fBitsPerSample[0] = 16;
    layout.fUsesStrips = true;
    layout.fTileWidth = 130001;
    layout.fTileLength = 10;
    layout.fTileOffset = {8};
    dng_simple_image image(dng_rect(1, 1), 1, ttShort, gDefaultDNGMemoryAllocator);
    dng_host host;
    auto stream = dngtest::StreamOver(std::vector<uint8_t>(64));
    dng_read_image reader;
    EXPECT_DNG_ERROR(reader.Read(host, layout, *stream, image), dng_error_bad_format);
    layout.fImageWidth = 10;
    layout.fImageLength = 130001;
    EXPECT_DNG_ERROR(reader.Read(host, layout, *stream, image), dng_error_bad_format);
}

TEST(ReadImage, RowInterleaveMapsStoredRowsToTheirPlaces) {
    dng_simple_image image(dng_rect(5, 1), 1, ttShort, gDefaultDNGMemoryAllocator);
    dng_row_interleaved_image view(image, 2);
    std::vector<int32_t> mapped;
    for (int32_t row = 0; row < 5; ++row)
        mapped.push_back(view.MapRow(row));
    EXPECT_EQ(mapped, (std::vector<int32_t>{0, 2, 4, 1, 3}));
}

TEST(ReadImage, SubTileBlocksMustFitTheirTiles) {
    RawLayout L;
    L.tiled = true;
    L.values = Ramp(L, 2);
    // Blocks of 2 x 2 pixels divide the 2 x 4 tiles; blocks taller than a tile, or of a
    // height that does not divide it, cannot be.
    for (const auto& [rows, cols, readable] :
         {std::tuple{2u, 2u, true}, std::tuple{0x80000000u, 1u, false}, std::tuple{1u, 3u, false}}) {
        L.extraTags = [rows = rows, cols = cols](testsupport::TiffBuilder::Ifd& ifd) {
            ifd.longs(50974, {rows, cols});
        };
        if (readable) {
            EXPECT_EQ(ReadRaw(dngtest::BuildRawDng(L))->Width(), L.width);
        } else {
            EXPECT_DNG_ERROR(ReadRaw(dngtest::BuildRawDng(L)), dng_error_bad_format);
        }
    }
}

TEST(ReadImage, TilesOutsideTheFileAreBadFormat) {
    RawLayout L;
    L.tiled = true;
    L.values = Ramp(L, 1);
    std::vector<uint8_t> file = dngtest::BuildRawDng(L);
    // The last tile's data cut off: its end lies beyond the stream.
    file.resize(file.size() - 3);
    EXPECT_DNG_ERROR(ReadRaw(file), dng_error_bad_format);
}

// Whatever the damage, reading a file ends in the image or a DNG error code.
void ReadAnyway(const std::vector<uint8_t>& file) {
    try {
        dng_host host;
        auto stream = dngtest::StreamOver(file);
        dng_info info;
        info.Parse(host, *stream);
        auto negative = info.BuildNegative(host, *stream, true);
        negative->BuildStage2Image(host);
        negative->BuildStage3Image(host);
    } catch (const dng_exception&) {
    }
}

TEST(ReadImage, EveryTruncationAndRandomCorruptionEndsInADngError) {
    RawLayout L;
    L.tiled = true;
    L.width = 9;
    L.height = 7;
    L.bits = 12;
    L.values = Ramp(L, 7);
    testsupport::SyntheticDngSpec spec;
    spec.width = 12;
    spec.height = 8;
    spec.losslessJpeg = true;
    for (const std::vector<uint8_t>& file : {dngtest::BuildRawDng(L), testsupport::buildSyntheticDng(spec)}) {
        for (size_t size = 0; size < file.size(); ++size)
            ReadAnyway(std::vector<uint8_t>(file.begin(), file.begin() + long(size)));
        std::mt19937 random(12345);
        for (int i = 0; i < 300; ++i) {
            std::vector<uint8_t> damaged = file;
            const int hits = 1 + int(random() % 4);
            for (int k = 0; k < hits; ++k)
                damaged[random() % damaged.size()] = uint8_t(random());
            ReadAnyway(damaged);
        }
    }
}

} // namespace

namespace {

TEST(ReadImage, CropsBeyondTheImageAreClippedAndBadScalesRefused) {
    RawLayout L;
    L.values = Ramp(L, 3);
    L.extraTags = [](testsupport::TiffBuilder::Ifd& ifd) {
        ifd.rationals(50719, {{2, 1}, {1, 1}}).rationals(50720, {{1000, 1}, {361114, 1}});
    };
    dng_host host;
    auto stream = dngtest::StreamOver(dngtest::BuildRawDng(L));
    auto negative = dngtest::ReadNegative(host, *stream);
    EXPECT_EQ(negative->DefaultCropSizeH().AsDouble(), 4.0); // width 6 less origin 2
    EXPECT_EQ(negative->DefaultCropSizeV().AsDouble(), 4.0);

    L.extraTags = [](testsupport::TiffBuilder::Ifd& ifd) { ifd.rationals(50718, {{0, 1}, {1, 1}}); };
    auto bad = dngtest::StreamOver(dngtest::BuildRawDng(L));
    EXPECT_DNG_ERROR(dngtest::ReadNegative(host, *bad), dng_error_bad_format);
}

} // namespace

namespace {

// Compressed tiles decode on several workers; samples and digest are those of one worker.
TEST(ReadImage, TilesReadOnSeveralWorkersAsOnOne) {
    for (const uint32_t compression : {7u, 8u}) {
        RawLayout L;
        L.compression = compression;
        L.tiled = true;
        L.width = 37;
        L.height = 23;
        L.values = Ramp(L, compression);
        const std::vector<uint8_t> file = dngtest::BuildRawDng(L);
        std::vector<std::vector<uint32_t>> samples;
        std::vector<dng_fingerprint> digests;
        for (const uint32_t threads : {1u, 8u}) {
            dng_host host;
            host.SetAreaTaskThreadCount(threads);
            auto stream = dngtest::StreamOver(file);
            dng_info info;
            info.Parse(host, *stream);
            const dng_read_layout& layout = info.MainIFD().fLayout;
            dng_simple_image image(dng_rect(L.height, L.width), 1, ttShort, gDefaultDNGMemoryAllocator);
            dng_fingerprint digest;
            dng_read_image().Read(host, layout, *stream, image, &digest);
            samples.push_back(Samples(image));
            digests.push_back(digest);
        }
        EXPECT_EQ(samples[0], L.values) << compression;
        EXPECT_EQ(samples[1], L.values) << compression;
        EXPECT_TRUE(digests[0].IsValid());
        EXPECT_EQ(digests[0], digests[1]) << compression;
    }
}

} // namespace
