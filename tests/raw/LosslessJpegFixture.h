#pragma once
// A decoder state reading a stream from memory, with the buffers the loaders fill.
#include <array>
#include <cstdint>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include <string>

#include "raw/core/DecoderError.h"
#include "raw/core/DecoderState.h"
#include "tests/support/MemoryFile.h"

namespace ljpegtest {

struct StreamState {
    explicit StreamState(std::vector<uint8_t> bytes) : file(std::move(bytes)) {
        s->input_file = file.get();
        std::iota(std::begin(s->tone_table), std::end(s->tone_table), uint16_t(0));
    }
    // A sensor buffer of width x height photosites, as the decode road allocates it.
    void sensor(uint16_t width, uint16_t height) {
        s->sensor_width = width;
        s->sensor_height = height;
        raw.assign(size_t(width) * (height + 7), 0);
        s->raw_buffer = raw.data();
    }
    // A pixel image of four channels per pixel, with the visible size equal to it.
    void pixels(uint16_t width, uint16_t height) {
        s->visible_width = s->image_width = width;
        s->visible_height = s->image_height = height;
        image.assign(size_t(width) * height, {0, 0, 0, 0});
        s->pixel_image = reinterpret_cast<uint16_t(*)[4]>(image.data());
    }
    uint16_t at(int row, int col) const { return raw[size_t(row) * s->sensor_width + col]; }
    const uint16_t* pixel(int row, int col) const { return image[size_t(row) * s->image_width + col].data(); }

    testsupport::MemoryFile file;
    std::unique_ptr<raw::DecoderState> s = std::make_unique<raw::DecoderState>();
    std::vector<uint16_t> raw;
    std::vector<std::array<uint16_t, 4>> image;
};

// Runs a loader; the text it fails with, or "" when it returns.
inline std::string runLoader(void (*loader)(raw::DecoderState&), StreamState& st) {
    try {
        loader(*st.s);
    } catch (const raw::DecoderText& e) {
        return e.text;
    }
    return "";
}

inline std::vector<uint16_t> randomSamples(size_t count, int bits, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> v(count);
    for (auto& x : v)
        x = uint16_t(rng() & ((1u << bits) - 1));
    return v;
}

} // namespace ljpegtest
