#pragma once
// A decoder record set up as the decode road leaves it for a loader: an in-memory input
// file positioned at the data, and a raw buffer (or pixel image) of the given size.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "raw/core/DecoderState.h"
#include "tests/support/MemoryFile.h"

namespace testsupport {

struct LoaderRig {
    LoaderRig(std::vector<uint8_t> bytes, uint16_t width, uint16_t height)
        : file(std::move(bytes)), raw(size_t(width) * height) {
        s->input_file = file.get();
        s->byte_order = 0x4949;
        s->sensor_width = s->visible_width = width;
        s->sensor_height = s->visible_height = height;
        s->raw_buffer = raw.data();
        for (uint32_t i = 0; i < 65536; ++i)
            s->tone_table[i] = uint16_t(i);
    }
    // Switches to a pixel image of the visible size instead of a raw buffer.
    void usePixels() {
        s->raw_buffer = nullptr;
        s->image_width = s->visible_width;
        s->image_height = s->visible_height;
        pixels.assign(size_t(s->image_width) * s->image_height * 4, 0);
        s->pixel_image = reinterpret_cast<uint16_t(*)[4]>(pixels.data());
    }
    void run(raw::Routine loader, long offset = 0) {
        s->sensor_data_offset = uint64_t(offset);
        std::fseek(s->input_file, offset, SEEK_SET);
        loader(*s);
    }
    uint16_t at(int row, int col) const { return raw[size_t(row) * s->sensor_width + size_t(col)]; }
    std::vector<uint16_t> row(int r) const {
        auto begin = raw.begin() + ptrdiff_t(r) * s->sensor_width;
        return {begin, begin + s->sensor_width};
    }

    MemoryFile file;
    std::unique_ptr<raw::DecoderState> s = std::make_unique<raw::DecoderState>();
    std::vector<uint16_t> raw;
    std::vector<uint16_t> pixels; // four values per pixel
    const uint16_t* pixel(int row, int col) const {
        return &pixels[(size_t(row) * s->image_width + size_t(col)) * 4];
    }
};

// Little-endian 16-bit words.
inline std::vector<uint8_t> le16(const std::vector<uint16_t>& words) {
    std::vector<uint8_t> out;
    for (uint16_t w : words) {
        out.push_back(uint8_t(w));
        out.push_back(uint8_t(w >> 8));
    }
    return out;
}

inline void append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

} // namespace testsupport
