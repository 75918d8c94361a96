#include "color/HistogramFilteredCIImage.h"

#include <algorithm>
#include <cmath>

#include "platform/AreaHistogramFilter.h"
#include "platform/AreaMaximumFilter.h"
#include "platform/CropFilter.h"
#include "platform/GammaAdjustFilter.h"
#include "platform/Log.h"

using platform::ImageFilter;

HistogramFilteredCIImage::HistogramFilteredCIImage(platform::Size outputSize) : outputSize_(outputSize) {
    HistogramFilter::registerFilter();
    gamma_ = ImageFilter::filterWithName(platform::GammaAdjustFilter::kName);
    areaHistogram_ = ImageFilter::filterWithName(platform::AreaHistogramFilter::kName);
    areaMaximum_ = ImageFilter::filterWithName(platform::AreaMaximumFilter::kName);
    crop_ = ImageFilter::filterWithName(platform::CropFilter::kName);
    bars_ = std::dynamic_pointer_cast<HistogramFilter>(ImageFilter::filterWithName(HistogramFilter::kName));
    for (const Filter& f : {gamma_, areaHistogram_, areaMaximum_, crop_, Filter(bars_)})
        addFilter(f);
    configureFilters();
}

void HistogramFilteredCIImage::setOutputSize(platform::Size size) {
    outputSize_ = size;
    configureFilters();
}

size_t HistogramFilteredCIImage::bins() const {
    const double width = std::floor(outputSize_.width);
    return size_t(std::clamp(width, 1.0, double(platform::AreaHistogramFilter::kMaxCount)));
}

void HistogramFilteredCIImage::feedFilter(size_t index) {
    const Filter& filter = filters()[index];
    if (filter == crop_) {
        crop_->setImage(ImageFilter::kInputImage, areaHistogram_->outputImage());
    } else if (filter == bars_) {
        bars_->setImage(HistogramFilter::kMaxImage, areaMaximum_->outputImage());
        bars_->setImage(ImageFilter::kInputImage, crop_->outputImage());
    } else {
        FilteredCIImage::feedFilter(index);
    }
}

void HistogramFilteredCIImage::configureFilters() {
    std::scoped_lock guard(monitor());
    const auto n = double(bins());
    gamma_->setValue(platform::GammaAdjustFilter::kInputPower, kDisplayGamma);
    areaHistogram_->setValue(platform::AreaHistogramFilter::kInputCount, n);
    areaHistogram_->setValue(platform::AreaHistogramFilter::kInputScale, 1.0);
    crop_->setValue(platform::CropFilter::kInputRectangle, platform::rectVector({0, 0, n, 1}));
    bars_->setOutputSize(outputSize_);
    feedFrom(0);
    const platform::Image::Ptr histogram = areaHistogram_->outputImage();
    if (!histogram) return;
    const float* bin = histogram->row(0);
    for (size_t i = 0; i < histogram->width(); ++i, bin += 4)
        LV_LOG("%i [%g %g %g %g]", int(i), bin[0], bin[1], bin[2], bin[3]);
}
