#include "color/PixelatedCIImages.h"

#include "color/PixelZoomFilter.h"

void PixelatedCIImages::setImage(platform::Image::Ptr image, int imageNum) {
    if (imageNum < 0 || imageNum > 1) return;
    auto& filter = pixelZoomFilter_[size_t(imageNum)];
    if (!filter) {
        PixelZoomFilter::registerFilter();
        filter = platform::ImageFilter::filterWithName(PixelZoomFilter::kName);
        if (!filter) return;
        filter->setDefaults();
        // The factor may have been set before this slot was first used.
        filter->setValue(PixelZoomFilter::kScale, double(pixelScaleFactor_));
    }
    filter->setImage(platform::ImageFilter::kInputImage, std::move(image));
}

platform::Image::Ptr PixelatedCIImages::getInputImage(int imageNum) const {
    if (imageNum < 0 || imageNum > 1 || !pixelZoomFilter_[size_t(imageNum)]) return nullptr;
    return pixelZoomFilter_[size_t(imageNum)]->inputImage();
}

platform::Image::Ptr PixelatedCIImages::getPixelatedImage(int imageNum) const {
    if (imageNum < 0 || imageNum > 1 || !pixelZoomFilter_[size_t(imageNum)]) return nullptr;
    auto& filter = pixelZoomFilter_[size_t(imageNum)];
    return pixelScaleFactor_ <= 1.0f ? filter->inputImage() : filter->outputImage();
}

void PixelatedCIImages::setPixelScaleFactor(float factor) {
    pixelScaleFactor_ = factor;
    for (auto& filter : pixelZoomFilter_)
        if (filter) filter->setValue(PixelZoomFilter::kScale, double(factor));
}
