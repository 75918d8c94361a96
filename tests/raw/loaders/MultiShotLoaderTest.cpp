#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::Bytes;
using testsupport::LoaderRig;

namespace {

uint16_t plane_value(uint32_t plane, int row, int col) { return uint16_t(100 * plane + 10 * row + col); }

// `planes` planes of a 3 x 3 sensor, one row per strip: the offset table, then the rows.
std::vector<uint8_t> leaf_file(uint32_t planes) {
    Bytes b;
    const uint32_t strips = planes * 3, first = 4 * strips;
    for (uint32_t i = 0; i < strips; ++i)
        b.u32(first + 6 * i);
    for (uint32_t p = 0; p < planes; ++p)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                b.u16(plane_value(p, r, c));
    return b.data;
}

} // namespace

TEST(LeafHdr, MosaicReadsOnlyTheChosenPlane) {
    LoaderRig rig(leaf_file(3), 3, 3);
    rig.s->cfa_pattern = 0x94949494;
    rig.s->samples_per_pixel = 3;
    rig.s->shot_index = 1;
    rig.s->tiff_tile_length = 1;
    rig.run(leaf_hdr_load_raw);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(rig.at(r, c), plane_value(1, r, c));
    EXPECT_EQ(rig.s->camera_colour_output, 0);
}

TEST(LeafHdr, FullColourFillsChannelsOfTheVisibleArea) {
    for (uint32_t planes : {3u, 6u}) { // a fifth and sixth plane have no channel to go to
        LoaderRig rig(leaf_file(planes), 3, 3);
        rig.s->samples_per_pixel = planes;
        rig.s->tiff_tile_length = 1;
        rig.s->margin_top = rig.s->margin_left = 1;
        rig.s->visible_width = rig.s->visible_height = 2;
        rig.usePixels();
        rig.run(leaf_hdr_load_raw);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                for (uint32_t p = 0; p < std::min(planes, 4u); ++p)
                    EXPECT_EQ(rig.pixel(r, c)[p], plane_value(p, r + 1, c + 1)) << planes;
        EXPECT_EQ(rig.s->white_level, 0xFFFFu);
        EXPECT_EQ(rig.s->camera_colour_output, 1);
    }
}

TEST(LeafHdr, NeitherPatternNorPixelsIsCorrupt) {
    LoaderRig rig(leaf_file(1), 3, 3);
    rig.s->samples_per_pixel = 1;
    try {
        rig.run(leaf_hdr_load_raw);
        FAIL() << "no throw";
    } catch (const DecoderText& t) {
        EXPECT_STREQ(t.text, "Raw image corrupt in leaf_hdr_load_raw");
    }
}

namespace {

uint16_t shot_value(uint32_t shot, int row, int col) { return uint16_t(1000 * shot + 10 * row + col); }

// Four shots of a 2 x 2 sensor behind a table of their offsets.
std::vector<uint8_t> sinar_file() {
    Bytes b;
    for (uint32_t i = 0; i < 4; ++i)
        b.u32(16 + 8 * i);
    for (uint32_t shot = 0; shot < 4; ++shot)
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                b.u16(shot_value(shot, r, c));
    return b.data;
}

} // namespace

TEST(Sinar4Shot, MosaicTakesOneShot) {
    for (uint32_t index : {0u, 3u, 9u}) {
        LoaderRig rig(sinar_file(), 2, 2);
        rig.s->shot_index = index;
        rig.s->white_level = 0xFFFF;
        rig.run(sinar_4shot_load_raw);
        const uint32_t shot = index == 0 ? 0 : std::min(index, 4u) - 1;
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                EXPECT_EQ(rig.at(r, c), shot_value(shot, r, c)) << index;
    }
}

TEST(Sinar4Shot, ShotsFillEveryChannelOfAPixel) {
    LoaderRig rig(sinar_file(), 2, 2);
    rig.usePixels();
    rig.run(sinar_4shot_load_raw);
    // Pixel (0, 0): shot 0 at (0,0) in channel 1, shot 1 at (0,1) in 0, shot 2 at (1,0)
    // in 2, shot 3 at (1,1) in 3.
    const uint16_t* p = rig.pixel(0, 0);
    EXPECT_EQ(p[0], shot_value(1, 0, 1));
    EXPECT_EQ(p[1], shot_value(0, 0, 0));
    EXPECT_EQ(p[2], shot_value(2, 1, 0));
    EXPECT_EQ(p[3], shot_value(3, 1, 1));
    EXPECT_EQ(rig.pixel(1, 1)[3], shot_value(0, 1, 1));
    EXPECT_EQ(rig.s->merge_greens, 1);
}

TEST(SinarPixelCopy, CopiesThreeWordsPerPixel) {
    LoaderRig rig(testsupport::le16({1, 2, 3, 4, 5, 6, 7, 8, 9}), 3, 1);
    rig.usePixels();
    rig.run(sinar_pixel_copy);
    EXPECT_EQ(std::vector<uint16_t>(rig.pixel(0, 0), rig.pixel(0, 0) + 4),
              (std::vector<uint16_t>{1, 2, 3, 0}));
    EXPECT_EQ(std::vector<uint16_t>(rig.pixel(0, 2), rig.pixel(0, 2) + 3), (std::vector<uint16_t>{7, 8, 9}));
    EXPECT_EQ(rig.s->data_error_count, 0);

    LoaderRig cut(testsupport::le16({1, 2}), 3, 2);
    cut.usePixels();
    cut.run(sinar_pixel_copy);
    EXPECT_GT(cut.s->data_error_count, 0);
}

TEST(MultiShotLoaders, ShortDataCountsAnError) {
    std::vector<uint8_t> bytes = leaf_file(1);
    bytes.resize(bytes.size() - 4);
    LoaderRig leaf(bytes, 3, 3);
    leaf.s->cfa_pattern = 0x94949494;
    leaf.s->samples_per_pixel = 1;
    leaf.s->tiff_tile_length = 1;
    leaf.run(leaf_hdr_load_raw);
    EXPECT_GT(leaf.s->data_error_count, 0);

    std::vector<uint8_t> shots = sinar_file();
    shots.resize(shots.size() - 2);
    LoaderRig sinar(shots, 2, 2);
    sinar.usePixels();
    sinar.run(sinar_4shot_load_raw);
    EXPECT_GT(sinar.s->data_error_count, 0);
}
