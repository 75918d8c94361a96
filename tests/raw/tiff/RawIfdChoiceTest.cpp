// Choosing the raw directory, the thumbnail and the loader from parsed records.
#include <gtest/gtest.h>

#include <cstring>

#include "raw/loaders/Loaders.h"
#include "raw/tiff/TiffParser.h"
#include "tests/raw/TiffParseFixture.h"

using namespace raw;
using namespace testsupport;

namespace {

ifd_record record(uint32_t w, uint32_t h, uint32_t bits, uint32_t compression, uint32_t bytes,
                  uint32_t photometric = 32803, uint32_t samples = 1) {
    ifd_record r{};
    r.width = w;
    r.height = h;
    r.bits_per_sample = bits;
    r.compression = compression;
    r.byte_count = bytes;
    r.photometric = photometric;
    r.samples_per_pixel = samples;
    r.data_offset = 4096;
    return r;
}

struct Chosen {
    TiffParse p{std::vector<uint8_t>{}};
    DecoderState& s() { return p.state(); }
};

void choose(Chosen& c, const char* make, const char* model, std::initializer_list<ifd_record> records) {
    DecoderState& s = c.s();
    std::strcpy(s.camera_make, make);
    std::strcpy(s.camera_model, model);
    for (const ifd_record& r : records) {
        s.ifd_table[s.ifd_count++] = r;
        s.bits_per_sample = std::max(s.bits_per_sample, r.bits_per_sample);
    }
    choose_raw_ifd(s);
}

struct LoaderCase {
    const char* make;
    const char* model;
    ifd_record raw;
    Routine loader;
    uint32_t bits, flags, raw_count;
};

TEST(RawIfdChoice, LoaderByCompressionAndSize) {
    const uint32_t w = 100, h = 10;
    const LoaderCase cases[] = {
        {"NIKON", "D1", record(w, h, 12, 34713, (w + 9) / 10 * 16 * h), packed_bits_load_raw, 12, 1, 1},
        {"NIKON", "NIKON D1", record(w, h, 12, 34713, w * h * 3 / 2), packed_bits_load_raw, 12, 80, 1},
        {"NIKON", "D1", record(w, h, 16, 34713, w * h * 2), plain_words_load_raw, 16, 4, 1},
        {"NIKON", "D1", record(w, h, 14, 34713, h * (w * 14 / 8 + 8)), nikon_14bit_load_raw, 14, 0, 1},
        {"NIKON", "D1", record(w, h, 12, 34713, 777), nikon_compressed_load_raw, 12, 0, 1},
        {"SONY", "A", record(w, h, 8, 32767, w * h), sony_arw2_load_raw, 12, 0, 1},
        {"SONY", "A", record(w, h, 12, 32767, 999), sony_huffman_load_raw, 12, 0, 1},
        {"SONY", "A", record(w, h, 12, 1, w * h * 2), plain_words_load_raw, 14, 0, 1},
        {"Maker", "A", record(w, h, 16, 1, w * h * 8 / 5), packed_bits_load_raw, 12, 81, 1},
        {"Maker", "A", record(w, h, 12, 32769, 1), packed_bits_load_raw, 12, 1, 1},
        {"Maker", "A", record(w, h, 14, 32770, w * h * 7 / 4), packed_bits_load_raw, 14, 0, 1},
        {"Maker", "A", record(w, h, 14, 32770, 5), plain_words_load_raw, 14, 0, 1},
        {"OLYMPUS", "A", record(w, h, 16, 32770, w * h), adaptive_12bit_load_raw, 16, 0, 1},
        {"Kodak", "A", record(w, h, 8, 32773, 1), eight_bit_load_raw, 8, 0, 1},
        {"Maker", "A", record(w, h, 8, 32773, 1), eight_bit_load_raw, 8, 0, 0}, // 8 bits: not raw
        {"Maker", "A", record(w, h, 12, 7, 1), ljpeg_sensor_load_raw, 12, 0, 1},
        {"SONY", "A", record(w, h, 12, 6, 1), ljpeg_2x2_tiles_load_raw, 12, 0, 1},
        {"Kodak", "A", record(w, h, 12, 262, 1), kodak_262_load_raw, 12, 0, 1},
        {"Kodak", "A", record(w, h, 12, 65000, 1), kodak_block_load_raw, 12, 0, 1},
        {"PENTAX", "A", record(w, h, 12, 65535, 1), huffman_delta_load_raw, 12, 0, 1},
        {"Maker", "A", record(w, h, 12, 34892, 1), nullptr, 12, 0, 1},
        {"Maker", "A", record(w, h, 12, 12345, 1), nullptr, 12, 0, 0},
    };
    for (const LoaderCase& c : cases) {
        Chosen chosen;
        choose(chosen, c.make, c.model, {c.raw});
        DecoderState& s = chosen.s();
        SCOPED_TRACE(testing::Message()
                     << c.make << " compression " << c.raw.compression << " bytes " << c.raw.byte_count);
        EXPECT_EQ(s.raw_loader, c.loader);
        EXPECT_EQ(s.bits_per_sample, c.bits);
        EXPECT_EQ(s.loader_flags, c.flags);
        EXPECT_EQ(s.raw_count, c.raw_count);
    }
}

TEST(RawIfdChoice, LargestImageWinsAndTiesAreCounted) {
    Chosen first;
    choose(first, "Maker", "A",
           {record(64, 48, 12, 1, 0), record(640, 480, 12, 7, 0), record(640, 480, 12, 7, 0)});
    EXPECT_EQ(first.s().sensor_width, 640);
    EXPECT_EQ(first.s().raw_count, 2u);
    EXPECT_EQ(first.s().tiff_tile_width, uint32_t(INT32_MAX));

    Chosen second;
    second.s().shot_index = 1;
    auto a = record(640, 480, 12, 7, 0), b = record(640, 480, 12, 7, 0);
    b.data_offset = 9000;
    choose(second, "Maker", "A", {a, b});
    EXPECT_EQ(second.s().sensor_data_offset, 9000u);
}

TEST(RawIfdChoice, SkipsRgbJpegsAndOversizedRecordsAndSpreadsExposure) {
    auto jpeg = record(6000, 4000, 8, 6, 100, 6, 3);
    auto huge = record(70000, 10, 16, 1, 0);
    auto raw = record(600, 400, 12, 7, 0);
    raw.exposure_time = 0;
    huge.exposure_time = 0.5f;
    Chosen c;
    choose(c, "Maker", "A", {jpeg, raw, huge});
    EXPECT_EQ(c.s().sensor_width, 600);
    EXPECT_FLOAT_EQ(c.s().exposure_time, 0.5f); // taken from the later record
}

TEST(RawIfdChoice, PicksTheThumbnailAndItsWriter) {
    auto raw = record(600, 400, 12, 7, 0);
    auto small = record(160, 120, 8, 1, 57600, 2, 3);
    auto large = record(640, 480, 8, 1, 921600, 2, 3);
    large.data_offset = 5555;
    Chosen c;
    choose(c, "Maker", "A", {raw, small, large});
    DecoderState& s = c.s();
    EXPECT_EQ(s.thumbnail_width, 640);
    EXPECT_EQ(s.thumbnail_offset, 5555u);
    EXPECT_EQ(s.thumbnail_length, 921600u);
    EXPECT_EQ(s.thumbnail_misc, 8u | 3u << 5);
    EXPECT_EQ(s.thumbnail_writer, ppm_thumb);
}

TEST(RawIfdChoice, RgbImagesOfNonDngFilesAreNotRaw) {
    Chosen rgb;
    choose(rgb, "Maker", "A", {record(600, 400, 16, 1, 100, 2, 3)});
    EXPECT_EQ(rgb.s().raw_count, 0u);
    Chosen dng;
    dng.s().dng_version_word = 0x01040000;
    choose(dng, "Maker", "A", {record(600, 400, 16, 1, 100, 34892, 3)});
    EXPECT_EQ(dng.s().raw_count, 1u);
    Chosen none;
    choose(none, "Maker", "A", {});
    EXPECT_EQ(none.s().raw_loader, nullptr);
}

} // namespace
