#include "color/HistogramFilter.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "color/AdjustmentAttributes.h"
#include "engine/core/HistogramBuilder.h"
#include "platform/FilterRegistry.h"

using platform::FilterAttribute;
using platform::Image;

namespace {

constexpr float kBackground = HistogramBuilder::kBackground / 65535.0f;
constexpr float kAllChannels = HistogramBuilder::kAllChannels / 65535.0f;

std::array<double, 3> barHeights(const float* bin, float peak, double height) {
    std::array<double, 3> h{};
    for (size_t c = 0; c < 3; ++c)
        h[c] = peak > 0 ? std::trunc(std::min(double(bin[c]) * height / double(peak), height)) : height;
    return h;
}

void paintColumn(Image& out, size_t column, const std::array<double, 3>& bar) {
    const size_t height = out.height();
    for (size_t j = 0; j < height; ++j) {
        float* px = out.mutableRow(height - 1 - j) + 4 * column;
        const bool in[3] = {double(j) <= bar[0], double(j) <= bar[1], double(j) <= bar[2]};
        for (size_t c = 0; c < 3; ++c)
            px[c] = in[c] ? 1.0f : kBackground;
        if (in[0] && in[1] && in[2]) px[0] = px[1] = px[2] = kAllChannels;
        px[3] = 1.0f;
    }
}

} // namespace

void HistogramFilter::registerFilter() {
    using namespace platform::filter_category;
    platform::FilterRegistry::shared().registerClass<HistogramFilter>(kName, "Lumivar Histogram",
                                                                      anyFrame(kColorAdjustment));
}

namespace {

std::vector<FilterAttribute> histogramAttributes() {
    std::vector<FilterAttribute> list = {FilterAttribute::image(platform::ImageFilter::kInputImage),
                                         FilterAttribute::image(HistogramFilter::kMaxImage)};
    for (auto& a : adjustmentAttributes())
        list.push_back(std::move(a));
    return list;
}

} // namespace

HistogramFilter::HistogramFilter() : ImageFilter(histogramAttributes()) {}

void HistogramFilter::setOutputSize(platform::Size size) {
    outputSize_ = size;
    markDirty();
}

Image::Ptr HistogramFilter::computeOutput(const Image& input) {
    const Image::Ptr maximum = image(kMaxImage);
    const double width = std::floor(outputSize_.width), height = std::floor(outputSize_.height);
    if (!maximum || !(width >= 1) || !(height >= 1)) return nullptr;
    auto out = Image::createBlank({0, 0, width, height});
    if (!out) return nullptr;
    const float* m = maximum->row(0);
    const float peak = std::max({m[0], m[1], m[2]});
    const size_t bins = input.width();
    const float* histogram = input.row(0);
    for (size_t x = 0; x < out->width(); ++x) {
        const auto bin = std::min(bins - 1, size_t((double(x) + 0.5) * double(bins) / width));
        paintColumn(*out, x, barHeights(histogram + 4 * bin, peak, height));
    }
    return out;
}
