// DNG tags: levels, crop, areas, aspect, colour, and the CFA pattern decode.
#include <gtest/gtest.h>

#include <string>

#include "raw/core/DecoderError.h"
#include "raw/tiff/TiffParser.h"
#include "tests/raw/TiffParseFixture.h"
#include "tests/support/TiffBuilder.h"

using namespace raw;
using namespace testsupport;
using Order = TiffBuilder::Order;

namespace {

// One DNG directory holding whatever the test adds to it.
struct Dng {
    explicit Dng(Order order = Order::Little) : tiff(order), ifd(tiff.addIfd()) {
        ifd.bytes(50706, {1, 4, 0, 0});
    }
    DecoderState& parse() {
        p = std::make_unique<TiffParse>(tiff.build());
        parse_tiff_file(p->state(), 0);
        return p->state();
    }
    TiffBuilder tiff;
    TiffBuilder::Ifd& ifd;
    std::unique_ptr<TiffParse> p;
};

TEST(DngTags, VersionModelAndAsShotNeutral) {
    for (auto order : {Order::Little, Order::Big}) {
        Dng dng(order);
        dng.ifd.ascii(50708, "Maker Camera One").rationals(50728, {{1, 2}, {1, 1}, {4, 5}});
        DecoderState& s = dng.parse();
        EXPECT_EQ(s.dng_version_word, 0x01040000u);
        EXPECT_STREQ(s.camera_make, "Maker");
        EXPECT_STREQ(s.camera_model, "Camera One");
        EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], 2.0f);
        EXPECT_FLOAT_EQ(s.as_shot_multipliers[1], 1.0f);
        EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 1.25f);
        EXPECT_FLOAT_EQ(s.as_shot_multipliers[3], 0.0f);
    }
}

TEST(DngTags, ColourMatrixWithNeutral) {
    Dng dng;
    dng.ifd.srationals(50721, {{1, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 1}})
        .rationals(50728, {{1, 2}, {1, 1}, {4, 5}});
    DecoderState& s = dng.parse();
    EXPECT_EQ(s.use_embedded_matrix, 1);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], 2.0f);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 1.25f);
}

TEST(DngTags, CalibrationScalesDaylightWithoutMatrix) {
    Dng dng;
    dng.ifd.srationals(50723, {{2, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 2}})
        .rationals(50727, {{1, 1}, {1, 1}, {2, 1}});
    DecoderState& s = dng.parse();
    EXPECT_FLOAT_EQ(s.daylight_multipliers[0], 0.5f);
    EXPECT_FLOAT_EQ(s.daylight_multipliers[1], 1.0f);
    EXPECT_FLOAT_EQ(s.daylight_multipliers[2], 1.0f); // 1 / (0.5 x 2)
}

TEST(DngTags, AspectCropAndAreas) {
    struct Case {
        std::pair<uint32_t, uint32_t> scale;
        std::pair<uint32_t, uint32_t> origin;
        float aspect;
        uint16_t left, top;
    } cases[] = {
        {{1003, 1000}, {8, 6}, 1.0f, 8, 6}, {{3, 2}, {7, 5}, 1.5f, 8, 6}, {{0, 1}, {0, 0}, 1.0f, 0, 0}};
    for (const Case& c : cases) {
        Dng dng;
        dng.ifd.rationals(50718, {{c.scale.first, 1000}, {c.scale.second, 1000}})
            .longs(50719, {c.origin.first, c.origin.second})
            .longs(50720, {3001, 2001});
        DecoderState& s = dng.parse();
        EXPECT_EQ(s.pixel_aspect_ratio, c.aspect) << c.scale.first;
        EXPECT_EQ(s.margin_left, c.left);
        EXPECT_EQ(s.margin_top, c.top);
        EXPECT_EQ(s.visible_width, 3002);
        EXPECT_EQ(s.visible_height, 2002);
    }
    // Complete pixels have no pattern phase to keep: an odd crop stays inside the image.
    Dng linear;
    linear.ifd.shorts(262, {34892}).longs(50719, {1, 3}).longs(50720, {1301, 847});
    DecoderState& l = linear.parse();
    EXPECT_EQ(l.margin_left, 1);
    EXPECT_EQ(l.margin_top, 3);
    EXPECT_EQ(l.visible_width, 1301);
    EXPECT_EQ(l.visible_height, 847);

    Dng area;
    area.ifd.longs(50829, {14, 42, 2328, 3516}).longs(50830, {0, 0, 14, 3516, 100, 50, 10, 60});
    DecoderState& s = area.parse();
    EXPECT_EQ(s.margin_top, 14);
    EXPECT_EQ(s.margin_left, 42);
    EXPECT_EQ(s.visible_height, 2314);
    EXPECT_EQ(s.visible_width, 3474);
    EXPECT_EQ(s.masked_areas[0][3], 3516);
    EXPECT_EQ(s.masked_areas[1][3], 0) << "an inverted masked area is dropped";

    Dng inverted;
    inverted.ifd.longs(50829, {2328, 3516, 14, 42});
    DecoderState& t = inverted.parse();
    EXPECT_EQ(t.visible_height, 0) << "an inverted active area is ignored, not wrapped";
    EXPECT_EQ(t.margin_top, 0);
}

TEST(DngTags, BlackAndWhiteLevels) {
    Dng dng;
    dng.ifd.shorts(50713, {2, 2})
        .shorts(50714, {256, 257, 258, 259})
        .rationals(50715, {{2, 1}, {4, 1}})
        .raw(50716, 5, 0, {})
        .longs(50717, {51080});
    DecoderState& s = dng.parse();
    EXPECT_EQ(s.channel_black[4], 2);
    EXPECT_EQ(s.channel_black[9], 259);
    EXPECT_EQ(s.black_level, 3u); // mean 3 of the deltas; an empty list adds nothing
    EXPECT_EQ(s.white_level, 51080u);

    Dng huge;
    huge.ifd.shorts(50713, {100, 100});
    EXPECT_EQ(huge.parse().channel_black[4], 1);
}

TEST(DngTags, LinearisationTable) {
    Dng dng;
    dng.ifd.shorts(50712, {0, 100, 4000});
    DecoderState& s = dng.parse();
    EXPECT_EQ(s.tone_table[1], 100);
    EXPECT_EQ(s.tone_table[2], 4000);
    EXPECT_EQ(s.tone_table[4095], 4000);
    EXPECT_EQ(s.white_level, 4000u);

    Dng empty;
    empty.ifd.raw(50712, 3, 0, {});
    DecoderState& e = empty.parse();
    EXPECT_EQ(e.tone_table[4095], 4095) << "no values: the table stays";
    EXPECT_EQ(e.white_level, 0u);
}

struct CfaCase {
    std::vector<uint8_t> pattern;
    std::vector<uint8_t> planes; // empty: no plane-colour tag
    uint32_t cfa;
    int colours;
};

TEST(DngTags, CfaPatternDecode) {
    const CfaCase cases[] = {
        {{0, 1, 1, 2}, {}, 0x94949494, 3},
        {{2, 1, 1, 0}, {}, 0x16161616, 3},
        {{1, 0, 2, 1}, {}, 0x61616161, 3},
        {{1, 2, 0, 1}, {}, 0x49494949, 3},
        {{5, 3, 4, 1}, {}, 0xE4E4E4E4, 4},        // green, magenta, cyan, yellow
        {{0, 1, 1, 2}, {2, 1, 0}, 0x16161616, 3}, // plane colours name the channels
        {{0, 200, 1, 2}, {}, 0x90909090, 3},      // a value of 32 or more names no colour
        {{}, {}, 0xFFFFFFFF, 0},                  // no pattern bytes: the pattern stays unset
    };
    for (const CfaCase& c : cases) {
        Dng dng;
        dng.ifd.bytes(33422, c.pattern);
        if (!c.planes.empty()) dng.ifd.bytes(50710, c.planes);
        DecoderState& s = dng.parse();
        EXPECT_EQ(s.cfa_pattern, c.cfa) << std::hex << c.cfa;
        EXPECT_EQ(s.colour_count, c.planes.empty() ? c.colours : int(c.planes.size()));
    }

    Dng xtrans;
    std::vector<uint8_t> cell(36);
    for (int i = 0; i < 36; ++i)
        cell[i] = uint8_t(i % 3 + 4);
    xtrans.ifd.shorts(33421, {6, 6}).bytes(33422, cell);
    DecoderState& s = xtrans.parse();
    EXPECT_EQ(s.cfa_pattern, kPatternXTrans);
    EXPECT_EQ(s.xtrans_sensor_layout[0][1], 1); // 5 & 3
}

} // namespace
