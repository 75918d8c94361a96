#include "raw/core/RoadSteps.h"

#include <algorithm>

#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/develop/Highlights.h"
#include "raw/loaders/Loaders.h"
#include "raw/output/ColourOutput.h"

namespace raw {
namespace {

template <typename T> T* allocate(DecoderState& s, uint64_t count, uint64_t size, const char* where) {
    void* block = file_backed_calloc(s, count, size);
    memory_error(s, block, where);
    return static_cast<T*>(block);
}

} // namespace

bool loads_rendered_data(Routine loader) {
    return loader == eight_bit_load_raw || loader == empty_loader || loader == ycbcr12_pair_load_raw ||
           loader == radc_load_raw;
}

void allocate_decode_buffers(DecoderState& s, const char* where) {
    s.pixel_image = allocate<uint16_t[4]>(s, uint64_t(s.image_height) * s.image_width, 8, where);
    if (s.meta_block_length) s.meta_block = allocate<uint8_t>(s, s.meta_block_length, 1, where);
    if (s.cfa_pattern || s.colour_count == 1) {
        const uint64_t per_photosite = loads_rendered_data(s.raw_loader) ? 4 : 1;
        const uint64_t values = (uint64_t(s.sensor_height) + 7) * s.sensor_width * per_photosite;
        s.raw_buffer = allocate<uint16_t>(s, values, 2, "raw_image");
    }
}

void normalise_blacks(DecoderState& s) {
    uint16_t* cb = s.channel_black;
    uint16_t m = std::min(std::min(cb[0], cb[1]), std::min(cb[2], cb[3]));
    for (int c = 0; c < 4; ++c)
        cb[c] -= m;
    // The pattern can claim more cells than the record holds.
    const uint64_t slots = sizeof s.channel_black / sizeof s.channel_black[0] - 6;
    uint64_t n = std::min<uint64_t>(uint64_t(cb[4]) * cb[5], slots);
    uint16_t p = cb[6];
    for (uint64_t i = 0; i < n; ++i)
        p = std::min(p, cb[6 + i]);
    for (uint64_t i = 0; i < n; ++i)
        cb[6 + i] -= p;
    s.black_level += uint32_t(m) + p;
    for (int c = 0; c < 4; ++c)
        cb[c] = uint16_t(cb[c] + s.black_level);
}

void merge_green_channels(DecoderState& s) {
    s.colour_count = 3;
    const uint64_t pixels = uint64_t(s.image_height) * s.image_width;
    for (uint64_t i = 0; i < pixels; ++i)
        s.pixel_image[i][1] = uint16_t((s.pixel_image[i][1] + s.pixel_image[i][3]) >> 1);
}

void finish_development(DecoderState& s, finishing_options options) {
    if (s.merge_greens) merge_green_channels(s);
    if (!s.foveon_sensor) {
        if (s.colour_count == 3) median_filter(s);
        if (s.highlight_mode == 2)
            blend_highlights(s);
        else if (s.highlight_mode > 2)
            recover_highlights(s);
    }
    if (options.rotate_and_stretch) fuji_rotate(s);
    if (s.colour_count < 4) {
        convert_to_rgb_threaded(s);
    } else {
        if (options.four_colours_in_srgb) s.output_space = 1;
        convert_to_rgb(s);
    }
    if (options.rotate_and_stretch) stretch(s);
}

} // namespace raw
