#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <vector>

#include "platform/ParallelRows.h"
#include "platform/PixelPlane.h"

namespace platform {
namespace {

constexpr double kLobes = 3.0;

double lanczos(double x) {
    x = std::fabs(x);
    if (x < 1e-9) return 1.0;
    if (x >= kLobes) return 0.0;
    double px = std::numbers::pi * x;
    return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// The source samples and normalised weights that make each destination sample of one axis.
struct Taps {
    std::vector<size_t> first;
    std::vector<size_t> count;
    std::vector<size_t> offset;
    std::vector<float> weights;
};

Taps makeTaps(size_t srcSize, size_t dstSize) {
    Taps t;
    const double ratio = double(srcSize) / double(dstSize);
    const double stretch = std::max(ratio, 1.0);
    const double support = kLobes * stretch;
    for (size_t o = 0; o < dstSize; ++o) {
        double centre = (double(o) + 0.5) * ratio;
        auto lo = size_t(std::max(0.0, std::ceil(centre - support - 0.5)));
        auto hi = size_t(std::min(double(srcSize - 1), std::floor(centre + support - 0.5)));
        if (hi < lo) lo = hi = std::min(size_t(centre), srcSize - 1);
        std::vector<double> w;
        double sum = 0;
        for (size_t j = lo; j <= hi; ++j)
            sum += w.emplace_back(lanczos((double(j) + 0.5 - centre) / stretch));
        if (std::fabs(sum) < 1e-12) { // no lobe reached a sample: take the nearest one
            w.assign(w.size(), 0.0);
            w[std::min(size_t(centre), hi) - lo] = sum = 1.0;
        }
        t.first.push_back(lo);
        t.count.push_back(w.size());
        t.offset.push_back(t.weights.size());
        for (double v : w)
            t.weights.push_back(float(v / sum));
    }
    return t;
}

float toFloat(uint16_t v) { return float(v); }
float toFloat(float v) { return v; }

template <class T> T fromFloat(float v);
template <> float fromFloat<float>(float v) { return v; }
template <> uint16_t fromFloat<uint16_t>(float v) {
    if (!(v >= 0.5f)) return 0;
    return v >= 65534.5f ? 65535 : uint16_t(v + 0.5f);
}

template <class T> const T* rowOf(const PixelPlane& p, size_t row) {
    return reinterpret_cast<const T*>(static_cast<const uint8_t*>(p.data) + row * p.rowBytes);
}

template <class T>
void scaleRows(const PixelPlane& src, const PixelPlane& dst, const Taps& across, const Taps& down,
               size_t rowBegin, size_t rowEnd) {
    std::vector<float> column(src.width * 4);
    for (size_t o = rowBegin; o < rowEnd; ++o) {
        std::fill(column.begin(), column.end(), 0.0f);
        for (size_t k = 0; k < down.count[o]; ++k) {
            float w = down.weights[down.offset[o] + k];
            const T* in = rowOf<T>(src, down.first[o] + k);
            for (size_t i = 0; i < column.size(); ++i)
                column[i] += w * toFloat(in[i]);
        }
        T* out = reinterpret_cast<T*>(static_cast<uint8_t*>(dst.data) + o * dst.rowBytes);
        for (size_t x = 0; x < dst.width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            const float* in = column.data() + across.first[x] * 4;
            const float* w = across.weights.data() + across.offset[x];
            for (size_t k = 0; k < across.count[x]; ++k)
                for (int c = 0; c < 4; ++c)
                    acc[c] += w[k] * in[k * 4 + c];
            for (int c = 0; c < 4; ++c)
                out[x * 4 + c] = fromFloat<T>(acc[c]);
        }
    }
}

template <class T> long scale(const PixelPlane& src, const PixelPlane& dst) {
    const size_t pixel = 4 * sizeof(T);
    if (!src.data || !dst.data || src.width == 0 || src.height == 0 || dst.width == 0 || dst.height == 0 ||
        src.width > src.rowBytes / pixel || dst.width > dst.rowBytes / pixel)
        return kPixelInvalidParameter;
    try {
        Taps across = makeTaps(src.width, dst.width);
        Taps down = makeTaps(src.height, dst.height);
        parallelRows(dst.height, 8,
                     [&](const RowRange& r) { scaleRows<T>(src, dst, across, down, r.begin(), r.end()); });
    } catch (const std::bad_alloc&) {
        return kPixelMemoryAllocation;
    }
    return kPixelNoError;
}

} // namespace

long scaleRGBA16U(const PixelPlane& src, const PixelPlane& dst) { return scale<uint16_t>(src, dst); }
long scaleRGBAF(const PixelPlane& src, const PixelPlane& dst) { return scale<float>(src, dst); }

} // namespace platform
