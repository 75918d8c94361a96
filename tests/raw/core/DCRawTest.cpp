#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "raw/core/DCRaw.h"
#include "raw/core/DecoderError.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/Samples.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using raw::DecoderState;

namespace {

struct LoadResult {
    bool ok;
    uint64_t pixelSize;
    std::string status;
    size_t metadataEntries;
};

LoadResult load(const fs::path& path) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    decoder.setOutputColorSpace(4);
    uint64_t pixelSize = 12345;
    bool ok = decoder.loadFile(path.string(), &pixelSize);
    return {ok, pixelSize, decoder.dcStatus(), decoder.metaData().size()};
}

// The record as bytes, with the one field that points into the decoder object.
std::vector<uint8_t> snapshot(const DecoderState& s) {
    std::vector<uint8_t> bytes(sizeof(DecoderState));
    std::memcpy(bytes.data(), &s, sizeof s);
    const size_t at = offsetof(DecoderState, input_path);
    std::memset(bytes.data() + at, 0, sizeof s.input_path);
    return bytes;
}

void leftoverLoader(DecoderState&) {}

// Fields that a previous file may have left behind.
void soil(DecoderState& s) {
    s.fuji_dynamic_range = 400;
    s.panasonic_bit_depth = 14;
    s.panasonic_encoding = 5;
    s.small_raw_multipliers[2] = 1500;
    s.xtrans_sensor_layout[3][3] = 2;
    s.xtrans_layout[1][1] = 2;
    s.sony_private_key = 0xDEADBEEF;
    s.thumbnail_loader = leftoverLoader;
    s.raw_loader = leftoverLoader;
    s.raw_count = 2;
    s.tone_table[1000] = 7;
    s.histogram[1][17] = 99;
    s.data_error_count = 3;
    s.use_embedded_matrix = 1;
    s.embedded_matrix[0][0] = 0.9f;
    s.channel_black[4] = 2;
    std::strcpy(s.camera_make, "Leftover");
    std::strcpy(s.decoder_message, "old failure");
}

class DCRawTest : public ::testing::Test {
  protected:
    testsupport::TempHome home;
    fs::path folder = home.path() / "in";
};

} // namespace

TEST_F(DCRawTest, FilesThatAreNotRawEndWithTheirStatus) {
    struct Case {
        const char* name;
        std::string content; // empty name of content: the file is not created
        bool create;
        std::string status;
    };
    const Case cases[] = {
        {"missing.nef", "", false, std::strerror(ENOENT)},
        {"notes.nef", "These are not the pixels you are looking for.\n", true, "Could not parse raw file"},
        {"empty.dng", "", true, "Could not parse raw file"},
    };
    for (const auto& c : cases) {
        fs::path path = folder / c.name;
        if (c.create) testsupport::writeFile(folder, c.name, c.content);
        LoadResult r = load(path);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.pixelSize, 0u) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.metadataEntries, 0u) << c.name;
    }
}

TEST_F(DCRawTest, ProcessingWithoutARawFileFailsWithZeroSize) {
    fs::path path = testsupport::writeFile(folder, "notes.nef", "text");
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    uint64_t pixelSize = 0;
    ASSERT_FALSE(decoder.loadFile(path.string(), &pixelSize));
    uint16_t* buffer = reinterpret_cast<uint16_t*>(1);
    uint16_t width = 9, height = 9;
    EXPECT_FALSE(decoder.processFileAndCreateBuffer(path.string(), &buffer, 0, &width, &height));
    EXPECT_EQ(decoder.dcStatus(), "Image does not appear to be in raw format.");
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
}

TEST_F(DCRawTest, ADecodeStartsFromAFreshRecord) {
    fs::path path = testsupport::writeFile(folder, "empty.nef", "");
    std::scoped_lock lock(DCRaw::decodeLock());
    load(path);
    const std::vector<uint8_t> fresh = snapshot(DCRaw::state());
    EXPECT_EQ(DCRaw::state().output_space, 4);
    EXPECT_EQ(DCRaw::state().as_shot_white_xyz[0], -1000);

    soil(DCRaw::state());
    load(path);
    EXPECT_EQ(snapshot(DCRaw::state()), fresh) << "something survived from the previous decode";
}

namespace {

struct RoadCase {
    const char* name;
    void (*setup)(DecoderState&);
    const char* status;
};

void fillAndDamage(DecoderState& s) {
    s.pixel_image[0][0] = 4242;
    raw::count_data_error(s); // development goes on; the decode still fails
}

void plainFile(DecoderState& s) {
    s.raw_count = 1;
    s.raw_loader = fillAndDamage;
    s.image_height = s.visible_height = 4;
    s.image_width = s.visible_width = 6;
    s.colour_count = 3;
    // Raw colours pass through development unchanged.
    for (int i = 0; i < 3; ++i)
        s.rgb_from_camera[i][i] = 1;
}

} // namespace

TEST_F(DCRawTest, TheRoadHandsBackWhatItAllocatedOnFailure) {
    const RoadCase cases[] = {
        {"shot beyond the file",
         [](DecoderState& s) {
             plainFile(s);
             s.shot_index = 1;
         },
         "Lumivar could not decode the raw file format"},
        {"layered sensor",
         [](DecoderState& s) {
             plainFile(s);
             s.foveon_sensor = 1;
         },
         "Foveron sensors aren't supported"},
        {"layered sensor beyond the file",
         [](DecoderState& s) {
             plainFile(s);
             s.foveon_sensor = 1;
             s.shot_index = 1;
         },
         "Foveron sensors aren't supported"},
        {"no loader",
         [](DecoderState& s) {
             plainFile(s);
             s.raw_loader = nullptr;
         },
         "Image does not appear to be in raw format."},
    };
    fs::path path = testsupport::writeFile(folder, "data.raw", std::string(64, '\0'));
    for (const auto& c : cases) {
        std::scoped_lock lock(DCRaw::decodeLock());
        DCRaw decoder;
        decoder.loadFile(path.string(), nullptr);
        DecoderState& s = DCRaw::state();
        s.input_file = std::fopen(path.c_str(), "rb");
        c.setup(s);
        uint16_t* buffer = nullptr;
        uint16_t width = 1, height = 1;
        EXPECT_FALSE(decoder.processFileAndCreateBuffer(path.string(), &buffer, 0, &width, &height))
            << c.name;
        EXPECT_EQ(decoder.dcStatus(), c.status) << c.name;
        EXPECT_EQ(width + height, 0) << c.name;
        EXPECT_EQ(s.input_file, nullptr) << c.name << ": the input is closed";
        const bool allocated = std::strcmp(c.status, "Image does not appear to be in raw format.") != 0;
        EXPECT_EQ(buffer != nullptr, allocated) << c.name;
        std::free(buffer);
    }
}

TEST_F(DCRawTest, ALoaderTextFailsTheDecodeButTheImageIsHandedOver) {
    fs::path path = testsupport::writeFile(folder, "data.raw", std::string(64, '\0'));
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    decoder.loadFile(path.string(), nullptr);
    DecoderState& s = DCRaw::state();
    s.input_file = std::fopen(path.c_str(), "rb");
    plainFile(s);
    uint16_t* buffer = nullptr;
    uint16_t width = 1, height = 1;
    EXPECT_FALSE(decoder.processFileAndCreateBuffer(path.string(), &buffer, 0, &width, &height));
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer[0], 4242) << "the loader's pixels";
    EXPECT_FALSE(decoder.dcStatus().empty());
    EXPECT_NE(decoder.dcStatus(), "ok");
    std::free(buffer);
}

TEST_F(DCRawTest, ConcurrentDecodesWaitForTheClassLock) {
    fs::path path = testsupport::writeFile(folder, "notes.nef", "text");
    std::atomic<bool> finished{false};
    std::thread other;
    {
        std::scoped_lock lock(DCRaw::decodeLock());
        other = std::thread([&] {
            LoadResult r = load(path);
            EXPECT_EQ(r.status, "Could not parse raw file");
            finished = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(finished) << "a second decode ran while the first held the lock";
    }
    other.join();
    EXPECT_TRUE(finished);

    std::vector<std::thread> many;
    std::atomic<int> inside{0}, overlaps{0};
    for (int t = 0; t < 4; ++t)
        many.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                std::scoped_lock lock(DCRaw::decodeLock());
                if (inside++ != 0) ++overlaps;
                EXPECT_EQ(load(path).status, "Could not parse raw file");
                --inside;
            }
        });
    for (auto& t : many)
        t.join();
    EXPECT_EQ(overlaps, 0);
}

TEST_F(DCRawTest, SampleFilesEndWithAStatus) {
    const char* names[] = {"CanonRaw.cr2",
                           "Nikon.nef",
                           "DNG.dng",
                           "Sigma.x3f",
                           "PhotoCD.pcd",
                           "synthetic_1024_rggb_uncompressed.dng",
                           "iPhone12Pro_header_only.dng"};
    int seen = 0;
    for (const char* name : names) {
        fs::path path = testsupport::samplePath(name);
        if (!fs::exists(path)) continue;
        ++seen;
        std::scoped_lock lock(DCRaw::decodeLock());
        DCRaw decoder;
        uint64_t pixelSize = 0;
        bool ok = decoder.loadFile(path.string(), &pixelSize);
        EXPECT_EQ(ok, decoder.dcStatus() == "ok") << name;
        EXPECT_EQ(ok, pixelSize != 0) << name;
        if (!ok) continue;
        uint16_t* buffer = nullptr;
        uint16_t width = 0, height = 0;
        ok = decoder.processFileAndCreateBuffer(path.string(), &buffer, 0, &width, &height);
        EXPECT_EQ(ok, decoder.dcStatus() == "ok") << name;
        std::free(buffer);
    }
    if (seen == 0) GTEST_SKIP() << "no sample files present";
}

TEST_F(DCRawTest, RawDumpsGoToStandardErrorSixteenValuesALine) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    DecoderState& s = DCRaw::state();
    std::vector<uint16_t> raw(size_t(20) * (3 + 7));
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = uint16_t(i);
    s.raw_buffer = raw.data();
    s.sensor_width = 20;
    s.sensor_height = 3;
    s.margin_top = 2;
    s.raw_loader = nullptr; // one value a photosite

    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    decoder.rawDump(1);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(err, "Lumivar: raw row 1, value 0: 20 21 22 23 24 25 26 27 28 29 30 31 32 33 34 35\n"
                   "Lumivar: raw row 1, value 16: 36 37 38 39\n");

    ::testing::internal::CaptureStderr();
    decoder.rawDumpCanonRows(); // the two masked rows
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 4);
    EXPECT_NE(err.find("raw row 0, value 16: 16 17 18 19\n"), std::string::npos);

    ::testing::internal::CaptureStderr();
    decoder.rawDump(10); // past the 3 + 7 rows the buffer holds
    s.raw_buffer = nullptr;
    decoder.rawDump(0);
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("row 10 is outside the raw data"), std::string::npos);
    EXPECT_NE(err.find("no raw data"), std::string::npos);
}
