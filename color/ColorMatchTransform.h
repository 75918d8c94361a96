#pragma once
// Conversion of RGBA buffers from one ICC profile to another (Little CMS). The colour
// matching stage converts whole buffers through it; a transform may be shared by threads.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "color/ColorSyncProfileWrap.h"

class ImageBuffer;

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

    // Converts `height` rows of `width` pixels in place, rows `rowBytes` apart, in row
    // bands on the shared worker pool.
    void convert(uint8_t* firstPixel, size_t width, size_t height, size_t rowBytes) const;

    // Converts the buffer in place and tags it with the destination profile. When no
    // transform can be made the pixels and their profile stay as they were and the
    // answer is false.
    static bool convertBuffer(ImageBuffer& buffer, const std::shared_ptr<ColorSyncProfileWrap>& source,
                              const std::shared_ptr<ColorSyncProfileWrap>& destination);

  private:
    explicit ColorMatchTransform(void* transform) : transform_(transform) {}

    void* transform_; // a Little CMS transform, owned
};
