// Every loader of this family over data it cannot trust: random bytes, all ones, nothing
// at all, and geometries whose visible area overhangs the buffers. The sanitizers catch
// any access outside them; the outcome must be a thrown text or counted data errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "tests/support/MemoryFile.h"

using namespace raw;

namespace {

struct LoaderCase {
    const char* name;
    Routine loader;
    bool pixels;
    uint64_t raw_factor = 1; // the banded loader gets four times the buffer and spare rows
};

const LoaderCase kLoaders[] = {
    {"canon600", canon600_packed_load_raw, false}, {"sony", sony_scrambled_load_raw, false},
    {"kodak_block", kodak_block_load_raw, false},  {"kodak_262", kodak_262_load_raw, false},
    {"kodak_ycc", kodak_ycc_load_raw, true},       {"kodak_rgb", kodak_rgb_blocks_load_raw, true},
    {"kodak_c330", kodak_c330_load_raw, true},     {"kodak_c603", kodak_c603_load_raw, true},
    {"diagonal", diagonal_8bit_load_raw, false},   {"radc", radc_load_raw, false, 4},
    {"quicktake", quicktake_100_load_raw, false},
};

struct Geometry {
    uint16_t sensor_width, sensor_height, visible_width, visible_height, image_width, image_height;
};

const Geometry kGeometries[] = {
    {1, 1, 1, 1, 1, 1}, {7, 5, 7, 5, 7, 5},       {64, 9, 61, 9, 61, 9},
    {6, 4, 9, 5, 3, 2}, {300, 3, 300, 3, 300, 3},
};

// Runs one loader as the road would; false when it neither threw nor counted an error.
bool run_reports_trouble(const LoaderCase& l, const Geometry& g, std::vector<uint8_t> bytes, uint32_t flags) {
    testsupport::MemoryFile file(std::move(bytes));
    auto s = std::make_unique<DecoderState>();
    s->input_file = file.get();
    s->byte_order = 0x4949;
    s->sensor_width = g.sensor_width, s->sensor_height = g.sensor_height;
    s->visible_width = g.visible_width, s->visible_height = g.visible_height;
    s->image_width = g.image_width, s->image_height = g.image_height;
    s->loader_flags = flags;
    for (uint32_t i = 0; i < 65536; ++i)
        s->tone_table[i] = uint16_t(i);
    std::vector<uint16_t> raw, pixels;
    if (l.pixels) {
        pixels.assign(size_t(g.image_width) * g.image_height * 4, 0);
        s->pixel_image = reinterpret_cast<uint16_t(*)[4]>(pixels.data());
    } else {
        const uint64_t rows = l.raw_factor > 1 ? uint64_t(g.sensor_height) + 7 : g.sensor_height;
        raw.assign(rows * g.sensor_width * l.raw_factor, 0);
        s->raw_buffer = raw.data();
    }
    try {
        l.loader(*s);
    } catch (const DecoderText&) {
        return true;
    }
    return s->data_error_count > 0;
}

} // namespace

TEST(MakerLoadersHostile, DamagedAndMissingDataStayInBounds) {
    std::mt19937 gen(2026);
    for (const LoaderCase& l : kLoaders)
        for (const Geometry& g : kGeometries) {
            // Nothing to read must never pass for a picture.
            EXPECT_TRUE(run_reports_trouble(l, g, {}, 0))
                << l.name << " " << g.sensor_width << "x" << g.sensor_height;
            run_reports_trouble(l, g, std::vector<uint8_t>(4096, 0xFF), 1);
            for (int round = 0; round < 3; ++round) {
                std::vector<uint8_t> bytes(size_t(gen() % 6000));
                for (uint8_t& b : bytes)
                    b = uint8_t(gen());
                run_reports_trouble(l, g, bytes, round);
            }
        }
}
