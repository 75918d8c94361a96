#pragma once
// Conversion of RGBA buffers from one ICC profile to another (Little CMS). The colour
// matching stage converts whole buffers through it; a transform may be shared by threads.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "color/ColorSyncProfileWrap.h"

class ImageBuffer;
namespace color_detail {
class MatrixShaperTransform;
}

class ColorMatchTransform {
  public:
    enum class Depth { Float32, UInt16 };

    // Source device-to-PCS and destination PCS-to-device, each with its header's
    // rendering intent; alpha is carried over. Null (logged) when either profile has no
    // RGB data or Little CMS cannot join them.
    static std::unique_ptr<ColorMatchTransform> create(ColorSyncProfileWrap& source,
                                                       ColorSyncProfileWrap& destination, Depth depth);
    ~ColorMatchTransform();
    ColorMatchTransform(const ColorMatchTransform&) = delete;
    ColorMatchTransform& operator=(const ColorMatchTransform&) = delete;

    // True when the conversion joins the profiles' white points (every intent but absolute
    // colorimetry between different whites): then a grey pixel (R = G = B) comes out
    // exactly grey, its green channel converted and copied, so a monochrome image stays
    // monochrome at every depth.
    bool keepsGreys() const { return greys_; }

    // True when both profiles are RGB matrix/shaper profiles and the conversion runs on
    // our own tables (within 1e-5 relative, or one 16-bit step, of Little CMS's results);
    // false when Little CMS converts every pixel.
    bool usesMatrixShaper() const { return fast_ != nullptr; }

    // Converts `height` rows of `width` pixels in place, rows `rowBytes` apart, in row
    // bands on the shared worker pool.
    void convert(uint8_t* firstPixel, size_t width, size_t height, size_t rowBytes) const;

    // Converts the buffer in place and tags it with the destination profile. When no
    // transform can be made the pixels and their profile stay as they were and the
    // answer is false.
    static bool convertBuffer(ImageBuffer& buffer, const std::shared_ptr<ColorSyncProfileWrap>& source,
                              const std::shared_ptr<ColorSyncProfileWrap>& destination);

    // A transform between these profiles, reused from the last few asked for.
    static std::shared_ptr<const ColorMatchTransform> cached(ColorSyncProfileWrap& source,
                                                             ColorSyncProfileWrap& destination, Depth depth);

  private:
    ColorMatchTransform(void* transform, Depth depth,
                        std::unique_ptr<color_detail::MatrixShaperTransform> fast, bool greys);

    // The matrix/shaper tables over `rows` rows from `first`.
    void convertRows(uint8_t* first, size_t width, size_t rows, size_t rowBytes) const;
    void convertRowsKeepingGreys(uint8_t* first, size_t width, size_t rows, size_t rowBytes) const;

    void* transform_; // a Little CMS transform, owned; null when the 16-bit shortcut converts alone
    Depth depth_;
    std::unique_ptr<color_detail::MatrixShaperTransform> fast_;
    bool greys_;
};
