#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"
#include "tests/raw/LosslessJpegFixture.h"
#include "tests/support/LosslessJpegEncoder.h"

using namespace raw;
using ljpegtest::runLoader;
using ljpegtest::StreamState;
using testsupport::encodeLosslessJpeg;
using testsupport::LosslessJpegFrame;

namespace {

constexpr uint32_t kOtherModel = 0x80000300; // converted with the plain Y + C formulas
constexpr uint16_t kZeroChroma = 16384;

// Columns of (2 or 4 luma, Cb, Cr), `wide` per JPEG line.
std::vector<uint8_t> smallRawStream(int smallRaw, int wide, const std::vector<uint16_t>& columns) {
    LosslessJpegFrame f;
    f.precision = 15;
    f.smallRaw = smallRaw;
    f.width = wide;
    f.height = int(columns.size() / (size_t(wide) * (3 + smallRaw)));
    f.tablePerComponent = true;
    f.samples = columns;
    return encodeLosslessJpeg(f);
}

// One column per 2 x 1 (4:2:2) or 2 x 2 (4:2:0) cell of a width x height image whose
// luma is `luma(row, col)`, with the given chroma.
template <typename Luma>
std::vector<uint16_t> cells(int smallRaw, int width, int height, Luma luma, uint16_t cb = kZeroChroma,
                            uint16_t cr = kZeroChroma) {
    const int rowsPerCell = smallRaw == 3 ? 2 : 1;
    std::vector<uint16_t> out;
    for (int r = 0; r < height; r += rowsPerCell)
        for (int c = 0; c < width; c += 2) {
            for (int k = 0; k <= smallRaw; ++k)
                out.push_back(luma(r + k / 2, c + k % 2));
            out.push_back(cb);
            out.push_back(cr);
        }
    return out;
}

} // namespace

TEST(CanonSmallRaw, LumaFillsTwoColumnsPerRowOrTwoByTwoCells) {
    auto luma = [](int r, int c) { return uint16_t(1000 + 100 * r + c); };
    for (int smallRaw : {1, 3}) {
        StreamState st(smallRawStream(smallRaw, 4, cells(smallRaw, 8, 4, luma)));
        st.s->sensor_width = 8;
        st.s->sensor_height = 4;
        st.pixels(8, 4);
        st.s->camera_model_id = kOtherModel;
        EXPECT_EQ(runLoader(canon_small_raw_load_raw, st), "") << smallRaw;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 8; ++c)
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(st.pixel(r, c)[ch], luma(r, c)) << smallRaw << " at " << r << "," << c;
        EXPECT_EQ(st.s->white_level, 0x3FFFu);
        EXPECT_EQ(st.s->data_error_count, 0);
    }
}

TEST(CanonSmallRaw, SlicesAreCodedOneAfterTheOther) {
    // One slice of 8 samples (4 pixel columns) and the rest of the width after it.
    auto luma = [](int r, int c) { return uint16_t(2000 + 100 * r + c); };
    std::vector<uint16_t> columns;
    for (int first : {0, 4}) {
        auto shifted = [&](int r, int c) { return luma(r, c + first); };
        const std::vector<uint16_t> part = cells(1, 4, 3, shifted);
        columns.insert(columns.end(), part.begin(), part.end());
    }
    StreamState st(smallRawStream(1, 3, columns));
    st.s->sensor_width = 8;
    st.s->sensor_height = 3;
    st.pixels(8, 3);
    st.s->camera_model_id = kOtherModel;
    st.s->canon_slice_widths[0] = 1;
    st.s->canon_slice_widths[1] = 8;
    st.s->canon_slice_widths[2] = 8;
    EXPECT_EQ(runLoader(canon_small_raw_load_raw, st), "");
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 8; ++c)
            ASSERT_EQ(st.pixel(r, c)[0], luma(r, c)) << r << "," << c;
}

TEST(CanonSmallRaw, ChromaIsInterpolatedAsSignedValues) {
    // 4:2:0 cells of 6 x 4 pixels; Cb per cell, some below zero; B = Y + Cb.
    const int cb[2][3] = {{-300, 100, 500}, {40, -80, 200}};
    std::vector<uint16_t> columns;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            columns.insert(columns.end(),
                           {5000, 5000, 5000, 5000, uint16_t(kZeroChroma + cb[y][x]), kZeroChroma});
    StreamState st(smallRawStream(3, 3, columns));
    st.s->sensor_width = 6;
    st.s->sensor_height = 4;
    st.pixels(6, 4);
    st.s->camera_model_id = kOtherModel;
    EXPECT_EQ(runLoader(canon_small_raw_load_raw, st), "");
    struct Expect {
        int row, col, blue;
    };
    const Expect expected[] = {
        {0, 0, 4700}, // a cell's own value
        {0, 1, 4900}, // (-300 + 100 + 1) >> 1
        {0, 5, 5500}, // the last column copies its left neighbour
        {1, 0, 4870}, // (-300 + 40 + 1) >> 1 from the rows above and below
        {1, 1, 4940}, // (-130 + 10 + 1) >> 1, after the row fill
        {3, 2, 4920}, // the last row copies the row above
        {3, 3, 5060},
    };
    for (const Expect& e : expected) {
        EXPECT_EQ(st.pixel(e.row, e.col)[2], e.blue) << e.row << "," << e.col;
        EXPECT_EQ(st.pixel(e.row, e.col)[0], 5000) << "red has no chroma in it";
    }
}

TEST(CanonSmallRaw, ColourConversionByModelAndFirmware) {
    // Luma 1000 and zero chroma everywhere; only the model's offsets and formulas differ.
    struct Case {
        uint32_t model;
        const char* firmware;
        uint16_t gains[4];
        uint16_t rgb[3];
    };
    const Case cases[] = {
        {0x80000218, "Firmware Version 1.0.7", {}, {1002, 997, 1003}}, // offset 2
        {0x80000218, "Firmware Version 1.0.6", {}, {1011, 991, 1014}}, // offset 8
        {0x80000281, "", {}, {1002, 997, 1003}},
        {kOtherModel, "", {}, {1000, 1000, 1000}},
        {0x80000100, "", {}, {488, 488, 488}}, // older models lift black by 512
        {kOtherModel, "", {2048, 1024, 512, 1024}, {2000, 1000, 500}},
    };
    for (const Case& c : cases) {
        StreamState st(smallRawStream(1, 2, cells(1, 4, 2, [](int, int) { return uint16_t(1000); })));
        st.s->sensor_width = 4;
        st.s->sensor_height = 2;
        st.pixels(4, 2);
        st.s->camera_model_id = c.model;
        std::strcpy(st.s->model_text_2, c.firmware);
        std::copy(c.gains, c.gains + 4, st.s->small_raw_multipliers);
        EXPECT_EQ(runLoader(canon_small_raw_load_raw, st), "");
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(st.pixel(1, 3)[ch], c.rgb[ch])
                << std::hex << c.model << " " << c.firmware << " channel " << ch;
    }
}

TEST(CanonSmallRaw, RefusesStreamsThatAreNotSmallRaws) {
    LosslessJpegFrame ordinary;
    ordinary.width = 4;
    ordinary.height = 2;
    ordinary.components = 3;
    ordinary.samples.assign(24, 100);
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {{'n', 'o', 'p', 'e'}, kNotLosslessJpegText},
        {encodeLosslessJpeg(ordinary), "Sensor data is not a small raw"},
    };
    for (const auto& [bytes, status] : cases) {
        StreamState st(bytes);
        st.pixels(4, 2);
        EXPECT_EQ(runLoader(canon_small_raw_load_raw, st), status);
    }
}
