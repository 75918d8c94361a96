#pragma once
// A chain of image filters fed from one input image and driven by a settings dictionary:
// each filter takes the previous filter's output, and a change of settings re-runs the
// chain from the first filter it touches.
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ImageFilter.h"
#include "settings/Schema.h"

class FilteredCIImage {
  public:
    using Filter = std::shared_ptr<platform::ImageFilter>;
    static constexpr const char* kSettingsPrefix = settings::FilterPrefix.data();

    FilteredCIImage() = default;
    explicit FilteredCIImage(platform::Image::Ptr image) : inputImage_(std::move(image)) {}
    virtual ~FilteredCIImage() = default;

    // Sets the filter's defaults, then appends it (unfed until the next input or change).
    void addFilter(const Filter& filter);
    void removeFilter(const Filter& filter);
    const std::vector<Filter>& filters() const { return filters_; }

    platform::Image::Ptr getInputImage() const;
    // Stores the image and feeds every filter.
    void setInputImage(platform::Image::Ptr image);
    // The last filter's output; the input itself without filters or without input.
    platform::Image::Ptr getOutputImage();

    // For each filter and attribute key, the setting kSettingsPrefix + key: a value that
    // is not a number, or a number other than the one this filter was last given, is set
    // on the filter. The filters from the first one so changed on are fed again.
    void applyAdjustments(const platform::Dictionary& settings);

  protected:
    // After a new input image is stored: feeds every filter.
    virtual void inputDidChange() { feedFrom(0); }
    // Gives filter `index` its input image (the chain's input for the first, else the
    // previous filter's output) and, when it has one, that image's extent as "inputExtent".
    virtual void feedFilter(size_t index);
    void feedFrom(size_t first);
    // Guards the chain; held while a filter is fed.
    std::recursive_mutex& monitor() const { return monitor_; }

  private:
    bool adjust(size_t index, const platform::Dictionary& settings);

    std::vector<Filter> filters_;
    platform::Image::Ptr inputImage_;
    // Per filter, the last value given to each key.
    std::map<const platform::ImageFilter*, platform::Dictionary> localValues_;
    mutable std::recursive_mutex monitor_;
};
