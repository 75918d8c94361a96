#include "color/CoreEngineFilter.h"

#include <algorithm>
#include <cmath>

#include "color/AdjustmentAttributes.h"
#include "color/ComputeMatrixAndLUT.h"
#include "color/FilteredCIImage.h"
#include "engine/core/ImageBufferF32.h"
#include "platform/FilterRegistry.h"
#include "platform/Log.h"

using platform::FilterAttribute;
using platform::Image;

namespace {

using Type = FilterAttribute::Type;

std::vector<FilterAttribute> coreEngineAttributes() {
    std::vector<FilterAttribute> list = {FilterAttribute::image(platform::ImageFilter::kInputImage),
                                         FilterAttribute::dictionary(CoreEngineFilter::kCameraParameters),
                                         FilterAttribute::dictionary(CoreEngineFilter::kImageParameters)};
    for (auto& a : adjustmentAttributes())
        list.push_back(std::move(a));
    list.push_back(FilterAttribute::scalar("inputHighLight", 0, -1, 1));
    list.push_back(FilterAttribute::scalar("inputFillLight", 0, -2, 2));
    return list;
}

// The gain at a fractional table position, between the two nearest entries. Entry 0 holds a
// placeholder gain of 1 (at x = 0 every gain gives the offset); the output stage uses it for
// every index below 1, and so does the filter rather than blend it into entry 1.
float gainAt(const float* table, float index) {
    const float last = float(CoreEngineFilter::kTableSize - 1);
    const float t = index > 0 ? std::min(index, last) : 0.0f; // NaN as well
    if (t < 1) return table[0];
    const int i = std::min(int(t), CoreEngineFilter::kTableSize - 2);
    const float f = t - float(i);
    return table[4 * i] + f * (table[4 * (i + 1)] - table[4 * i]);
}

struct Tables {
    float matrix[16];
    float offset = 0;
    std::shared_ptr<ImageBufferF32> lut;
    const float* gains = nullptr; // the table's first entry
};

void processPixel(const float* src, float* dst, const Tables& t) {
    const float* m = t.matrix;
    float v[4];
    for (int j = 0; j < 4; ++j)
        v[j] = src[0] * m[j] + src[1] * m[4 + j] + src[2] * m[8 + j] + src[3] * m[12 + j];
    const float q = gainAt(t.gains, v[3]);
    for (int j = 0; j < 3; ++j)
        dst[j] = v[j] * q + t.offset;
    dst[3] = 1.0f;
}

} // namespace

void CoreEngineFilter::registerFilter() {
    using namespace platform::filter_category;
    platform::FilterRegistry::shared().registerClass<CoreEngineFilter>(kName, "Lumivar Core engine",
                                                                       anyFrame(kColorAdjustment));
}

CoreEngineFilter::CoreEngineFilter() : ImageFilter(coreEngineAttributes()) {}

void CoreEngineFilter::setDefaults() {
    ImageFilter::setDefaults();
    overrides_.clear();
}

void CoreEngineFilter::attributeDidChange(std::string_view key) {
    if (key == kImageParameters) {
        overrides_.clear();
        return;
    }
    const FilterAttribute* a = attribute(key);
    if (a && a->type == Type::Number) overrides_[std::string(key)] = value(key);
}

Image::Ptr CoreEngineFilter::computeOutput(const Image& input) {
    const platform::Dictionary* camera = value(kCameraParameters).dictionary();
    const platform::Dictionary* settings = value(kImageParameters).dictionary();
    if (!camera || !settings) {
        LV_LOG("%s no camera or image parameters", __PRETTY_FUNCTION__);
        return nullptr;
    }
    platform::Dictionary merged = *settings;
    for (const auto& [key, v] : overrides_)
        merged[FilteredCIImage::kSettingsPrefix + key] = v;
    ComputeMatrixAndLUT builder;
    builder.setCameraParameters(*camera);
    builder.setImageParameters(std::move(merged));
    Tables t;
    float kneeLow = 0, kneeF = 0;
    t.lut = ImageBufferF32::create(kTableSize, 1);
    if (!t.lut || !builder.populateFloatLUTAndMatrix(t.lut.get(), t.matrix, &t.offset, &kneeLow, &kneeF))
        return nullptr;
    t.gains = t.lut->bufferFloatForRow(0);
    return mapPixels(input, [&t](const float* src, float* dst) { processPixel(src, dst, t); });
}
