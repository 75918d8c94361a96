#pragma once
// Writes JPEG streams for decoder tests: lossless frames (SOF3) predicted and coded as
// ITU-T T.81 describes them, Canon small-raw frames, and lossy frames (SOF1) of given
// DCT coefficients. Huffman tables are fixed, so the streams are small and predictable.
#include <cstdint>
#include <utility>
#include <vector>

namespace testsupport {

struct LosslessJpegFrame {
    int precision = 12;
    int width = 0;      // columns; a small raw counts one column per Cb, Cr pair
    int height = 0;     // lines
    int components = 1; // ignored for small raws (always Y, Cb, Cr)
    int predictor = 1;  // 1..7; small raws use 1
    int pointTransform = 0;
    int restartRows = 0; // restart interval in whole lines; 0 for none
    // One Huffman table per component (each with its codes in a different order), so a
    // decoder that picks the wrong table fails; otherwise every component uses table 0.
    bool tablePerComponent = false;
    // A 16-bit length is followed by 16 bits that repeat the difference, as DNG 1.0
    // writers did; T.81 (and DNG 1.1) write none.
    bool dng10Differences = false;
    // Canon small raw: 1 for two luma samples per column (4:2:2), 3 for four (4:2:0).
    // Luma samples are predicted from the previous luma sample of the line.
    int smallRaw = 0;
    // Lines of width x (components, or 3 + smallRaw) samples, interleaved per column.
    std::vector<uint16_t> samples;
};

std::vector<uint8_t> encodeLosslessJpeg(const LosslessJpegFrame& frame);

// One 8 x 8 block: the quantised DC difference from the block before, and the AC terms
// in zig-zag order as (zero run, value); value 0 (run 15) is the skip of 16 zeros.
struct DctBlock {
    int dcDifference = 0;
    std::vector<std::pair<int, int>> ac;
    bool endOfBlock = true; // leave false when the terms reach coefficient 63
};

struct LossyJpegFrame {
    int precision = 12;
    int width = 8;
    int height = 8;
    uint16_t quantisation[64] = {}; // zig-zag order, written as 16-bit entries
    std::vector<DctBlock> blocks;   // row by row
};

std::vector<uint8_t> encodeLossyJpeg(const LossyJpegFrame& frame);

} // namespace testsupport
