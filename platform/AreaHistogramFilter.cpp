#include "platform/AreaHistogramFilter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace platform {

namespace {

size_t binOf(float v, size_t bins) {
    const float scaled = v * float(bins);
    if (!(scaled > 0)) return 0;
    return std::min(size_t(scaled), bins - 1);
}

} // namespace

AreaHistogramFilter::AreaHistogramFilter()
    : ImageFilter(
          {FilterAttribute::image(kInputImage),
           FilterAttribute::vector(kInputExtent, makeVector({0, 0, 640, 80})),
           FilterAttribute::number(kInputScale, 1.0, 0.0, std::nullopt, 0.0, 100.0, 1.0),
           FilterAttribute::number(kInputCount, 64, 1.0, double(kMaxCount), 1.0, 256.0, std::nullopt)}) {}

Image::Ptr AreaHistogramFilter::computeOutput(const Image& input) {
    const auto requested = rectFromVector(value(kInputExtent));
    const double count = std::floor(number(kInputCount, 64));
    if (!requested || !(count >= 1)) return nullptr;
    const Rect area = input.clippedArea(*requested);
    if (area.isEmpty()) return nullptr;
    const size_t bins = size_t(std::min(count, double(kMaxCount)));
    auto out = Image::createBlank({0, 0, double(bins), 1});
    if (!out) return nullptr;

    std::vector<std::array<uint64_t, 4>> counts(bins);
    const auto width = size_t(area.width);
    for (double y = area.y; y < area.maxY(); ++y) {
        const float* p = input.pixel(int64_t(area.x), int64_t(y));
        for (size_t k = 0; k < 4 * width; ++k)
            ++counts[binOf(p[k], bins)][k & 3];
    }
    const double share = number(kInputScale, 1.0) / (area.width * area.height);
    float* dst = out->mutableRow(0);
    for (size_t i = 0; i < bins; ++i)
        for (size_t c = 0; c < 4; ++c)
            dst[4 * i + c] = float(double(counts[i][c]) * share);
    return out;
}

} // namespace platform
