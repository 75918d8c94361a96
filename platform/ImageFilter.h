#pragma once
// An image filter: named attributes holding property-list values (numbers, vectors as
// arrays of reals, dictionaries) or images, and an output image computed on the CPU from
// them. The output is computed once per change of the attributes and kept until the next
// change. A filter is used by one thread at a time.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Geometry.h"
#include "platform/Image.h"
#include "platform/Value.h"

namespace platform {

struct FilterAttribute {
    enum class Type { Image, Number, Vector, Dictionary };

    std::string key;
    Type type = Type::Number;
    Value defaultValue; // null: setDefaults leaves the attribute unset
    std::optional<double> minimum, maximum, sliderMinimum, sliderMaximum, identity;

    static FilterAttribute image(const char* key) { return make(key, Type::Image, Value()); }
    static FilterAttribute dictionary(const char* key) { return make(key, Type::Dictionary, Value()); }
    static FilterAttribute vector(const char* key, Value fallback) {
        return make(key, Type::Vector, std::move(fallback));
    }
    // A number from `low` to `high` (the slider's range too) whose default is its identity.
    static FilterAttribute scalar(const char* key, double fallback, double low, double high) {
        return number(key, fallback, low, high, low, high, fallback);
    }
    static FilterAttribute number(const char* key, double fallback, std::optional<double> low,
                                  std::optional<double> high, double sliderLow, double sliderHigh,
                                  std::optional<double> identity) {
        FilterAttribute a = make(key, Type::Number, fallback);
        a.minimum = low;
        a.maximum = high;
        a.sliderMinimum = sliderLow;
        a.sliderMaximum = sliderHigh;
        a.identity = identity;
        return a;
    }

  private:
    static FilterAttribute make(const char* key, Type type, Value fallback) {
        FilterAttribute a;
        a.key = key;
        a.type = type;
        a.defaultValue = std::move(fallback);
        return a;
    }
};

class ImageFilter {
  public:
    static constexpr const char* kInputImage = "inputImage";
    static constexpr const char* kInputExtent = "inputExtent";

    virtual ~ImageFilter() = default;
    ImageFilter(const ImageFilter&) = delete;
    ImageFilter& operator=(const ImageFilter&) = delete;

    // A new filter of a registered name; null when no filter has that name.
    static std::shared_ptr<ImageFilter> filterWithName(std::string_view name);

    // The name it was made under; empty for a filter made directly.
    const std::string& name() const { return name_; }
    const std::vector<FilterAttribute>& attributes() const { return attributes_; }
    std::vector<std::string> attributeKeys() const;
    const FilterAttribute* attribute(std::string_view key) const;
    bool hasAttribute(std::string_view key) const { return attribute(key) != nullptr; }

    // Every attribute with a default takes it; the others keep their values.
    virtual void setDefaults();
    // False (and nothing changes) for a key the filter does not have, or an image key.
    bool setValue(std::string_view key, Value value);
    // False for a key that is not an image attribute.
    bool setImage(std::string_view key, Image::Ptr image);
    // A null value when unset.
    const Value& value(std::string_view key) const;
    Image::Ptr image(std::string_view key) const;
    Image::Ptr inputImage() const { return image(kInputImage); }

    // The filtered image; null while "inputImage" is unset or when the attributes give none.
    Image::Ptr outputImage();

  protected:
    explicit ImageFilter(std::vector<FilterAttribute> attributes);
    virtual Image::Ptr computeOutput(const Image& input) = 0;
    // After setValue or setImage has stored a new value.
    virtual void attributeDidChange(std::string_view) {}

    // For settings a subclass keeps outside its attributes.
    void markDirty() { dirty_ = true; }
    double number(std::string_view key, double fallback) const;

  private:
    friend class FilterRegistry;

    std::string name_;
    std::vector<FilterAttribute> attributes_;
    std::map<std::string, Value, std::less<>> values_;
    std::map<std::string, Image::Ptr, std::less<>> images_;
    Image::Ptr output_;
    bool dirty_ = true;
};

// Vectors travel as arrays of reals.
Value makeVector(std::initializer_list<double> elements);
Value rectVector(const Rect& r);
// The numbers of an array of numbers; empty for anything else.
std::vector<double> vectorElements(const Value& v);
// (x, y, width, height) of a vector of four; nullopt otherwise.
std::optional<Rect> rectFromVector(const Value& v);

} // namespace platform
