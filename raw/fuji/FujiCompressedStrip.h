#pragma once
// One strip of compressed Fuji data: the coding parameters all strips share, where a
// strip's bytes lie, and the decoding of its groups of six rows into the raw frame.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace raw {

// The frame's coding parameters (init_fuji_compr).
struct FujiCompressedParams {
    int32_t raw_bits;
    int32_t q_base;      // 2^bits - 1
    int32_t total;       // 2^bits
    int32_t max_bits;    // 4 x bits
    int32_t min_count;   // statistics are halved when their count reaches it
    int32_t initial_sum; // total >> 6
    int32_t line_width;  // samples per line buffer
    bool xtrans;
    std::vector<int8_t> q_table; // gradient class of v, at v + q_base

    int quantise(int v) const { return q_table[size_t(v + q_base)]; }
};

// The raw frame the strips fill: width x height photosites, and the colour codes that
// choose the line a photosite comes from.
struct FujiFrame {
    uint16_t* raw;
    int width, height;
    int line_groups;
    const uint8_t (*xtrans)[6];
    const uint8_t (*bayer)[2];
};

// Where strip `index` lies in the file and which columns it fills.
struct FujiStripPlace {
    FILE* file;
    uint64_t offset;
    uint64_t budget; // bytes the strip may read
    int index;
    int width; // columns of the frame the strip covers
};

// How a strip ended: the text it leaves (null when clean) and whether it stopped early.
struct FujiStripOutcome {
    const char* message = nullptr;
    bool stopped = false;
};

FujiStripOutcome decode_fuji_strip(const FujiCompressedParams& params, const FujiFrame& frame,
                                   const FujiStripPlace& place);

} // namespace raw
