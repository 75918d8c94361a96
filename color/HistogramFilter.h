#pragma once
// "histogram": paints a histogram image (one pixel a bin, as "CIAreaHistogram" makes it)
// as bars over an output of `outputSize`, the way HistogramBuilder paints its image. The
// peak is the largest red, green or blue value of "maxCImage" (a "CIAreaMaximum" of the
// histogram); bin i gets bars truncate(value x height / peak) of each channel (full bars
// when the peak is 0). Output column x shows bin floor((x + 0.5) n / width) of n bins.
// Samples are HistogramBuilder's 16-bit values over 65535.
#include "platform/ImageFilter.h"

class HistogramFilter : public platform::ImageFilter {
  public:
    static constexpr const char* kName = "histogram";
    static constexpr const char* kMaxImage = "maxCImage";

    static void registerFilter();

    HistogramFilter();

    platform::Size outputSize() const { return outputSize_; }
    void setOutputSize(platform::Size size);

  protected:
    platform::Image::Ptr computeOutput(const platform::Image& input) override;

  private:
    platform::Size outputSize_;
};
