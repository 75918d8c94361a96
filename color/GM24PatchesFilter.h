#pragma once
// "GM24Patches": grades a colour-checker patch image. Each colour channel c of a pixel
// becomes a c + b limited to [0, clamp / 100], alpha stays; where the input has nothing
// (alpha 0) the pixel takes the surround colour (0.5, 0.5, 0.6, 1.0). The output covers
// the input's extent.
#include <array>

#include "platform/ImageFilter.h"

class GM24PatchesFilter : public platform::ImageFilter {
  public:
    static constexpr const char* kName = "GM24Patches";
    static constexpr const char* kA = "a";
    static constexpr const char* kB = "b";
    static constexpr const char* kClamp = "clamp";
    static constexpr std::array<float, 4> kSurround = {0.5f, 0.5f, 0.6f, 1.0f};

    static void registerFilter();

    GM24PatchesFilter();

  protected:
    platform::Image::Ptr computeOutput(const platform::Image& input) override;
};
