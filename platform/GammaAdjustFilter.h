#pragma once
// "CIGammaAdjust": each colour channel raised to "inputPower"; alpha as it was. Negative
// values are mirrored (-(-c)^p), so extended-range colours keep their sign.
#include "platform/ImageFilter.h"

namespace platform {

class GammaAdjustFilter : public ImageFilter {
  public:
    static constexpr const char* kName = "CIGammaAdjust";
    static constexpr const char* kInputPower = "inputPower";

    GammaAdjustFilter();

  protected:
    Image::Ptr computeOutput(const Image& input) override;
};

} // namespace platform
