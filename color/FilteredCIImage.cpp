#include "color/FilteredCIImage.h"

#include <algorithm>

using platform::FilterAttribute;
using platform::ImageFilter;

void FilteredCIImage::addFilter(const Filter& filter) {
    if (!filter) return;
    std::scoped_lock guard(monitor_);
    filter->setDefaults();
    filters_.push_back(filter);
}

void FilteredCIImage::removeFilter(const Filter& filter) {
    std::scoped_lock guard(monitor_);
    filters_.erase(std::remove(filters_.begin(), filters_.end(), filter), filters_.end());
    localValues_.erase(filter.get());
}

platform::Image::Ptr FilteredCIImage::getInputImage() const {
    std::scoped_lock guard(monitor_);
    return inputImage_;
}

void FilteredCIImage::setInputImage(platform::Image::Ptr image) {
    std::scoped_lock guard(monitor_);
    inputImage_ = std::move(image);
    inputDidChange();
}

platform::Image::Ptr FilteredCIImage::getOutputImage() {
    std::scoped_lock guard(monitor_);
    if (filters_.empty() || !inputImage_) return inputImage_;
    return filters_.back()->outputImage();
}

void FilteredCIImage::feedFilter(size_t index) {
    ImageFilter& filter = *filters_[index];
    platform::Image::Ptr input = index == 0 ? inputImage_ : filters_[index - 1]->outputImage();
    if (input && filter.hasAttribute(ImageFilter::kInputExtent))
        filter.setValue(ImageFilter::kInputExtent, platform::rectVector(input->extent()));
    filter.setImage(ImageFilter::kInputImage, std::move(input));
}

void FilteredCIImage::feedFrom(size_t first) {
    for (size_t i = first; i < filters_.size(); ++i)
        feedFilter(i);
}

bool FilteredCIImage::adjust(size_t index, const platform::Dictionary& settings) {
    ImageFilter& filter = *filters_[index];
    platform::Dictionary& given = localValues_[&filter];
    bool changed = false;
    for (const FilterAttribute& attribute : filter.attributes()) {
        if (attribute.type == FilterAttribute::Type::Image) continue;
        const auto setting = settings.find(kSettingsPrefix + attribute.key);
        if (setting == settings.end()) continue;
        const platform::Value& value = setting->second;
        const auto last = given.find(attribute.key);
        const bool same = value.isNumber() && last != given.end() && last->second.isNumber() &&
                          last->second.doubleValue() == value.doubleValue();
        if (same) continue;
        filter.setValue(attribute.key, value);
        given[attribute.key] = value;
        changed = true;
    }
    return changed;
}

void FilteredCIImage::applyAdjustments(const platform::Dictionary& settings) {
    std::scoped_lock guard(monitor_);
    size_t first = filters_.size();
    for (size_t i = 0; i < filters_.size(); ++i)
        if (adjust(i, settings) && first == filters_.size()) first = i;
    feedFrom(first);
}
