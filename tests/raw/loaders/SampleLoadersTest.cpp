// The header-only and truncated camera files whose data these loaders would read: each
// loader must stop at the end of the file with a data error, never crash or run on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "raw/core/DCRaw.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/Samples.h"
#include "tests/support/TempHome.h"

using namespace raw;

namespace {

std::vector<uint8_t> sample_bytes(const std::string& name) {
    std::ifstream in(testsupport::samplePath(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Geometry and offsets as the files' own directories give them.
struct SampleCase {
    const char* file;
    Routine loader;
    uint16_t width, height;
    uint32_t bits;
    uint64_t maker_offset, data_offset;
    uint32_t flags;
    int32_t panasonic_encoding;
};

const SampleCase kSamples[] = {
    {"Nikon.nef", nikon_compressed_load_raw, 3040, 2014, 12, 2382, 1376, 0, 0},
    {"D7100_truncated.NEF", nikon_compressed_load_raw, 6036, 4020, 14, 21076, 3477504, 0, 0},
    {"SLT-A55V_truncated.ARW", sony_arw2_load_raw, 4928, 3280, 12, 0, 1310720, 0, 0},
    {"Panasonic.rw2", panasonic_blocks_load_raw, 3724, 2754, 12, 0, 12322, 8200, 4},
};

} // namespace

TEST(SampleLoaders, TruncatedDataEndsInADataError) {
    for (const SampleCase& c : kSamples) {
        SCOPED_TRACE(c.file);
        if (!std::filesystem::exists(testsupport::samplePath(c.file))) {
            GTEST_LOG_(INFO) << "sample " << c.file << " not present";
            continue;
        }
        testsupport::LoaderRig rig(sample_bytes(c.file), c.width, c.height);
        rig.s->bits_per_sample = c.bits;
        rig.s->maker_data_offset = c.maker_offset;
        rig.s->loader_flags = c.flags;
        rig.s->panasonic_encoding = c.panasonic_encoding;
        rig.s->panasonic_bit_depth = int32_t(c.bits);
        rig.run(c.loader, long(c.data_offset));
        EXPECT_GT(rig.s->data_error_count, 0);
        EXPECT_STREQ(rig.s->decoder_message, "Unsupported file type");
    }
}

TEST(SampleLoaders, DecodingThroughTheRoadFails) {
    testsupport::TempHome home;
    for (const SampleCase& c : kSamples) {
        SCOPED_TRACE(c.file);
        const auto path = testsupport::samplePath(c.file);
        if (!std::filesystem::exists(path)) continue;
        std::scoped_lock lock(DCRaw::decodeLock());
        DCRaw decoder;
        uint64_t pixelSize = 0;
        ASSERT_TRUE(decoder.loadFile(path.string(), &pixelSize)) << c.file << ": " << decoder.dcStatus();
        uint16_t* buffer = nullptr;
        uint16_t width = 1, height = 1;
        EXPECT_FALSE(decoder.processFileAndCreateBuffer(path.string(), &buffer, 0, &width, &height));
        EXPECT_NE(decoder.dcStatus(), "ok");
        EXPECT_EQ(width, 0);
        std::free(buffer);
    }
}
