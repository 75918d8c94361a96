#pragma once
// A bitmap image: pixels, their layout and their colour space. A view keeps the pixels of
// another object alive through `owner` instead of copying them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ColorSpace.h"

namespace platform {

// The layout word of a bitmap: alpha position in the low five bits, a float flag and the
// byte order of the samples.
namespace bitmap_info {
inline constexpr uint32_t kAlphaInfoMask = 0x1F;
inline constexpr uint32_t kAlphaNone = 0;
inline constexpr uint32_t kAlphaPremultipliedLast = 1;
inline constexpr uint32_t kAlphaPremultipliedFirst = 2;
inline constexpr uint32_t kAlphaLast = 3;
inline constexpr uint32_t kAlphaFirst = 4;
inline constexpr uint32_t kAlphaNoneSkipLast = 5;
inline constexpr uint32_t kAlphaNoneSkipFirst = 6;
inline constexpr uint32_t kAlphaOnly = 7;
inline constexpr uint32_t kFloatComponents = 0x100;
inline constexpr uint32_t kByteOrderMask = 0x7000;
inline constexpr uint32_t kByteOrderDefault = 0;
inline constexpr uint32_t kByteOrder16Little = 0x1000;
inline constexpr uint32_t kByteOrder32Little = 0x2000;
inline constexpr uint32_t kByteOrder16Big = 0x3000;
inline constexpr uint32_t kByteOrder32Big = 0x4000;
} // namespace bitmap_info

struct BitmapLayout {
    size_t width = 0;
    size_t height = 0;
    size_t bitsPerComponent = 0;
    size_t bitsPerPixel = 0;
    size_t bytesPerRow = 0;
    uint32_t bitmapInfo = 0;
};

// x' = a x + c y + tx, y' = b x + d y + ty, in coordinates whose y grows upwards.
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

class Bitmap {
  public:
    // Null when the layout is inconsistent (rows shorter than a pixel row, sizes that
    // overflow) or there are no pixels.
    static std::shared_ptr<Bitmap> createView(const BitmapLayout& layout, const uint8_t* pixels,
                                              std::shared_ptr<const void> owner,
                                              std::shared_ptr<const ColorSpace> space);
    // Zero-filled pixels of its own.
    static std::shared_ptr<Bitmap> createOwned(const BitmapLayout& layout,
                                               std::shared_ptr<const ColorSpace> space);

    const BitmapLayout& layout() const { return layout_; }
    size_t width() const { return layout_.width; }
    size_t height() const { return layout_.height; }
    size_t bitsPerComponent() const { return layout_.bitsPerComponent; }
    size_t bitsPerPixel() const { return layout_.bitsPerPixel; }
    size_t bytesPerRow() const { return layout_.bytesPerRow; }
    uint32_t bitmapInfo() const { return layout_.bitmapInfo; }
    const std::shared_ptr<const ColorSpace>& colorSpace() const { return space_; }

    const uint8_t* data() const { return pixels_; }
    // Null for a view: its pixels belong to someone else.
    uint8_t* mutableData() { return owned_.empty() ? nullptr : owned_.data(); }
    // Bytes from the first pixel to the end of the last pixel row.
    size_t dataLength() const { return length_; }
    std::vector<uint8_t> copyData() const { return {pixels_, pixels_ + length_}; }

    // The image drawn through `t` onto a zero-filled canvas of the given size with the same
    // layout and tight rows. Only quarter turns and mirrors with whole-pixel offsets are
    // drawn; any other transform gives null.
    std::shared_ptr<Bitmap> transformed(const AffineTransform& t, size_t canvasWidth,
                                        size_t canvasHeight) const;
    // The image scaled to width x height with the same layout and tight rows: each pixel
    // the nearest source pixel, or with `smooth` a tent-weighted mean over a source pixel
    // or an output pixel, whichever is wider. Null for an empty size or samples other than
    // 8, 16 or 32 bits.
    std::shared_ptr<Bitmap> scaled(size_t width, size_t height, bool smooth) const;

  private:
    Bitmap() = default;
    static bool checkLayout(const BitmapLayout& layout, size_t& length);
    // A zero-filled bitmap of this one's layout and colour space at another size.
    std::shared_ptr<Bitmap> blankOfSize(size_t width, size_t height) const;

    BitmapLayout layout_;
    const uint8_t* pixels_ = nullptr;
    size_t length_ = 0;
    std::shared_ptr<const void> owner_;
    std::vector<uint8_t> owned_;
    std::shared_ptr<const ColorSpace> space_;
};

} // namespace platform
