#include "dng/dng_color_space.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_ifd.h"
#include "dng/dng_memory.h"
#include "dng/dng_preview.h"
#include "tests/dng/writer/DecoderReadBack.h"
#include "tests/dng/writer/WriterFixtures.h"
#include "tests/support/TempFolder.h"
#include "tests/tools/RunDecoder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace writertest;

namespace {

struct DngCase {
    const char* name;
    int bayerPhase; // -1 linear RGB
    bool uncompressed;
};

const DngCase kDngCases[] = {{"cfa_lossless", 0, false},
                             {"cfa_uncompressed", 0, true},
                             {"rgb_lossless", -1, false},
                             {"rgb_uncompressed", -1, true}};

void WriteDNGFile(const std::string& path, dng_negative& negative, bool uncompressed, uint32_t threads = 4,
                  const dng_preview_list* previews = nullptr) {
    dng_threaded_host host(threads);
    dng_atomic_file_stream stream(path.c_str());
    dng_image_writer writer;
    writer.WriteDNG(host, stream, negative, previews, 0x01040000, uncompressed);
    stream.Commit();
}

// A 16-bit PGM or PPM of the decoder: its samples.
std::vector<uint16_t> NetpbmSamples(const std::string& bytes, int& width, int& height, int& channels) {
    std::istringstream in(bytes);
    std::string magic;
    int maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    channels = magic == "P6" ? 3 : 1;
    std::vector<uint16_t> out(size_t(width) * height * channels);
    for (uint16_t& v : out) {
        const int hi = in.get(), lo = in.get();
        v = uint16_t(hi << 8 | lo);
    }
    return out;
}

} // namespace

class DngFiles : public ::testing::TestWithParam<DngCase> {};

TEST_P(DngFiles, ReadBackByIndependentReadersAndTheDecoder) {
    const DngCase& c = GetParam();
    // The decoder wraps a tile that is wider than the whole image into its next row, so the
    // width is a whole number of 16-column cells; the rows end inside the last tile.
    const uint32_t rows = 45, cols = 96;
    const bool cfa = c.bayerPhase >= 0;
    const std::vector<uint16_t> samples = SceneSamples(rows, cols, cfa ? 1 : 3, 11);
    dng_host host;
    std::unique_ptr<dng_negative> negative = MakeNegative(host, rows, cols, samples, c.bayerPhase);
    testsupport::TempFolder folder;
    const std::string path = (folder / (std::string(c.name) + ".dng")).string();
    WriteDNGFile(path, *negative, c.uncompressed);

    if (HaveTool("tiffinfo")) {
        // libtiff reads no lossless JPEG, so only uncompressed data is read through.
        const auto [info, status] =
            RunCommand(std::string(c.uncompressed ? "tiffinfo -D " : "tiffinfo ") + path);
        EXPECT_EQ(status, 0) << info;
        EXPECT_EQ(info.find("rror"), std::string::npos) << info;
        EXPECT_NE(info.find(cfa ? "32803" : "34892"), std::string::npos) << info;
        const auto [dump, dumpStatus] = RunCommand("tiffdump " + path);
        EXPECT_EQ(dumpStatus, 0) << dump;
    }
    if (HaveTool("exiftool")) {
        EXPECT_EQ(ExiftoolComplaints(path), "");
    }

    const testsupport::Outcome listing = testsupport::runDecoder({"-i", "-v", path});
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_NE(listing.out.find("Lumivar"), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find(std::to_string(cols) + " x " + std::to_string(rows)), std::string::npos)
        << listing.out;

    // The sensor data the decoder would develop: exactly what was written.
    const DecodedSensor sensor = DecodeSensor(path);
    ASSERT_EQ(sensor.failure, "");
    EXPECT_EQ(sensor.width, int(cols));
    EXPECT_EQ(sensor.height, int(rows));
    EXPECT_EQ(sensor.cfaPattern != 0, cfa);
    EXPECT_EQ(sensor.samples, samples);

    // And its development runs to an image of the same size.
    const testsupport::Outcome developed = testsupport::runDecoder({"-4", "-c", path});
    ASSERT_EQ(developed.status, 0) << developed.err;
    int width = 0, height = 0, channels = 0;
    NetpbmSamples(developed.out, width, height, channels);
    EXPECT_EQ(width, int(cols));
    EXPECT_EQ(height, int(rows));
    EXPECT_EQ(channels, 3);
}

INSTANTIATE_TEST_SUITE_P(Writer, DngFiles, ::testing::ValuesIn(kDngCases),
                         [](const auto& info) { return std::string(info.param.name); });
