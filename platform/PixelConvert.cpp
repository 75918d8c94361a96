#include <algorithm>
#include <cmath>

#include "platform/ParallelRows.h"
#include "platform/PixelPlane.h"

namespace platform {
namespace {

bool planeFits(const PixelPlane& p, size_t sampleBytes) {
    size_t row = 0;
    return p.data && !__builtin_mul_overflow(p.width, sampleBytes, &row) && row <= p.rowBytes;
}

bool planesFit(const PixelPlane& src, size_t srcSample, const PixelPlane& dst, size_t dstSample) {
    return planeFits(src, srcSample) && planeFits(dst, dstSample) && src.height >= dst.height &&
           src.width >= dst.width;
}

template <class In, class Out, class Op>
void forEachRow(const PixelPlane& src, const PixelPlane& dst, Op op) {
    parallelRows(dst.height, 16, [&](const RowRange& r) {
        for (size_t row = r.begin(); row != r.end(); ++row) {
            auto* in =
                reinterpret_cast<const In*>(static_cast<const uint8_t*>(src.data) + row * src.rowBytes);
            auto* out = reinterpret_cast<Out*>(static_cast<uint8_t*>(dst.data) + row * dst.rowBytes);
            for (size_t i = 0; i < dst.width; ++i)
                out[i] = op(in[i]);
        }
    });
}

} // namespace

long convert16UToF(const PixelPlane& src, const PixelPlane& dst, float offset, float scale) {
    if (!planesFit(src, sizeof(uint16_t), dst, sizeof(float))) return kPixelInvalidParameter;
    forEachRow<uint16_t, float>(src, dst, [=](uint16_t v) { return offset + scale * float(v); });
    return kPixelNoError;
}

long convertFTo16U(const PixelPlane& src, const PixelPlane& dst, float offset, float scale) {
    if (!planesFit(src, sizeof(float), dst, sizeof(uint16_t)) || scale == 0) return kPixelInvalidParameter;
    const float inverse = 1.0f / scale;
    forEachRow<float, uint16_t>(src, dst, [=](float v) {
        float s = (v - offset) * inverse + 0.5f;
        // The comparisons are written so that NaN lands on 0.
        if (!(s >= 1.0f)) return uint16_t(0);
        return s >= 65535.0f ? uint16_t(65535) : uint16_t(s);
    });
    return kPixelNoError;
}

} // namespace platform
