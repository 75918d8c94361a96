#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "tests/support/BitWriter.h"
#include "tests/support/MemoryFile.h"

using namespace raw;
using testsupport::BitWriter;

namespace {

// A record as the road leaves it for this loader: a raw buffer four times the sensor
// with seven spare rows, and an image of the visible size.
struct RadcRig {
    RadcRig(std::vector<uint8_t> bytes, uint16_t width, uint16_t height)
        : file(std::move(bytes)), raw((size_t(height) + 7) * width * 4) {
        s->input_file = file.get();
        s->sensor_width = s->visible_width = s->image_width = width;
        s->sensor_height = s->visible_height = s->image_height = height;
        s->raw_buffer = raw.data();
    }
    uint16_t at(int row, int col) const { return raw[size_t(row) * s->sensor_width + size_t(col)]; }

    testsupport::MemoryFile file;
    std::unique_ptr<DecoderState> s = std::make_unique<DecoderState>();
    std::vector<uint16_t> raw;
};

void multipliers(BitWriter& w, uint32_t mul) {
    for (int c = 0; c < 3; ++c)
        w.put(mul, 6);
}

// A pass over four columns that repeats the prediction: tree 1 gives a run (code 0),
// the run covers two pairs (code 01 of tree 9), its step is 0 (code 0 of tree 10).
void flat_pass(BitWriter& w) { w.put(0b0010, 4); }

std::string thrown_text(DecoderState& s, Routine loader) {
    try {
        loader(s);
    } catch (const DecoderText& t) {
        return t.text;
    }
    return {};
}

} // namespace

TEST(RadcLoader, CurvePassesThroughItsPoints) {
    RadcRig rig(std::vector<uint8_t>(4, 0), 8, 4);
    EXPECT_EQ(thrown_text(*rig.s, radc_load_raw), "Raw format corrupt"); // the curve is built first
    const int points[][2] = {{0, 0}, {1280, 1344}, {2320, 3616}, {3328, 8000}, {4095, 16383}, {65535, 16383}};
    for (const auto& p : points)
        EXPECT_EQ(rig.s->tone_table[p[0]], p[1]) << p[0];
    EXPECT_EQ(rig.s->tone_table[640], 672); // halfway along the first segment
}

TEST(RadcLoader, FlatBandsSurviveAChangeOfMultiplierAndAShortLastBand) {
    // Two bands of a flat field; the second rescales the stores for a new multiplier.
    // A visible height of 6 still decodes the whole second band into the spare rows.
    BitWriter w;
    for (uint32_t mul : {1u, 2u}) {
        multipliers(w, mul);
        for (int pass = 0; pass < 4; ++pass)
            flat_pass(w);
    }
    RadcRig rig(w.finish(0), 8, 6);
    rig.s->visible_height = rig.s->image_height = 6;
    radc_load_raw(*rig.s);
    // Every store holds 2048 (16 x 128 over the multiplier); chroma sites become
    // 2 x 2048 + 2048 - 4096; then the curve.
    const uint16_t expected = rig.s->tone_table[2048];
    EXPECT_EQ(expected, 3022);
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 8; ++col)
            EXPECT_EQ(rig.at(row, col), expected) << row << "," << col;
    EXPECT_EQ(rig.s->white_level, 0x3FFFu);
    EXPECT_EQ(rig.s->data_error_count, 0);
}

TEST(RadcLoader, LiteralValuesKeepTheirMiddleLowBits) {
    // Tree 8 (code 11111111 of tree 1) stores literal 8-bit values read through tree 18,
    // whose missing low bits depend on the camera's bit code.
    struct Case {
        uint32_t bits_code;
        int code_bits;
        uint32_t codes[4];
        uint32_t values[4];
    };
    const Case cases[] = {
        {0, 5, {0b00000, 0b11111, 0b10000, 0b00101}, {4, 252, 132, 44}},
        {243, 6, {0b000000, 0b111111, 0b100000, 0b000101}, {2, 254, 130, 22}},
    };
    for (const Case& c : cases) {
        BitWriter w;
        multipliers(w, 1);
        w.put(0xFF, 8);
        for (uint32_t code : c.codes)
            w.put(code, c.code_bits);
        for (int pass = 0; pass < 3; ++pass)
            w.put(0, 1); // two columns: a run of one pair, no step
        RadcRig rig(w.finish(0), 4, 4);
        rig.s->kodak_bits_code = c.bits_code;
        radc_load_raw(*rig.s);
        // Store row 1 takes the first two values from the right, row 2 the next two;
        // luma row 0 holds even columns, row 1 odd ones.
        const uint16_t* curve = rig.s->tone_table;
        EXPECT_EQ(rig.at(0, 2), curve[c.values[0] * 16]) << c.bits_code;
        EXPECT_EQ(rig.at(0, 0), curve[c.values[1] * 16]) << c.bits_code;
        EXPECT_EQ(rig.at(1, 3), curve[c.values[2] * 16]) << c.bits_code;
        EXPECT_EQ(rig.at(1, 1), curve[c.values[3] * 16]) << c.bits_code;
    }
}

TEST(RadcLoader, RefusesWhatItsStoresCannotHold) {
    // A zero multiplier, and a visible width beyond the working store's 770 columns.
    RadcRig zero(std::vector<uint8_t>(8, 0), 8, 4);
    EXPECT_EQ(thrown_text(*zero.s, radc_load_raw), "Raw format corrupt");
    BitWriter w;
    multipliers(w, 1);
    RadcRig wide(w.finish(0), 772, 4);
    EXPECT_EQ(thrown_text(*wide.s, radc_load_raw), "Raw format corrupt");
}

TEST(RadcLoader, TruncatedDataEndsInsteadOfRunningOn) {
    // After the data ends every read gives 0: the next band's multipliers are 0.
    BitWriter w;
    multipliers(w, 3);
    RadcRig rig(w.finish(0), 64, 8);
    EXPECT_EQ(thrown_text(*rig.s, radc_load_raw), "Raw format corrupt");
    EXPECT_GT(rig.s->data_error_count, 0);
}
