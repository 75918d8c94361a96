#pragma once
// "CICrop": the input within "inputRectangle", widened to whole pixels; a view onto the
// input's pixels. No output when the rectangle misses the input.
#include "platform/ImageFilter.h"

namespace platform {

class CropFilter : public ImageFilter {
  public:
    static constexpr const char* kName = "CICrop";
    static constexpr const char* kInputRectangle = "inputRectangle";

    CropFilter();

  protected:
    Image::Ptr computeOutput(const Image& input) override;
};

} // namespace platform
