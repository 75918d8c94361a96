#pragma once
// The outer frame of an image, developed on its own: the four edge strips of the mosaic,
// each cut `frame` pixels deep plus the margin the demosaicing neighbourhoods reach, develop
// to the same values there as the whole image does, since every step after the unpacking
// is local. Strips start where the colour pattern starts over (every 16 rows and columns).
#include <array>
#include <cstdint>
#include <memory>

#include "raw/core/DecoderState.h"

namespace raw {

class FrameStrips {
  public:
    struct Strip {
        int top = 0, left = 0, height = 0, width = 0;
        std::unique_ptr<uint16_t[][4]> pixels;
    };

    // Whether an image of this size has room for the strips.
    static bool fits(int height, int width, int frame);
    // Copies the strips out of the unpacked image (rows of `width` pixels); throws
    // std::bad_alloc when there is no memory for them.
    FrameStrips(const uint16_t (*image)[4], int height, int width, int frame);

    int frame() const { return frame_; }
    std::array<Strip, 4>& strips() { return strips_; }
    // The developed pixel at (row, col) of the image, which must lie in the frame.
    const uint16_t* at(int row, int col) const;
    // A buffer of the oriented image (four values a pixel, alpha opaque, released with
    // std::free) whose frame holds the developed pixels and the rest zeros; the state's
    // sizes and orientation are taken as the whole image's and end as the oriented ones,
    // as the whole image's output leaves them. Null when there is no memory.
    uint16_t (*orientedImage(DecoderState& s) const)[4];

  private:
    int height_, width_, frame_;
    std::array<Strip, 4> strips_; // top, bottom, left, right
};

} // namespace raw
