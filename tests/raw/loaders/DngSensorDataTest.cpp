#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "raw/core/DecoderError.h"
#include "raw/loaders/DngSensorData.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"
#include "tests/raw/IdentifyKit.h"
#include "tests/raw/LosslessJpegFixture.h"
#include "tests/support/BitWriter.h"
#include "tests/support/LosslessJpegEncoder.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TiffBuilder.h"

using namespace raw;
using ljpegtest::runLoader;
using ljpegtest::StreamState;
using testsupport::encodeLosslessJpeg;
using testsupport::LosslessJpegFrame;

namespace {

constexpr uint32_t kUntiled = 0x7FFFFFFF; // what the TIFF parser records for untiled data

void putU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = uint8_t(v >> (8 * i));
}

// A 12 x 10 sensor in four 8 x 8 tiles; the right and bottom tiles are padded in their
// frames as DNG writers do. The file is the little-endian offset list, then the tiles.
struct TiledSensor {
    static constexpr int kTile = 8;
    const int kWidth, kHeight;
    std::vector<uint16_t> image;
    std::vector<std::vector<uint8_t>> tiles;

    explicit TiledSensor(int width = 12, int height = 10)
        : kWidth(width), kHeight(height), image(ljpegtest::randomSamples(size_t(width * height), 14, 21)) {
        for (int tr = 0; tr < kHeight; tr += kTile)
            for (int tc = 0; tc < kWidth; tc += kTile) {
                LosslessJpegFrame f;
                f.precision = 14;
                f.width = kTile / 2;
                f.components = 2;
                f.height = kTile;
                for (int r = tr; r < tr + kTile; ++r)
                    for (int c = tc; c < tc + kTile; ++c)
                        f.samples.push_back(r < kHeight && c < kWidth ? image[r * kWidth + c] : 0x1234);
                tiles.push_back(encodeLosslessJpeg(f));
            }
    }

    // `offsets` replaces the offsets of the tiles it names.
    std::vector<uint8_t> file(const std::vector<std::pair<int, uint32_t>>& offsets = {}) const {
        std::vector<uint8_t> out(4 * tiles.size());
        for (size_t i = 0; i < tiles.size(); ++i) {
            putU32(out, 4 * i, uint32_t(out.size()));
            out.insert(out.end(), tiles[i].begin(), tiles[i].end());
        }
        for (auto [tile, offset] : offsets)
            putU32(out, 4 * size_t(tile), offset);
        out.resize(out.size() + 64, 0); // zeros for tiles pointed at nothing
        return out;
    }

    void setUp(StreamState& st) const {
        st.sensor(kWidth, kHeight);
        st.s->dng_version_word = 0x01040000;
        st.s->byte_order = 0x4949;
        st.s->tiff_tile_width = st.s->tiff_tile_length = kTile;
        st.s->samples_per_pixel = 1;
        st.s->raw_count = 1;
    }

    static bool inTile(int tile, int r, int c) { return r / kTile * 2 + c / kTile == tile; }
};

} // namespace

TEST(DngLjpeg, TilesFillTheSensorAndTheirPaddingIsDropped) {
    TiledSensor sensor;
    StreamState st(sensor.file());
    sensor.setUp(st);
    EXPECT_EQ(runLoader(dng_ljpeg_load_raw, st), "");
    EXPECT_EQ(std::vector<uint16_t>(st.raw.begin(), st.raw.begin() + sensor.image.size()), sensor.image);
    EXPECT_EQ(st.s->data_error_count, 0);
}

// A sensor narrower than one tile: the tile's padding columns are dropped, not wrapped onto
// the next row.
TEST(DngLjpeg, ASensorNarrowerThanItsTileKeepsItsRows) {
    TiledSensor sensor(6, 10);
    StreamState st(sensor.file());
    sensor.setUp(st);
    EXPECT_EQ(runLoader(dng_ljpeg_load_raw, st), "");
    EXPECT_EQ(std::vector<uint16_t>(st.raw.begin(), st.raw.begin() + sensor.image.size()), sensor.image);
    EXPECT_EQ(st.s->data_error_count, 0);
}

TEST(DngLjpeg, AMissingTileLeavesAHoleAndCountsADataError) {
    TiledSensor sensor;
    const uint32_t zeros = uint32_t(sensor.file().size() - 64);
    const std::pair<const char*, uint32_t> damage[] = {
        {"offset past the end", 0xFFFFFF00u},
        {"offset to zeros", zeros},
        {"offset into another tile's data", 4 * 4 + 60},
    };
    for (const auto& [name, offset] : damage) {
        StreamState st(sensor.file({{1, offset}}));
        sensor.setUp(st);
        EXPECT_EQ(runLoader(dng_ljpeg_load_raw, st), "") << name;
        EXPECT_GE(st.s->data_error_count, 1) << name;
        EXPECT_STREQ(st.s->decoder_message, "Unsupported file type") << name;
        for (int r = 0; r < sensor.kHeight; ++r)
            for (int c = 0; c < sensor.kWidth; ++c) {
                const uint16_t expected =
                    TiledSensor::inTile(1, r, c) ? 0 : sensor.image[r * sensor.kWidth + c];
                ASSERT_EQ(st.at(r, c), expected) << name << " at " << r << "," << c;
            }
    }
}

TEST(DngLjpeg, FailsWhenNoTileHoldsAFrame) {
    TiledSensor sensor;
    const uint32_t zeros = uint32_t(sensor.file().size() - 64);
    StreamState st(sensor.file({{0, zeros}, {1, zeros}, {2, zeros}, {3, zeros}}));
    sensor.setUp(st);
    EXPECT_EQ(runLoader(dng_ljpeg_load_raw, st), kNotLosslessJpegText);
}

TEST(DngLjpeg, AnOffsetListCutShortStopsTheLoader) {
    TiledSensor sensor;
    const std::vector<uint8_t> file = sensor.file();
    StreamState st(std::vector<uint8_t>(file.begin(), file.begin() + 6));
    sensor.setUp(st);
    EXPECT_EQ(runLoader(dng_ljpeg_load_raw, st), kNotLosslessJpegText);
    EXPECT_GE(st.s->data_error_count, 2);
}

TEST(DngLjpeg, LinearRawFramesFillThePixelImage) {
    // Three samples per pixel coded as three components: the frame's lines are pixel rows
    // (raw_count 1 must not make the loader read three lines' worth from each).
    LosslessJpegFrame f;
    f.width = 6;
    f.height = 4;
    f.components = 3;
    f.samples = ljpegtest::randomSamples(6 * 4 * 3, 12, 22);
    for (uint32_t tile : {kUntiled, 0u}) {
        StreamState st(encodeLosslessJpeg(f));
        st.s->dng_version_word = 0x01040000;
        st.pixels(6, 4);
        st.s->sensor_width = 6;
        st.s->sensor_height = 4;
        st.s->samples_per_pixel = 3;
        st.s->raw_count = 1;
        st.s->tiff_tile_width = st.s->tiff_tile_length = tile;
        EXPECT_EQ(runLoader(dng_ljpeg_load_raw, st), "") << tile;
        for (int i = 0; i < 24; ++i)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(st.image[i][c], f.samples[i * 3 + c]) << tile << " pixel " << i;
        EXPECT_EQ(st.s->data_error_count, 0);
    }
}

TEST(DngLjpeg, LossyBlocksLandOnEverySecondRow) {
    testsupport::LossyJpegFrame f;
    std::fill(std::begin(f.quantisation), std::end(f.quantisation), uint16_t(1));
    f.quantisation[0] = 8;
    f.blocks = {{0, {}, true}};
    for (uint32_t samples : {1u, 3u}) {
        StreamState st(testsupport::encodeLossyJpeg(f));
        st.s->dng_version_word = 0x01040000;
        st.sensor(8, 16);
        st.s->samples_per_pixel = samples;
        st.s->raw_count = 1;
        st.s->tiff_tile_width = st.s->tiff_tile_length = kUntiled;
        EXPECT_EQ(runLoader(dng_ljpeg_load_raw, st), "");
        if (samples == 1) {
            for (int r = 0; r < 16; ++r)
                for (int c = 0; c < 8; ++c)
                    ASSERT_EQ(st.at(r, c), r % 2 ? 0 : 2048) << r << "," << c;
        } else {
            EXPECT_EQ(st.s->data_error_count, 1) << "a block has one sample per pixel";
        }
    }
}

TEST(PackedDng, SixteenBitRowsInEitherByteOrder) {
    for (uint16_t order : {uint16_t(0x4949), uint16_t(0x4D4D)}) {
        std::vector<uint8_t> bytes;
        const uint16_t values[] = {0x0102, 0xFFEE, 0x0000, 0x1234, 0x8000, 0x00FF};
        for (uint16_t v : values) {
            const uint8_t hi = uint8_t(v >> 8), lo = uint8_t(v);
            bytes.insert(bytes.end(), order == 0x4949 ? std::initializer_list<uint8_t>{lo, hi}
                                                      : std::initializer_list<uint8_t>{hi, lo});
        }
        StreamState st(bytes);
        st.sensor(3, 2);
        st.s->byte_order = order;
        st.s->bits_per_sample = 16;
        EXPECT_EQ(runLoader(packed_dng_load_raw, st), "");
        EXPECT_EQ(std::vector<uint16_t>(st.raw.begin(), st.raw.begin() + 6),
                  std::vector<uint16_t>(values, values + 6));
        EXPECT_EQ(st.s->data_error_count, 0);
    }
}

TEST(PackedDng, PackedRowsStartOnAFreshByteAndKnowNoStuffing) {
    // Three 12-bit samples per row: 36 bits, so each row ends with 4 bits of padding.
    const uint16_t rows[2][3] = {{0xFFF, 0x0AB, 0xF00}, {0x123, 0xFFF, 0x001}};
    testsupport::BitWriter w;
    for (const auto& row : rows) {
        for (uint16_t v : row)
            w.put(v, 12);
        w.align(0);
    }
    StreamState st(w.finish());
    st.sensor(3, 2);
    st.s->bits_per_sample = 12;
    st.s->ff_stuffing = 1; // left over from a JPEG thumbnail, say
    EXPECT_EQ(runLoader(packed_dng_load_raw, st), "");
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(st.at(r, c), rows[r][c]) << r << "," << c;
}

TEST(PackedDng, PixelsOfSeveralSamples) {
    const std::vector<uint16_t> samples = {10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42};
    std::vector<uint8_t> bytes;
    for (uint16_t v : samples)
        bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)});

    // Without a sensor buffer every sample goes to its channel of the pixel image.
    StreamState rgb(bytes);
    rgb.pixels(2, 2);
    rgb.s->sensor_width = rgb.s->sensor_height = 2;
    rgb.s->samples_per_pixel = 3;
    rgb.s->bits_per_sample = 16;
    rgb.s->byte_order = 0x4949;
    EXPECT_EQ(runLoader(packed_dng_load_raw, rgb), "");
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(rgb.image[i][c], samples[i * 3 + c]);

    // Two shots per pixel: shot 1 takes the second sample of each pair.
    StreamState shots(bytes);
    shots.sensor(3, 2);
    shots.s->samples_per_pixel = 2;
    shots.s->shot_index = 1;
    shots.s->bits_per_sample = 16;
    shots.s->byte_order = 0x4949;
    EXPECT_EQ(runLoader(packed_dng_load_raw, shots), "");
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(shots.raw[i], samples[i * 2 + 1]) << i;
}

TEST(PackedDng, AShortFileCountsAnErrorAndLeavesTheRestBlack) {
    StreamState st(std::vector<uint8_t>{1, 0, 2, 0, 3});
    st.sensor(2, 4);
    st.s->bits_per_sample = 16;
    st.s->byte_order = 0x4949;
    EXPECT_EQ(runLoader(packed_dng_load_raw, st), "");
    EXPECT_EQ(st.at(0, 0), 1);
    EXPECT_EQ(st.at(0, 1), 2);
    EXPECT_GE(st.s->data_error_count, 1);
    for (int r = 2; r < 4; ++r)
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(st.at(r, c), 0) << r << "," << c;
}

namespace {

// A small uncompressed 16-bit DNG with a linearisation table for the values below 4096 (the
// rest keep their own value); the width is odd so rows end half way through a word pair.
struct PackedDngFile {
    static constexpr uint32_t kWidth = 37, kHeight = 11;
    std::vector<uint8_t> bytes;
    uint32_t dataOffset = 0;

    explicit PackedDngFile(testsupport::TiffBuilder::Order order) {
        const bool big = order == testsupport::TiffBuilder::Order::Big;
        std::vector<uint8_t> data;
        const std::vector<uint16_t> values = ljpegtest::randomSamples(kWidth * kHeight, 16, 23);
        for (size_t i = 0; i < values.size(); ++i) {
            const uint16_t v = i % 3 ? values[i] : uint16_t(values[i] & 0xFFF); // some in the table
            data.insert(data.end(), big ? std::initializer_list<uint8_t>{uint8_t(v >> 8), uint8_t(v)}
                                        : std::initializer_list<uint8_t>{uint8_t(v), uint8_t(v >> 8)});
        }
        std::vector<uint16_t> table(4096);
        for (size_t i = 0; i < table.size(); ++i)
            table[i] = uint16_t(i * i / 300 + 7);
        testsupport::TiffBuilder tiff(order);
        const int strip = tiff.addBlock(data);
        tiff.addIfd()
            .longs(254, {0})
            .longs(256, {kWidth})
            .longs(257, {kHeight})
            .shorts(258, {16})
            .shorts(259, {1})
            .shorts(262, {32803})
            .blockOffset(273, strip)
            .shorts(277, {1})
            .longs(278, {kHeight})
            .longs(279, {uint32_t(data.size())})
            .shorts(33421, {2, 2})
            .bytes(33422, {0, 1, 1, 2})
            .bytes(50706, {1, 4, 0, 0})
            .shorts(50712, table);
        bytes = tiff.build();
        dataOffset = tiff.blockOffsetOf(strip);
        bytes.resize(bytes.size() + 5, 0x5A); // bytes after the data are not the loader's
    }
};

struct LoadResult {
    std::vector<uint16_t> raw;
    int32_t errors;
    std::string message;
    long position;
};

// Identifies `bytes` and runs the loader over `file` holding them, as the decode does.
LoadResult loadPacked(const std::vector<uint8_t>& bytes, FILE* file) {
    auto s = identifykit::identify(bytes);
    EXPECT_EQ(s->raw_loader, &packed_dng_load_raw);
    std::vector<uint16_t> raw((size_t(s->sensor_height) + 7) * s->sensor_width);
    s->raw_buffer = raw.data();
    s->input_file = file;
    std::fseek(file, long(s->sensor_data_offset), SEEK_SET);
    packed_dng_load_raw(*s);
    return {raw, s->data_error_count, s->decoder_message, std::ftell(file)};
}

} // namespace

// Files on disk take a path of their own (whole rows read in bands); whatever it gives must
// be what the stream road gives a memory file of the same bytes, also for a file cut short.
TEST(PackedDng, FilesOnDiskLoadAsMemoryStreamsDo) {
    testsupport::TempFolder folder;
    for (auto order : {testsupport::TiffBuilder::Order::Little, testsupport::TiffBuilder::Order::Big}) {
        const PackedDngFile dng(order);
        const size_t rowBytes = PackedDngFile::kWidth * 2;
        struct Cut {
            const char* name;
            size_t size;
        } cuts[] = {
            {"whole", dng.bytes.size()},
            {"data ends with the file", dng.dataOffset + rowBytes * PackedDngFile::kHeight},
            {"cut inside a row", dng.dataOffset + rowBytes * 4 + 9},
            {"cut after a row", dng.dataOffset + rowBytes * 6},
        };
        for (const Cut& cut : cuts) {
            const std::string name =
                std::string(order == testsupport::TiffBuilder::Order::Big ? "big, " : "little, ") + cut.name;
            const std::vector<uint8_t> bytes(dng.bytes.begin(), dng.bytes.begin() + ptrdiff_t(cut.size));
            const auto path = testsupport::writeFile(folder.path(), "packed.dng", bytes);
            std::unique_ptr<FILE, int (*)(FILE*)> disk(std::fopen(path.c_str(), "rb"), &std::fclose);
            ASSERT_TRUE(disk) << name;
            testsupport::MemoryFile memory(bytes);
            const LoadResult fromDisk = loadPacked(bytes, disk.get());
            const LoadResult fromMemory = loadPacked(bytes, memory.get());
            EXPECT_EQ(fromDisk.raw, fromMemory.raw) << name;
            EXPECT_EQ(fromDisk.errors, fromMemory.errors) << name;
            EXPECT_EQ(fromDisk.message, fromMemory.message) << name;
            EXPECT_EQ(fromDisk.position, fromMemory.position) << name;
            const bool whole = cut.size >= dng.dataOffset + rowBytes * PackedDngFile::kHeight;
            EXPECT_EQ(fromDisk.errors == 0, whole) << name;
        }
        // The table maps values below 4096 and leaves the others; the rows past the sensor stay 0.
        const auto bytes = dng.bytes;
        const auto path = testsupport::writeFile(folder.path(), "packed.dng", bytes);
        std::unique_ptr<FILE, int (*)(FILE*)> disk(std::fopen(path.c_str(), "rb"), &std::fclose);
        const LoadResult r = loadPacked(bytes, disk.get());
        const bool big = order == testsupport::TiffBuilder::Order::Big;
        for (size_t i = 0; i < size_t(PackedDngFile::kWidth) * PackedDngFile::kHeight; ++i) {
            const uint8_t* at = &bytes[dng.dataOffset + 2 * i];
            const uint16_t stored = big ? uint16_t(at[0] << 8 | at[1]) : uint16_t(at[1] << 8 | at[0]);
            const uint16_t expected = stored < 4096 ? uint16_t(stored * stored / 300 + 7) : stored;
            ASSERT_EQ(r.raw[i], expected) << i;
        }
        for (size_t i = size_t(PackedDngFile::kWidth) * PackedDngFile::kHeight; i < r.raw.size(); ++i)
            ASSERT_EQ(r.raw[i], 0) << i;
    }
}

namespace {

// Just enough of a TIFF reader to find a DNG's tiled raw image: the IFD
// with compression 7 among IFD0 and its first sub-IFD.
struct RawIfd {
    uint32_t width = 0, height = 0, bits = 0, tileWidth = 0, tileLength = 0, offsetList = 0, tiles = 0;
    uint32_t dngVersion = 0;
};

uint32_t number(const std::vector<uint8_t>& b, size_t at, int bytes) {
    const bool big = b.at(0) == 'M';
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | b.at(at + (big ? i : bytes - 1 - i));
    return v;
}

RawIfd findRawIfd(const std::vector<uint8_t>& file) {
    RawIfd found;
    std::vector<uint32_t> ifds = {number(file, 4, 4)};
    for (size_t k = 0; k < ifds.size() && k < 2; ++k) {
        RawIfd ifd;
        uint32_t compression = 0;
        const size_t at = ifds[k];
        for (uint32_t i = 0, n = number(file, at, 2); i < n; ++i) {
            const size_t e = at + 2 + 12 * i;
            const uint32_t tag = number(file, e, 2), type = number(file, e + 2, 2),
                           count = number(file, e + 4, 4);
            const uint32_t value = type == 3 && count == 1 ? number(file, e + 8, 2) : number(file, e + 8, 4);
            switch (tag) {
            case 256:
                ifd.width = value;
                break;
            case 257:
                ifd.height = value;
                break;
            case 258:
                ifd.bits = value;
                break;
            case 259:
                compression = value;
                break;
            case 322:
                ifd.tileWidth = value;
                break;
            case 323:
                ifd.tileLength = value;
                break;
            case 324:
                ifd.offsetList = value, ifd.tiles = count;
                break;
            case 330:
                ifds.push_back(value);
                break;
            case 50706:
                ifd.dngVersion = number(file, e + 8, 1) << 24 | number(file, e + 9, 1) << 16;
                break;
            }
        }
        if (k == 0) found.dngVersion = ifd.dngVersion;
        if (compression == 7 && ifd.tiles > 1) {
            ifd.dngVersion = found.dngVersion;
            found = ifd;
        }
    }
    return found;
}

} // namespace

TEST(DngLjpeg, RealTiledFilesDecodeCleanly) {
    struct Sample {
        const char* name;
        uint16_t white;
    };
    for (const Sample& sample :
         {Sample{"Pixel7_small.dng", 65535}, Sample{"BMPCC_cinemadng_frame.dng", 4095}}) {
        const auto path = testsupport::samplePath(sample.name);
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample " << sample.name << " not present";
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        const RawIfd ifd = findRawIfd(bytes);
        ASSERT_GT(ifd.tiles, 1u) << sample.name;
        StreamState st(bytes);
        st.sensor(uint16_t(ifd.width), uint16_t(ifd.height));
        st.s->byte_order = uint16_t(bytes[0] << 8 | bytes[1]);
        st.s->dng_version_word = ifd.dngVersion;
        st.s->tiff_tile_width = ifd.tileWidth;
        st.s->tiff_tile_length = ifd.tileLength;
        st.s->bits_per_sample = ifd.bits;
        st.s->samples_per_pixel = st.s->raw_count = 1;
        std::fseek(st.file.get(), long(ifd.offsetList), SEEK_SET);
        EXPECT_EQ(runLoader(dng_ljpeg_load_raw, st), "") << sample.name;
        EXPECT_EQ(st.s->data_error_count, 0) << sample.name;
        // A stream decoded out of step turns into noise; real photosites of one colour
        // two columns apart are close.
        double total = 0;
        uint16_t highest = 0;
        for (uint32_t r = 0; r < ifd.height; ++r)
            for (uint32_t c = 0; c + 2 < ifd.width; ++c) {
                total += std::abs(int(st.at(int(r), int(c))) - int(st.at(int(r), int(c + 2))));
                highest = std::max(highest, st.at(int(r), int(c)));
            }
        EXPECT_LE(highest, sample.white) << sample.name;
        EXPECT_LT(total / (double(ifd.height) * (ifd.width - 2)), sample.white * 0.02) << sample.name;
    }
}
