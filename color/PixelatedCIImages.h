#pragma once
// Two images (slots 0 and 1) shown enlarged pixel by pixel with one shared factor, each
// through a "PixelZoom" filter of its own.
#include <array>
#include <memory>

#include "platform/ImageFilter.h"

class PixelatedCIImages {
  public:
    // Makes the slot's filter on first use, at the current factor; other slots are ignored.
    void setImage(platform::Image::Ptr image, int imageNum);
    platform::Image::Ptr getInputImage(int imageNum) const;
    // The slot's input while the factor is at most 1, else its enlargement.
    platform::Image::Ptr getPixelatedImage(int imageNum) const;
    void setPixelScaleFactor(float factor);
    float getPixelScaleFactor() const { return pixelScaleFactor_; }

  private:
    std::array<std::shared_ptr<platform::ImageFilter>, 2> pixelZoomFilter_;
    float pixelScaleFactor_ = 1.0f;
};
