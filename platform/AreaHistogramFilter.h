#pragma once
// "CIAreaHistogram": the histogram of the pixels of "inputExtent" (whole pixels, clipped to
// the input) as an image "inputCount" bins wide and one high at (0, 0). Each channel is
// counted on its own over 0 to 1: a value v falls into bin floor(v x count), values below
// 0 (and NaN) into the first bin, values from 1 up into the last. A bin holds its share of
// the area's pixels times "inputScale".
#include "platform/ImageFilter.h"

namespace platform {

class AreaHistogramFilter : public ImageFilter {
  public:
    static constexpr const char* kName = "CIAreaHistogram";
    static constexpr const char* kInputCount = "inputCount";
    static constexpr const char* kInputScale = "inputScale";
    static constexpr int kMaxCount = 2048;

    AreaHistogramFilter();

  protected:
    Image::Ptr computeOutput(const Image& input) override;
};

} // namespace platform
