#include "engine/core/HistogramBuilder.h"

#include <tbb/combinable.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "platform/ParallelRows.h"

namespace {

using Counts = std::array<std::vector<uint64_t>, 4>; // red, green, blue, alpha

// Bin of a sample over the range 0..1; samples outside land in the end bins.
inline size_t binOf(float v, size_t bins) {
    const float scaled = v * float(bins);
    if (!(scaled > 0)) return 0; // NaN as well
    return std::min(size_t(scaled), bins - 1);
}

Counts countBins(const ImageBuffer& buffer, size_t bins) {
    const auto fresh = [bins] {
        return Counts{std::vector<uint64_t>(bins), std::vector<uint64_t>(bins), std::vector<uint64_t>(bins),
                      std::vector<uint64_t>(bins)};
    };
    tbb::combinable<Counts> partial(fresh);
    const size_t width = buffer.imageWidth();
    platform::parallelRows(buffer.imageHeight(), 1, [&](const platform::RowRange& rows) {
        Counts& local = partial.local();
        for (size_t r = rows.begin(); r != rows.end(); ++r) {
            const float* p = buffer.bufferFloatForRow(r);
            for (size_t k = 0; k < width * 4; ++k)
                ++local[k & 3][binOf(p[k], bins)];
        }
    });
    Counts total = fresh();
    partial.combine_each([&](const Counts& c) {
        for (size_t ch = 0; ch < 4; ++ch)
            for (size_t i = 0; i < bins; ++i)
                total[ch][i] += c[ch][i];
    });
    return total;
}

// Bar heights; an end bin may exceed the peak, which is harmless once capped at the height.
std::array<int64_t, 3> barHeights(const Counts& counts, size_t bin, uint64_t peak, int64_t height) {
    std::array<int64_t, 3> h{};
    for (size_t ch = 0; ch < 3; ++ch) {
        if (peak == 0) {
            h[ch] = height; // nothing to scale by: a full bar
            continue;
        }
        const double scaled = double(counts[ch][bin]) * double(height) / double(peak);
        h[ch] = int64_t(std::min(scaled, double(height)));
    }
    return h;
}

void paintColumn(ImageBufferU16& image, size_t column, const std::array<int64_t, 3>& bar) {
    const int64_t height = image.imageHeight();
    for (int64_t j = 0; j < height; ++j) {
        uint16_t* px = image.bufferU16ForRow(size_t(height - 1 - j), column);
        const bool in[3] = {j <= bar[0], j <= bar[1], j <= bar[2]};
        for (int ch = 0; ch < 3; ++ch)
            px[ch] = in[ch] ? 65535 : HistogramBuilder::kBackground;
        if (in[0] && in[1] && in[2]) px[0] = px[1] = px[2] = HistogramBuilder::kAllChannels;
        px[3] = 65535;
    }
}

} // namespace

std::unique_ptr<HistogramBuilder> HistogramBuilder::create(const ImageBuffer& source) {
    std::unique_ptr<HistogramBuilder> builder(new HistogramBuilder);
    // Held through the copy's row loop: the builder is not yet seen by anyone else, and the
    // loop's chunks take no lock.
    std::lock_guard lock(builder->monitor_);
    builder->theBuffer_ = ImageBufferF32::createWithCopyFrom(source);
    if (!builder->theBuffer_) return nullptr;
    return builder;
}

void HistogramBuilder::setTheBuffer(std::shared_ptr<ImageBuffer> buffer) {
    theBuffer_ = std::move(buffer);
    gammaApplied_ = false;
}

// The gamma works in place on the copy, so a second request must not apply it again.
void HistogramBuilder::applyGammaOnce() {
    if (gammaApplied_) return;
    gammaApplied_ = true;
    const ImageBuffer& buffer = *theBuffer_;
    const size_t samples = size_t(buffer.imageWidth()) * 4;
    platform::parallelRows(buffer.imageHeight(), 1, [&](const platform::RowRange& rows) {
        for (size_t r = rows.begin(); r != rows.end(); ++r) {
            float* p = buffer.bufferFloatForRow(r);
            for (size_t k = 0; k < samples; ++k)
                if (p[k] > 0) p[k] = std::pow(p[k], kDisplayGamma);
        }
    });
}

std::shared_ptr<ImageBufferU16> HistogramBuilder::getOutputImage() {
    if (!theBuffer_) return nullptr;
    if (!theBuffer_->isFloat())
        throw std::logic_error("HistogramBuilder: -[HistogramBuilder getOutputImage]: theBuffer.isFloat");
    const double w = std::floor(outputSize_.width), h = std::floor(outputSize_.height);
    if (!(w >= 1 && w <= 65535 && h >= 1 && h <= 65535)) return nullptr;
    auto image = ImageBufferU16::create(uint16_t(w), uint16_t(h));
    if (!image) return nullptr;

    applyGammaOnce();
    const size_t bins = size_t(w);
    const Counts counts = countBins(*theBuffer_, bins);
    // Clipped shadows and highlights (two bins at each end) do not set the scale.
    uint64_t peak = 0;
    for (size_t ch = 0; ch < 3; ++ch)
        for (size_t i = 2; i + 2 < bins; ++i)
            peak = std::max(peak, counts[ch][i]);
    for (size_t i = 0; i < bins; ++i)
        paintColumn(*image, i, barHeights(counts, i, peak, int64_t(h)));
    return image;
}
