// Random bytes and random header fields through the maker-specific loaders and the Phase
// One calibration: each ends (a thrown text is allowed) without touching memory outside
// its buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::LoaderRig;

namespace {

struct Named {
    const char* name;
    Routine loader;
};

const Named kLoaders[] = {
    {"phase_one_plain_load_raw", phase_one_plain_load_raw},
    {"phase_one_load_raw_c", phase_one_load_raw_c},
    {"phase_one_correct", phase_one_correct},
    {"samsung_block_load_raw", samsung_block_load_raw},
    {"samsung_huffman_load_raw", samsung_huffman_load_raw},
    {"samsung_adaptive_load_raw", samsung_adaptive_load_raw},
    {"smal_6_load_raw", smal_6_load_raw},
    {"smal_9_load_raw", smal_9_load_raw},
    {"hasselblad_load_raw", hasselblad_load_raw},
    {"leaf_hdr_load_raw", leaf_hdr_load_raw},
    {"sinar_4shot_load_raw", sinar_4shot_load_raw},
    {"sinar_pixel_copy", sinar_pixel_copy},
    {"nokia_load_raw", nokia_load_raw},
    {"three_per_word_load_raw", three_per_word_load_raw},
    {"adaptive_12bit_load_raw", adaptive_12bit_load_raw},
};

// Offsets mostly inside the file, sometimes anywhere.
uint64_t offset(std::mt19937& g, size_t size) { return g() % 8 == 0 ? g() : g() % (size + 16); }

void randomise(std::mt19937& g, DecoderState& s, size_t size) {
    s.byte_order = g() % 2 ? 0x4949 : 0x4D4D;
    s.cfa_pattern = g() % 3 ? 0x94949494 : 0;
    s.margin_top = uint16_t(g() % 3);
    s.margin_left = uint16_t(g() % 3);
    s.visible_height = uint16_t(s.sensor_height - std::min<uint16_t>(s.sensor_height, s.margin_top));
    s.visible_width = uint16_t(s.sensor_width - std::min<uint16_t>(s.sensor_width, s.margin_left));
    s.samples_per_pixel = g() % 9;
    s.shot_index = g() % 7;
    s.tiff_tile_length = g() % 6;
    s.strip_table_offset = offset(g, size);
    s.maker_data_offset = offset(g, size);
    s.meta_block_length = g() % 4;
    s.phase_one_key_offset = offset(g, size);
    s.phase_one_row_blacks_offset = g() % 2 ? 0 : offset(g, size);
    s.phase_one_column_blacks_offset = g() % 2 ? 0 : offset(g, size);
    s.phase_one_format = int32_t(g() % 9);
    s.phase_one_black = int32_t(g());
    s.phase_one_split_column = int32_t(g() % 64) - 8;
    s.phase_one_split_row = int32_t(g() % 64) - 8;
    s.phase_one_calibration_key = uint16_t(g());
    s.loader_flags = g() % 4 ? 0 : g();
    s.bits_per_sample = 12;
    s.white_level = 0xFFFF;
    std::strcpy(s.camera_make, g() % 2 ? "OmniVision" : "Nokia");
}

} // namespace

TEST(DamagedMakerData, LoadersEndWithinTheirBuffers) {
    std::mt19937 g(20261210);
    for (const Named& n : kLoaders) {
        for (int round = 0; round < 100; ++round) {
            std::vector<uint8_t> bytes(g() % 3000);
            for (uint8_t& b : bytes)
                b = uint8_t(g() % 4 ? g() : (g() % 2 ? 0xFF : 0));
            const uint16_t width = uint16_t(1 + g() % 40), height = uint16_t(1 + g() % 30);
            LoaderRig rig(bytes, width, height);
            randomise(g, *rig.s, bytes.size());
            if (g() % 3 == 0) rig.usePixels();
            SCOPED_TRACE(n.name);
            try {
                rig.run(n.loader, long(g() % (bytes.size() + 1)));
            } catch (const DecoderText&) {
                // a refusal is an ending too
            }
        }
    }
}
