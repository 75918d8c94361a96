#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::Bytes;
using testsupport::LoaderRig;

namespace {

constexpr uint16_t kWidth = 6, kHeight = 5;
constexpr uint64_t kBase = 16; // where the calibration block starts in the file

// A calibration block: byte-order mark, directory offset, the records' data, directory.
struct Calibration {
    std::vector<std::pair<uint32_t, Bytes>> records;
    uint32_t stored_count = 0; // 0: the real count

    Calibration& add(uint32_t tag, const Bytes& data) {
        records.emplace_back(tag, data);
        return *this;
    }
    std::vector<uint8_t> file() const {
        Bytes out;
        out.zeros(kBase).u16(0x4949).zeros(6);
        const size_t directory_word = out.size();
        out.u32(0);
        std::vector<uint32_t> at;
        for (const auto& r : records) {
            at.push_back(uint32_t(out.size() - kBase));
            out.append(r.second.data);
        }
        out.put32(directory_word, uint32_t(out.size() - kBase));
        out.u32(stored_count ? stored_count : uint32_t(records.size())).u32(0);
        for (size_t i = 0; i < records.size(); ++i)
            out.u32(records[i].first).u32(uint32_t(records[i].second.size())).u32(at[i]);
        return out.data;
    }
};

using Image = std::vector<uint16_t>;
using Setup = std::function<void(DecoderState&)>;

// Runs the correction over a 6 x 5 buffer under an R-G / G-B pattern.
Image corrected(const Calibration& cal, Image image, const Setup& setup = {}, int* errors = nullptr) {
    LoaderRig rig(cal.file(), kWidth, kHeight);
    rig.raw = std::move(image);
    DecoderState& s = *rig.s;
    s.raw_buffer = rig.raw.data();
    s.byte_order = 0x4D4D; // the block's own mark decides
    s.cfa_pattern = 0x94949494;
    s.maker_data_offset = kBase;
    s.meta_block_length = 1;
    s.phase_one_split_column = 3;
    s.phase_one_split_row = 2;
    if (setup) setup(s);
    phase_one_correct(s);
    if (errors) *errors = s.data_error_count;
    return rig.raw;
}

Image filled(uint16_t v) { return Image(size_t(kWidth) * kHeight, v); }
size_t at(int row, int col) { return size_t(row) * kWidth + size_t(col); }

Image with(Image image, const std::map<std::pair<int, int>, uint16_t>& values) {
    for (const auto& [pos, v] : values)
        image[at(pos.first, pos.second)] = v;
    return image;
}

Bytes defect(uint16_t col, uint16_t row, uint16_t type) {
    Bytes b;
    b.u16(col).u16(row).u16(type).u16(0);
    return b;
}

} // namespace

TEST(PhaseOneCorrect, RepairsDefectivePixels) {
    Bytes defects;
    for (const Bytes& d :
         {defect(3, 2, 129), defect(2, 2, 129), defect(6, 1, 129), defect(1, 5, 129), defect(1, 1, 130)})
        defects.append(d.data);
    defects.u16(1).u16(1); // a record cut short is not read
    const Image input =
        with(filled(0),
             {{{2, 3}, 9999}, {{2, 2}, 9999}, {{1, 2}, 800}, {{0, 3}, 1600}, {{0, 0}, 80}, {{2, 4}, 160}});
    // (2,3) is green: diagonals and the cross at two; (2,2) is red: cross and corners at two.
    const Image expected = with(input, {{{2, 3}, (800 + 1600 + 4) >> 3}, {{2, 2}, (80 + 160 + 4) >> 3}});
    EXPECT_EQ(corrected(Calibration().add(0x400, defects), input), expected);
}

TEST(PhaseOneCorrect, RepairsDefectiveColumns) {
    for (uint16_t type : {131, 137}) {
        const Image input =
            with(filled(1000), {{{0, 3}, 0}, {{1, 3}, 0}, {{2, 3}, 0}, {{3, 3}, 0}, {{4, 3}, 0}});
        // Green rows drop the furthest diagonal (the first on ties; outside counts 0); the
        // red-blue rows weigh the photosites two columns away and the corners.
        const Image expected =
            with(input, {{{0, 3}, 667}, {{1, 3}, 854}, {{2, 3}, 1000}, {{3, 3}, 854}, {{4, 3}, 333}});
        EXPECT_EQ(corrected(Calibration().add(0x400, defect(3, 0, type)), input), expected) << type;
    }
}

namespace {

Bytes grid_head(uint16_t width, uint16_t col_step, uint16_t row_step) {
    Bytes b;
    b.u16(0).u16(0).u16(width).u16(4).u16(col_step).u16(row_step).u16(0).u16(0);
    return b;
}

} // namespace

TEST(PhaseOneCorrect, FlatFields) {
    struct Case {
        const char* name;
        uint32_t tag;
        Bytes data;
        std::map<std::pair<int, int>, uint16_t> changed; // from 1000 everywhere
        bool error = false;
    };
    // A 2 x 2 grid over columns and rows 0..3; only the first cell lies inside its limits.
    Bytes one_plane = grid_head(4, 2, 2);
    for (int y = 0; y < 2; ++y)
        one_plane.u16(32768).u16(49152); // gains 1.0 and 1.5
    Bytes floats = grid_head(4, 2, 2);
    for (int y = 0; y < 2; ++y)
        floats.f32(1.0f).f32(3.0f);
    Bytes negative = grid_head(4, 2, 2);
    for (int y = 0; y < 4; ++y)
        negative.f32(-1.0f);
    Bytes per_colour = grid_head(4, 2, 2);
    for (int y = 0; y < 2; ++y)
        per_colour.u16(32768).u16(16384).u16(49152).u16(16384); // planes 0, 2 at x = 0, 1
    Bytes zero_step = grid_head(4, 0, 2);
    for (int y = 0; y < 4; ++y)
        zero_step.u16(0);
    Bytes cut_short = grid_head(4000, 2, 2);
    cut_short.u16(0);

    const Case cases[] = {
        {"16-bit, one plane", 0x410, one_plane, {{{0, 1}, 1250}, {{1, 1}, 1250}}},
        {"16-bit, one plane (0x416)", 0x416, one_plane, {{{0, 1}, 1250}, {{1, 1}, 1250}}},
        {"floats", 0x401, floats, {{{0, 1}, 2000}, {{1, 1}, 2000}}},
        {"negative gains", 0x401, negative, {{{0, 0}, 0}, {{0, 1}, 0}, {{1, 0}, 0}, {{1, 1}, 0}}},
        // Red (0,0) takes plane 0 (gain 1), blue (1,1) plane 2 (gain 0.5); greens stay.
        {"per colour", 0x40B, per_colour, {{{1, 1}, 500}}},
        {"zero step", 0x410, zero_step, {}},
        {"grid larger than the file", 0x410, cut_short, {}, true},
    };
    for (const Case& c : cases) {
        int errors = 0;
        EXPECT_EQ(corrected(Calibration().add(c.tag, c.data), filled(1000), {}, &errors),
                  with(filled(1000), c.changed))
            << c.name;
        EXPECT_EQ(errors > 0, c.error) << c.name;
    }
}

namespace {

Bytes words(const std::vector<uint32_t>& v) {
    Bytes b;
    for (uint32_t w : v)
        b.u32(w);
    return b;
}

Bytes floats(const std::vector<float>& v) {
    Bytes b;
    for (float f : v)
        b.f32(f);
    return b;
}

// Quadrant gains: top-left x 2, the rest x 1.
Bytes doubling_gains() {
    std::vector<uint32_t> w(19, 0);
    w[4] = std::bit_cast<uint32_t>(1.0f);
    return words(w);
}

// Quadrant curves whose points lie on the identity.
Bytes identity_quadrant_curves() {
    std::vector<uint32_t> w;
    for (uint32_t k = 0; k < 7; ++k)
        w.push_back(1000 * (k + 1));
    for (int i = 0; i < 28; ++i)
        w.push_back(10000);
    return words(w);
}

// Linearisation towards the four-quadrant mean: the top-left quadrant's 1000 becomes 625.
// The other three lie below the mean, so their top point would pass 65535: their curve
// cannot be built and they are left alone.
Bytes linearisation() {
    Bytes b;
    for (int q = 0; q < 4; ++q)
        for (int k = 0; k < 16; ++k)
            b.u16(uint16_t((q == 0 ? 2000 : 1000) * (k + 1)));
    return b;
}

} // namespace

TEST(PhaseOneCorrect, CurvesAndQuadrants) {
    Bytes split_curve = words({0});
    split_curve.append(floats({0, 7, 0, 0, 0, 0, 0, 0}).data); // i + 7
    struct Case {
        const char* name;
        Calibration cal;
        std::function<uint16_t(int, int)> expected; // from 1000 everywhere
    };
    const Case cases[] = {
        {"curve for all columns", Calibration().add(0x41A, floats({5, 0, 0, 0})),
         [](int, int) { return uint16_t(1005); }},
        {"curve from the split column", Calibration().add(0x419, split_curve),
         [](int, int c) { return uint16_t(c >= 3 ? 1007 : 1000); }},
        {"quadrant gains", Calibration().add(0x41E, doubling_gains()),
         [](int r, int c) { return uint16_t(r < 2 && c < 3 ? 2000 : 1000); }},
        {"quadrant linearisation", Calibration().add(0x41F, linearisation()),
         [](int r, int c) { return uint16_t(r < 2 && c < 3 ? 625 : 1000); }},
        {"gains after quadrant curves",
         Calibration().add(0x431, identity_quadrant_curves()).add(0x41E, doubling_gains()),
         [](int, int) { return uint16_t(1000); }},
        {"linearisation after quadrant curves",
         Calibration().add(0x431, identity_quadrant_curves()).add(0x41F, linearisation()),
         [](int, int) { return uint16_t(1000); }},
        {"second quadrant gains", Calibration().add(0x41E, doubling_gains()).add(0x41E, doubling_gains()),
         [](int r, int c) { return uint16_t(r < 2 && c < 3 ? 2000 : 1000); }},
    };
    for (const Case& c : cases) {
        const Image out = corrected(c.cal, filled(1000));
        for (int r = 0; r < kHeight; ++r)
            for (int col = 0; col < kWidth; ++col) {
                // Splines meet their control points to within rounding.
                EXPECT_NEAR(out[at(r, col)], c.expected(r, col), 1) << c.name << " at " << r << "," << col;
            }
    }
}

namespace {

// An output-curve record whose single-point bands all give y: each value gains 2 y row.
Bytes band_curves(uint16_t key_value, float y) {
    Bytes b = words({0, 1, 1, 1, 1, 0, 0, 0, 0});
    b.u16(key_value);
    b.f32(y).f32(y).u16(65535).u16(65535);
    return b;
}

} // namespace

TEST(PhaseOneCorrect, OutputCurvesFollowTheNearestKey) {
    struct Case {
        uint16_t key;
        uint16_t first_value, second_value;
        int gain_per_row;
    };
    const Case cases[] = {
        {20, 10, 30, 2}, // equally near: the first record
        {20, 30, 10, 2}, // by position, not by value
        {28, 10, 30, 4},
    };
    for (const Case& c : cases) {
        Calibration cal;
        cal.add(0x412, band_curves(c.first_value, 1.0f)).add(0x412, band_curves(c.second_value, 2.0f));
        const Image out =
            corrected(cal, filled(1000), [&](DecoderState& s) { s.phase_one_calibration_key = c.key; });
        for (int r = 0; r < kHeight; ++r)
            EXPECT_EQ(out[at(r, 4)], 1000 + c.gain_per_row * r) << "key " << c.key;
    }
}

TEST(PhaseOneCorrect, SkippedOrDamagedBlocks) {
    const Calibration gains = Calibration().add(0x41A, floats({5, 0, 0, 0}));
    EXPECT_EQ(corrected(gains, filled(1000), [](DecoderState& s) { s.half_size_option = 1; }), filled(1000));
    EXPECT_EQ(corrected(gains, filled(1000), [](DecoderState& s) { s.meta_block_length = 0; }), filled(1000));

    // Output curves with points but no bands: nothing to blend, values kept.
    Bytes no_bands = words({0, 2, 0, 0, 0, 0, 0, 0, 0});
    no_bands.u16(0);
    EXPECT_EQ(corrected(Calibration().add(0x412, no_bands), filled(1000)), filled(1000));

    // A block that repeats a whole-image record without end is cut off after 64 passes.
    Calibration repeated;
    for (int i = 0; i < 70; ++i)
        repeated.add(0x41A, floats({5, 0, 0, 0}));
    int repeat_errors = 0;
    EXPECT_EQ(corrected(repeated, filled(1000), {}, &repeat_errors), filled(1000 + 5 * 64));
    EXPECT_GT(repeat_errors, 0);

    // A directory claiming four thousand million entries, and records pointing past the end.
    Calibration damaged = Calibration().add(0x41A, floats({5, 0, 0, 0}));
    damaged.stored_count = 0xFFFFFFFF;
    int errors = 0;
    EXPECT_EQ(corrected(damaged, filled(1000), {}, &errors), filled(1005));
    Calibration far;
    far.add(0x400, defect(1, 1, 129));
    std::vector<uint8_t> bytes = far.file();
    bytes[bytes.size() - 4] = 0xF0; // the record's data offset
    LoaderRig rig(bytes, kWidth, kHeight);
    rig.raw = filled(1000);
    rig.s->raw_buffer = rig.raw.data();
    rig.s->maker_data_offset = kBase;
    rig.s->meta_block_length = 1;
    phase_one_correct(*rig.s);
    EXPECT_EQ(rig.raw, filled(1000));
    EXPECT_GT(rig.s->data_error_count, 0);
}
