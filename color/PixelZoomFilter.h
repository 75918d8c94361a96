#pragma once
// "PixelZoom": the input enlarged by "scaleTest" with nearest-neighbour sampling, so a
// whole scale replicates each pixel scale x scale times. The output covers the input's
// extent times the scale (widened to whole pixels); an output pixel whose centre falls
// outside the input is clear. A scale that is not positive gives no output.
#include "platform/ImageFilter.h"

class PixelZoomFilter : public platform::ImageFilter {
  public:
    static constexpr const char* kName = "PixelZoom";
    static constexpr const char* kScale = "scaleTest";

    static void registerFilter();
    // The part of the input that an output rectangle needs: the rectangle over the scale.
    static platform::Rect zoomROI(const platform::Rect& rect, double scale);

    PixelZoomFilter();

  protected:
    platform::Image::Ptr computeOutput(const platform::Image& input) override;
};
