#include "raw/core/FrameStrips.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "raw/output/ColourOutput.h"

namespace raw {
namespace {

// AHD reads five pixels around the one it develops and leaves five at an edge to the
// border fill; eight keeps the frame clear of both at a strip's inner edge.
constexpr int kMargin = 8;
// Every pattern the strips are cut for repeats within 16 rows and 16 columns.
constexpr int kPeriod = 16;

int depth(int frame) { return frame + kMargin; }
// The first row (or column) of the far strip: at least depth(frame) from the far edge.
int farStart(int extent, int frame) { return (extent - depth(frame)) / kPeriod * kPeriod; }

FrameStrips::Strip cut(const uint16_t (*image)[4], int width, int top, int left, int height, int wide) {
    FrameStrips::Strip strip{top, left, height, wide, nullptr};
    strip.pixels.reset(new uint16_t[size_t(height) * size_t(wide)][4]);
    for (int r = 0; r < height; ++r)
        std::memcpy(strip.pixels[size_t(r) * size_t(wide)],
                    image[size_t(top + r) * size_t(width) + size_t(left)], size_t(wide) * sizeof *image);
    return strip;
}

} // namespace

bool FrameStrips::fits(int height, int width, int frame) {
    return frame > 0 && height >= 2 * depth(frame) + kPeriod && width >= 2 * depth(frame) + kPeriod;
}

FrameStrips::FrameStrips(const uint16_t (*image)[4], int height, int width, int frame)
    : height_(height), width_(width), frame_(frame) {
    const int d = depth(frame), bottom = farStart(height, frame), right = farStart(width, frame);
    strips_[0] = cut(image, width, 0, 0, d, width);
    strips_[1] = cut(image, width, bottom, 0, height - bottom, width);
    strips_[2] = cut(image, width, 0, 0, height, d);
    strips_[3] = cut(image, width, 0, right, height, width - right);
}

const uint16_t* FrameStrips::at(int row, int col) const {
    const Strip& strip = row < frame_              ? strips_[0]
                         : row >= height_ - frame_ ? strips_[1]
                         : col < frame_            ? strips_[2]
                                                   : strips_[3];
    return strip.pixels[size_t(row - strip.top) * size_t(strip.width) + size_t(col - strip.left)];
}

uint16_t (*FrameStrips::orientedImage(DecoderState& s) const)[4] {
    s.image_height = s.visible_height;
    s.image_width = s.visible_width;
    if (s.orientation_code & 4) std::swap(s.visible_width, s.visible_height);
    const int height = s.visible_height, width = s.visible_width;
    // Fresh zero pages: the inside is never touched.
    auto* out = static_cast<uint16_t(*)[4]>(std::calloc(size_t(height) * size_t(width), sizeof(uint16_t[4])));
    if (!out) return nullptr;
    for (int row = 0; row < height; ++row) {
        const OrientedRow from = oriented_row(s.orientation_code, height_, width_, row);
        const bool whole = row < frame_ || row >= height - frame_;
        for (int col = 0; col < width; ++col) {
            if (!whole && col == frame_) col = width - frame_;
            const int64_t at = from.start + from.step * col;
            const uint16_t* p = this->at(int(at / width_), int(at % width_));
            uint16_t* o = out[size_t(row) * size_t(width) + size_t(col)];
            // Unoriented images leave as developed, the fourth value included.
            o[0] = p[0], o[1] = p[1], o[2] = p[2], o[3] = s.orientation_code ? 65535 : p[3];
        }
    }
    return out;
}

} // namespace raw
