#pragma once
// "CIAreaMaximum": one pixel at (0, 0) holding the largest value of each channel over the
// pixels of "inputExtent" (whole pixels, clipped to the input). NaN samples are passed over.
#include "platform/ImageFilter.h"

namespace platform {

class AreaMaximumFilter : public ImageFilter {
  public:
    static constexpr const char* kName = "CIAreaMaximum";

    AreaMaximumFilter();

  protected:
    Image::Ptr computeOutput(const Image& input) override;
};

} // namespace platform
