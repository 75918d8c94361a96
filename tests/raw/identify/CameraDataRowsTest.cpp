// The table rows filled from camera data: a made-up file of each body's make, model and raw
// size is identified to the row's frame and colour matrix.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/raw/IdentifyKit.h"
#include "tests/support/LosslessJpegEncoder.h"
#include "tests/support/TiffBuilder.h"

namespace {

using testsupport::TiffBuilder;

// A CR2-like file: IFD0 names the camera, a second directory's strip starts with a
// lossless JPEG frame of two interleaved columns per sample pair, which gives the raw size.
// Identification reads only the frame header, so the frame itself is tiny and patched.
std::vector<uint8_t> canonFile(const std::string& model, uint16_t width, uint16_t height) {
    testsupport::LosslessJpegFrame frame;
    frame.precision = 14;
    frame.width = 2;
    frame.height = 2;
    frame.components = 2;
    frame.samples.assign(8, 1000);
    std::vector<uint8_t> jpeg = testsupport::encodeLosslessJpeg(frame);
    for (size_t i = 0; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC3) {
            const uint16_t columns = uint16_t(width / 2);
            jpeg[i + 5] = uint8_t(height >> 8), jpeg[i + 6] = uint8_t(height);
            jpeg[i + 7] = uint8_t(columns >> 8), jpeg[i + 8] = uint8_t(columns);
            break;
        }
    TiffBuilder tiff(TiffBuilder::Order::Little);
    const int strip = tiff.addBlock(jpeg);
    tiff.addIfd().ascii(271, "Canon").ascii(272, model).shorts(274, {1});
    tiff.addIfd().shorts(259, {6}).blockOffset(273, strip).longs(279, {uint32_t(jpeg.size())});
    return tiff.build();
}

// A maker TIFF of 16-bit uncompressed photosites.
std::vector<uint8_t> plainCfaFile(const std::string& make, const std::string& model) {
    const uint32_t w = 256, h = 128;
    TiffBuilder tiff(TiffBuilder::Order::Little);
    const int strip = tiff.addBlock(std::vector<uint8_t>(size_t(w) * h * 2, 0x10));
    tiff.addIfd()
        .ascii(271, make)
        .ascii(272, model)
        .longs(256, {w})
        .longs(257, {h})
        .shorts(258, {16})
        .shorts(259, {1})
        .shorts(262, {32803})
        .blockOffset(273, strip)
        .shorts(277, {1})
        .longs(278, {h})
        .longs(279, {w * h * 2});
    return tiff.build();
}

using Matrix = std::array<int16_t, 9>;

void expectMatrixInUse(const raw::DecoderState& s, const Matrix& m) {
    EXPECT_EQ(s.camera_colour_output, 0);
    for (int k = 0; k < 9; ++k)
        EXPECT_FLOAT_EQ(s.camera_from_xyz[k / 3][k % 3], m[size_t(k)] / 10000.0f) << "entry " << k;
}

// Sensor photosites run red, green / green, blue from the sensor's first row and column.
int sensorColour(int row, int col) { return (row & 1) + (col & 1); }
// The colour of a Bayer pattern word's 2-bit code at a photosite of the visible frame.
int visibleColour(uint32_t pattern, int row, int col) {
    const int c = int(pattern >> ((((row << 1) & 14) | (col & 1)) << 1) & 3);
    return c == 3 ? 1 : c; // the second green of a spread pattern
}

} // namespace

TEST(CameraDataRows, CanonFramesCutTheMaskedBorderByTheCamerasOwnSensorBlock) {
    struct Row {
        const char* model;
        uint16_t width, height, left, top, right, bottom; // active area borders, inclusive
        std::optional<Matrix> matrix = std::nullopt;
    };
    const Row rows[] = {
        {"Canon EOS 20D", 3596, 2360, 84, 19, 3587, 2354},
        {"Canon EOS 1000D", 3948, 2622, 52, 23, 3939, 2614},
        {"Canon EOS 450D", 4312, 2876, 32, 23, 4303, 2870},
        {"Canon EOS 500D", 4832, 3204, 72, 31, 4823, 3198},
        {"Canon EOS 100D", 5280, 3528, 84, 64, 5267, 3519},
        {"Canon EOS 600D", 5344, 3516, 152, 56, 5335, 3511},
        {"Canon EOS 6D", 5568, 3708, 84, 50, 5555, 3697,
         Matrix{7034, -804, -1014, -4420, 12564, 2058, -851, 1994, 5758}},
        {"Canon EOS-1Ds Mark III", 5712, 3774, 72, 25, 5687, 3768},
        {"Canon EOS 5D Mark II", 5792, 3804, 168, 56, 5783, 3799},
        {"Canon EOS 5D Mark III", 5920, 3950, 140, 96, 5899, 3935,
         Matrix{6722, -635, -963, -4287, 12460, 2028, -908, 2162, 5668}},
        {"Canon EOS RP", 6384, 4224, 132, 56, 6371, 4215},
        {"Canon EOS 5D Mark IV", 6880, 4544, 148, 54, 6867, 4533},
        {"Canon EOS R", 6888, 4546, 156, 58, 6875, 4537},
        // Bodies whose rows were there before and that the camera data confirms.
        {"Canon EOS 350D DIGITAL", 3516, 2328, 52, 19, 3507, 2322,
         Matrix{6018, -617, -965, -8645, 15881, 2975, -1530, 1719, 7642}},
        {"Canon EOS M50", 6288, 4056, 276, 48, 6275, 4047},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.model);
        const auto s = identifykit::identify(canonFile(row.model, row.width, row.height));
        ASSERT_GT(s->raw_count, 0u);
        EXPECT_EQ(s->sensor_width, row.width);
        EXPECT_EQ(s->sensor_height, row.height);
        EXPECT_EQ(s->margin_left, row.left);
        EXPECT_EQ(s->margin_top, row.top);
        EXPECT_EQ(s->visible_width, row.right - row.left + 1);
        EXPECT_EQ(s->visible_height, row.bottom - row.top + 1);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                EXPECT_EQ(visibleColour(s->cfa_pattern, r, c), sensorColour(row.top + r, row.left + c))
                    << "visible photosite " << r << ", " << c;
        if (row.matrix) expectMatrixInUse(*s, *row.matrix);
    }
}

TEST(CameraDataRows, BodiesDevelopWithTheMatrixTheirDngsCarry) {
    struct Body {
        const char *make, *model;
        Matrix matrix;
        bool canon = false;
    };
    const Body bodies[] = {
        {"Canon", "Canon PowerShot G10", {11093, -3906, -1028, -5047, 12492, 2879, -1003, 1750, 5561}, true},
        {"Canon", "Canon PowerShot G16", {8020, -2687, -682, -3704, 11879, 2052, -965, 1921, 5556}, true},
        {"Canon", "Canon PowerShot S100", {7968, -2565, -636, -2873, 10697, 2513, 180, 667, 4211}, true},
        {"Canon",
         "Canon PowerShot SX50 HS",
         {12432, -4753, -1247, -2110, 10691, 1629, -412, 1623, 4926},
         true},
        {"NIKON CORPORATION", "NIKON Df", {8598, -2848, -857, -5618, 13606, 2195, -1002, 1773, 7137}},
        {"NIKON CORPORATION", "NIKON Z 5", {8695, -2558, -648, -5015, 12711, 2575, -1279, 2215, 7514}},
        {"PENTAX Corporation", "PENTAX K10D", {10986, -2573, -380, -5686, 12592, 2502, -675, 608, 9779}},
        {"PENTAX", "PENTAX K-x", {10441, -3325, -1148, -5571, 13599, 2149, -1206, 1754, 7449}},
        {"PENTAX", "PENTAX K-30", {8738, -2641, -1170, -3995, 12301, 1881, -980, 1717, 6528}},
        {"RICOH IMAGING COMPANY, LTD.",
         "PENTAX K-3",
         {8687, -2625, -1163, -3995, 12301, 1881, -1032, 1809, 6877}},
        {"RICOH IMAGING COMPANY, LTD.",
         "PENTAX K-70",
         {8211, -2102, -1290, -4359, 12953, 1515, -1099, 1970, 6089}},
        {"PENTAX", "PENTAX Q-S1", {12995, -5593, -1107, -1879, 10139, 2027, -64, 1233, 4919}},
    };
    for (const Body& body : bodies) {
        SCOPED_TRACE(body.model);
        const auto s = identifykit::identify(body.canon ? canonFile(body.model, 4000, 3000)
                                                        : plainCfaFile(body.make, body.model));
        ASSERT_GT(s->raw_count, 0u);
        expectMatrixInUse(*s, body.matrix);
    }
}
