#include "engine/stages/SharpeningTiledEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <numbers>

#include "engine/stages/StageParameters.h"
#include "platform/Log.h"

namespace {

// A sharpened root back to a sample: squared, at the engine's unit, rounded half away
// from zero. Non-negative until rounded, so adding a half and truncating is that rounding.
uint16_t squaredSample(float v) {
    const double square = double(v) * v * kU16PerFloatUnit;
    if (!(square > 0.0)) return 0; // NaN included
    return uint16_t(std::min(square, 65535.0) + 0.5);
}

// sums[j] += k * samples[j], the product and the sum each rounded: a fused multiply-add
// would change the sharpened samples (baseline x86-64 has none to contract to).
void addScaled(float* __restrict sums, const float* __restrict samples, float k, size_t n) {
    for (size_t j = 0; j < n; ++j)
        sums[j] += k * samples[j];
}

// Three sharpened roots back to a pixel, opaque at the engine's unit.
void putPixel(const float* roots, uint16_t* out) {
    out[0] = squaredSample(roots[0]), out[1] = squaredSample(roots[1]), out[2] = squaredSample(roots[2]);
    out[3] = uint16_t(kU16PerFloatUnit);
}

} // namespace

const std::array<float, 65536>& SharpeningTiledEngine::sampleRoots() {
    static const auto table = [] {
        std::array<float, 65536> roots{};
        for (size_t i = 0; i < roots.size(); ++i)
            roots[i] = std::sqrt(float(i) / 65535.0f);
        return roots;
    }();
    return table;
}

const std::array<uint16_t, 65536>& SharpeningTiledEngine::unsharpenedSamples() {
    static const auto table = [] {
        std::array<uint16_t, 65536> samples{};
        const auto& roots = sampleRoots();
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = squaredSample(roots[i]);
        return samples;
    }();
    return table;
}

std::string SharpeningTiledEngine::engineName() const {
    char name[80];
    std::snprintf(name, sizeof name, "LumivarSharpeningEngine_%p", static_cast<const void*>(this));
    return name;
}

void SharpeningTiledEngine::setParameters(const std::optional<std::string>& key,
                                          const platform::Dictionary& parameters) {
    if (stages::concerns(key, settings::SharpeningStage)) {
        radius_ = stages::floatSetting(parameters, settings::InputRadius);
        intensity_ = stages::floatSetting(parameters, settings::InputIntensity);
        markAllDirty();
        setEdgesDone(false);
    }
    TiledEngine::setParameters(key, parameters);
}

std::vector<float> SharpeningTiledEngine::fill2DGaussian(int32_t length, float sigma, float amount) {
    std::vector<float> kernel(size_t(length) * size_t(length));
    const int32_t half = length / 2;
    const double twoSigma2 = 2.0 * double(sigma) * sigma;
    double sum = 0;
    for (int32_t dy = -half; dy <= half; ++dy)
        for (int32_t dx = -half; dx <= half; ++dx) {
            const double v =
                -std::exp(-(dx * dx + dy * dy) / twoSigma2) / (std::numbers::pi * twoSigma2) * amount;
            kernel[size_t(dy + half) * length + size_t(dx + half)] = float(v);
            sum += v;
        }
    float& centre = kernel[size_t(half) * length + size_t(half)];
    centre = float(1.0 - (sum - centre));
    double total = 0;
    for (float v : kernel)
        total += v;
    for (float& v : kernel)
        v = float(v / total);
    return kernel;
}

std::vector<float> SharpeningTiledEngine::fillGaussian(int32_t length, float sigma) {
    std::vector<float> kernel(size_t(std::max(length, 0)));
    const int32_t half = length / 2;
    const double scale = 1.0 / (std::sqrt(2 * std::numbers::pi) * sigma),
                 twoSigma2 = 2.0 * double(sigma) * sigma;
    for (int32_t i = -half; i <= half && i + half < length; ++i)
        kernel[size_t(i + half)] = float(scale * std::exp(-double(i) * i / twoSigma2));
    return kernel;
}

void SharpeningTiledEngine::oneDConvolve(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                         int32_t dir, const ImageBuffer& destBuffer,
                                         std::span<const float> kernel, const float* finputImage,
                                         float* foutputImage) {
    const int32_t width = destBuffer.imageWidth(), height = destBuffer.imageHeight();
    colStart = std::max(colStart, 0), rowStart = std::max(rowStart, 0);
    colEnd = std::min(colEnd, width), rowEnd = std::min(rowEnd, height);
    const int32_t half = int32_t(kernel.size() / 2);
    for (int32_t y = rowStart; y < rowEnd; ++y)
        for (int32_t x = colStart; x < colEnd; ++x) {
            float sum[4] = {};
            for (int32_t i = -half; i <= half; ++i) {
                const int32_t sx = dir == 0 ? std::clamp(x + i, 0, width - 1) : x;
                const int32_t sy = dir == 0 ? y : std::clamp(y + i, 0, height - 1);
                const float* in = finputImage + (size_t(sy) * size_t(width) + size_t(sx)) * 4;
                const float k = kernel[size_t(i + half)];
                for (int c = 0; c < 4; ++c)
                    sum[c] += k * in[c];
            }
            std::copy(sum, sum + 4, foutputImage + (size_t(y) * size_t(width) + size_t(x)) * 4);
        }
}

bool SharpeningTiledEngine::buildKernel() {
    radius_ = std::max(radius_, 0.05f);
    const float sigma = radius_ < 1.0f ? radius_ : std::sqrt(radius_);
    length_ = std::max(int32_t(2.0f * sigma + 1.0f), 3);
    if (length_ % 2 == 0) ++length_;
    try {
        kernel_ = fill2DGaussian(length_, sigma, intensity_);
    } catch (const std::bad_alloc&) {
        LV_LOG("%s could not malloc kernel: %i", __PRETTY_FUNCTION__, length_);
        return false;
    }
    const size_t centre = kernel_.size() / 2;
    identity_ = kernel_[centre] == 1.0f;
    for (size_t i = 0; i < kernel_.size() && identity_; ++i)
        identity_ = i == centre || kernel_[i] == 0.0f;
    return true;
}

std::shared_ptr<TileProcess> SharpeningTiledEngine::runProcessToCompletion(const TileRegion& region) {
    setNumberOfPasses(4);
    if (!buildKernel()) return nullptr;
    auto process = TiledEngine::runProcessToCompletion(region);
    if (process && process->buffer) process->buffer->setBufferOwner(this);
    return process;
}

// Every pass gives the same result from the unchanged source, so the tile is computed once.
// Roots and squares go through tables of all 65536 samples: the same floats as computing
// them, without a square root and a rounding call per sample.
void SharpeningTiledEngine::processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                        ImageBuffer* src, ImageBuffer* dest, int32_t pass) {
    if (!src || !dest || pass > 0 || isCanceled() || colStart >= colEnd || rowStart >= rowEnd) return;
    const auto& root = sampleRoots();
    if (identity_) {
        // Nothing to sharpen: each sample goes through its root and back on its own.
        const auto& same = unsharpenedSamples();
        for (int32_t y = rowStart; y < rowEnd; ++y) {
            const uint16_t* in = src->bufferU16ForRow(size_t(y));
            uint16_t* out = dest->bufferU16ForRow(size_t(y));
            for (int32_t x = 4 * colStart; x < 4 * colEnd; x += 4) {
                out[x] = same[in[x]], out[x + 1] = same[in[x + 1]], out[x + 2] = same[in[x + 2]];
                out[x + 3] = uint16_t(kU16PerFloatUnit);
            }
        }
        return;
    }
    const int32_t h = length_ / 2;
    const int32_t x0 = std::max(colStart - h, 0), x1 = std::min(colEnd + h, int32_t(src->imageWidth()));
    const int32_t y0 = std::max(rowStart - h, 0), y1 = std::min(rowEnd + h, int32_t(src->imageHeight()));
    const size_t wideWidth = size_t(x1 - x0);
    std::vector<float> roots(wideWidth * size_t(y1 - y0) * 3);
    for (int32_t y = y0; y < y1; ++y) {
        const uint16_t* in = src->bufferU16ForRow(size_t(y));
        float* out = &roots[size_t(y - y0) * wideWidth * 3];
        for (int32_t x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c)
                *out++ = root[in[4 * x + c]];
    }
    // Where the kernel would leave the widened area the pixel is kept as it is; the rest of
    // a row, [from, to), is summed a whole row at a time so that the sums run side by side.
    const int32_t from = std::clamp(x0 + h, colStart, colEnd), to = std::clamp(x1 - h, from, colEnd);
    std::vector<float> sums(size_t(to - from) * 3);
    for (int32_t y = rowStart; y < rowEnd; ++y) {
        uint16_t* out = dest->bufferU16ForRow(size_t(y));
        const float* own = &roots[size_t(y - y0) * wideWidth * 3];
        const bool rowInside = y - h >= y0 && y + h < y1;
        const int32_t sumFrom = rowInside ? from : colEnd, sumTo = rowInside ? to : colEnd;
        for (int32_t x = colStart; x < sumFrom; ++x)
            putPixel(own + size_t(x - x0) * 3, out + 4 * x);
        if (sumFrom < sumTo) {
            // Each sample still adds its terms in the kernel's order, each channel alone.
            std::fill(sums.begin(), sums.end(), 0.0f);
            const float* k = kernel_.data();
            for (int32_t dy = -h; dy <= h; ++dy) {
                const float* line = &roots[(size_t(y + dy - y0) * wideWidth + size_t(from - h - x0)) * 3];
                for (int32_t i = 0; i < length_; ++i, ++k)
                    addScaled(sums.data(), line + 3 * i, *k, sums.size());
            }
            for (int32_t x = from; x < to; ++x)
                putPixel(&sums[size_t(x - from) * 3], out + 4 * x);
        }
        for (int32_t x = sumTo; x < colEnd; ++x)
            putPixel(own + size_t(x - x0) * 3, out + 4 * x);
    }
}
