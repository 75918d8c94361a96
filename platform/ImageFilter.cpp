#include "platform/ImageFilter.h"

#include "platform/FilterRegistry.h"

namespace platform {

ImageFilter::ImageFilter(std::vector<FilterAttribute> attributes) : attributes_(std::move(attributes)) {}

std::shared_ptr<ImageFilter> ImageFilter::filterWithName(std::string_view name) {
    return FilterRegistry::shared().filterWithName(name);
}

std::vector<std::string> ImageFilter::attributeKeys() const {
    std::vector<std::string> keys;
    for (const auto& a : attributes_)
        keys.push_back(a.key);
    return keys;
}

const FilterAttribute* ImageFilter::attribute(std::string_view key) const {
    for (const auto& a : attributes_)
        if (a.key == key) return &a;
    return nullptr;
}

void ImageFilter::setDefaults() {
    for (const auto& a : attributes_)
        if (!a.defaultValue.isNull()) values_[a.key] = a.defaultValue;
    dirty_ = true;
}

bool ImageFilter::setValue(std::string_view key, Value value) {
    const FilterAttribute* a = attribute(key);
    if (!a || a->type == FilterAttribute::Type::Image) return false;
    values_.insert_or_assign(std::string(key), std::move(value));
    dirty_ = true;
    attributeDidChange(key);
    return true;
}

bool ImageFilter::setImage(std::string_view key, Image::Ptr image) {
    const FilterAttribute* a = attribute(key);
    if (!a || a->type != FilterAttribute::Type::Image) return false;
    images_.insert_or_assign(std::string(key), std::move(image));
    dirty_ = true;
    attributeDidChange(key);
    return true;
}

const Value& ImageFilter::value(std::string_view key) const {
    static const Value none;
    const auto it = values_.find(key);
    return it == values_.end() ? none : it->second;
}

Image::Ptr ImageFilter::image(std::string_view key) const {
    const auto it = images_.find(key);
    return it == images_.end() ? nullptr : it->second;
}

double ImageFilter::number(std::string_view key, double fallback) const {
    const Value& v = value(key);
    return v.isNumber() ? v.doubleValue() : fallback;
}

Image::Ptr ImageFilter::outputImage() {
    const Image::Ptr input = inputImage();
    if (!input) return nullptr;
    if (dirty_) {
        output_ = computeOutput(*input);
        dirty_ = false;
    }
    return output_;
}

Value makeVector(std::initializer_list<double> elements) {
    Array array;
    for (double e : elements)
        array.emplace_back(e);
    return array;
}

Value rectVector(const Rect& r) { return makeVector({r.x, r.y, r.width, r.height}); }

std::vector<double> vectorElements(const Value& v) {
    std::vector<double> out;
    const Array* array = v.array();
    if (!array) return out;
    for (const Value& e : *array) {
        if (!e.isNumber()) return {};
        out.push_back(e.doubleValue());
    }
    return out;
}

std::optional<Rect> rectFromVector(const Value& v) {
    const auto e = vectorElements(v);
    if (e.size() != 4) return std::nullopt;
    return Rect{e[0], e[1], e[2], e[3]};
}

} // namespace platform
