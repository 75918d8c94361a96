#pragma once
// Writes compressed Fuji sensor data for decoder tests: a 16-byte stream header, the
// strip-size table and strips coded from known photosites with the adaptive code, so a
// decoder must give the photosites back exactly.
#include <array>
#include <cstdint>
#include <vector>

namespace testsupport {

// The header's fields as written, so that a test can break any of them.
struct FujiCompressedHeader {
    uint16_t signature = 0x4953;
    uint8_t version = 1;
    uint8_t rawType = 0; // 0 Bayer, 16 X-Trans
    uint8_t rawBits = 12;
    uint16_t rawHeight = 0;
    uint16_t roundedWidth = 0;
    uint16_t rawWidth = 0;
    uint16_t stripWidth = 768;
    uint8_t strips = 0;
    uint16_t lineGroups = 0;

    std::vector<uint8_t> bytes() const;
};

using XTransColours = std::array<std::array<uint8_t, 6>, 6>;

// width x height photosites (width a multiple of 24 from 768, height of 6), row-major.
struct FujiCompressedFrame {
    int width = 768;
    int height = 6;
    int bits = 12;
    bool xtrans = false;
    XTransColours xtransColours{};      // 0 red, 1 green, 2 blue
    uint32_t bayerPattern = 0x94949494; // 2-bit colours of (0,0), (0,1), (1,0), (1,1)
    std::vector<uint16_t> photosites;
    // The coded sample with this ordinal in strip `badCodeStrip` gets the out-of-range
    // code 2^bits (-1: none); the encoder follows the decoder past it.
    int badCodeAt = -1;
    int badCodeStrip = 0;
};

struct FujiCompressedStream {
    FujiCompressedHeader header;
    std::vector<std::vector<uint8_t>> strips;
    std::vector<uint32_t> sizes; // stored in the size table; the strips' lengths by default

    // Header, big-endian sizes, zero padding to 16 bytes from the header's end, strips.
    std::vector<uint8_t> bytes() const;
};

FujiCompressedStream encodeFujiCompressed(const FujiCompressedFrame& frame);

// The X-Trans cell whose colours fall on the positions the code transmits; the others
// are interpolated by the decoder and never reach the raw frame.
XTransColours fujiXTransColours();

} // namespace testsupport
