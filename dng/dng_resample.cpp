#include "dng/dng_resample.h"

#include "KernelSuite.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_safe_arithmetic.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

double RoundHalfAway(double x) { return x < 0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5); }

uint32_t RoundUp8(uint32_t x, const char* message) {
    uint32_t r;
    if (!RoundUpUint32ToMultiple(x, 8, &r)) ThrowOverflow(message);
    return r;
}

size_t CheckedCount(uint64_t count) {
    if (count > std::numeric_limits<uint32_t>::max() / 4)
        ThrowOverflow("Arithmetic overflow computing buffer size.");
    return size_t(count);
}

} // namespace

double dng_resample_bicubic::Evaluate(double x) const {
    const double t = std::fabs(x);
    if (t >= 2.0) return 0.0;
    if (t >= 1.0) return ((-0.75 * t + 3.75) * t - 6.0) * t + 3.0;
    return (1.25 * t - 2.25) * t * t + 1.0;
}

const dng_resample_function& dng_resample_bicubic::Get() {
    static const dng_resample_bicubic instance;
    return instance;
}

void dng_resample_coords::Initialize(int32_t srcOrigin, int32_t dstOrigin, uint32_t srcCount,
                                     uint32_t dstCount) {
    if (dstCount == 0 || dstCount > std::numeric_limits<uint32_t>::max() - 8)
        ThrowOverflow("Arithmetic overflow computing size for coordinate buffer");
    fOrigin = dstOrigin;
    fCoords.assign(CheckedCount(uint64_t(dstCount) + 8), 0);
    const double ratio = double(srcCount) / double(dstCount);
    for (uint32_t i = 0; i < dstCount; ++i)
        fCoords[i] = int32_t(RoundHalfAway(((i + 0.5) * ratio - 0.5 + srcOrigin) * 128.0));
    for (uint32_t i = dstCount; i < dstCount + 8; ++i)
        fCoords[i] = fCoords[dstCount - 1];
}

void dng_resample_weights::Initialize(double scale, const dng_resample_function& kernel) {
    scale = std::min(scale, 1.0);
    const double radius = kernel.Extent() / scale + 0.9999;
    if (!(radius < 65536.0)) ThrowOverflow("Arithmetic overflow computing fWeightStep");
    fRadius = uint32_t(radius);
    const uint32_t width = 2 * fRadius;
    fWeightStep = RoundUp8(width, "Arithmetic overflow computing fWeightStep");
    const size_t entries = CheckedCount(uint64_t(fWeightStep) * kPhases);
    fWeights32.assign(entries, 0.0f);
    fWeights16.assign(entries, 0);
    for (uint32_t s = 0; s < kPhases; ++s) {
        const double f = s / double(kPhases);
        float* w = fWeights32.data() + size_t(s) * fWeightStep;
        double t = 0.0;
        for (uint32_t j = 0; j < width; ++j) {
            const int32_t k = int32_t(j) - int32_t(fRadius) + 1;
            w[j] = float(kernel.Evaluate((k - f) * scale));
            t += w[j];
        }
        const float reciprocal = float(1.0 / t);
        for (uint32_t j = 0; j < width; ++j)
            w[j] *= reciprocal;
        int16_t* w16 = fWeights16.data() + size_t(s) * fWeightStep;
        int32_t sum = 0;
        for (uint32_t j = 0; j < width; ++j) {
            w16[j] = int16_t(RoundHalfAway(w[j] * 16384.0));
            sum += w16[j];
        }
        // Each phase sums to exactly 16384, the error going to the centre tap.
        const uint32_t centre = f < 0.5 ? fRadius - 1 : fRadius;
        w16[centre] = int16_t(w16[centre] + (16384 - sum));
    }
}

void dng_resample_weights_2d::Initialize(const dng_resample_function& kernel) {
    fRadius = uint32_t(kernel.Extent() + 0.9999);
    const uint32_t width = 2 * fRadius;
    fColStep = RoundUp8(width * width, "Arithmetic overflow computing row step.");
    uint32_t rowStep;
    if (!SafeUint32MultChecked(fColStep, kPhases, &rowStep))
        ThrowOverflow("Arithmetic overflow computing row step.");
    fRowStep = rowStep;
    const size_t entries = CheckedCount(uint64_t(fRowStep) * kPhases);
    fWeights32.assign(entries, 0.0f);
    fWeights16.assign(entries, 0);
    for (uint32_t y = 0; y < kPhases; ++y)
        for (uint32_t x = 0; x < kPhases; ++x) {
            const double fy = y / double(kPhases), fx = x / double(kPhases);
            float* w = fWeights32.data() + Offset(y, x);
            double sum = 0.0;
            for (uint32_t i = 1; i <= width; ++i)
                for (uint32_t j = 1; j <= width; ++j) {
                    const float v = float(kernel.Evaluate(int32_t(j) - int32_t(fRadius) - fx)) *
                                    float(kernel.Evaluate(int32_t(i) - int32_t(fRadius) - fy));
                    w[(i - 1) * width + (j - 1)] = v;
                    sum += v;
                }
            const float reciprocal = float(1.0 / sum);
            for (uint32_t k = 0; k < width * width; ++k)
                w[k] *= reciprocal;
            int16_t* w16 = fWeights16.data() + Offset(y, x);
            int32_t total = 0;
            for (uint32_t k = 0; k < width * width; ++k) {
                w16[k] = int16_t(RoundHalfAway(w[k] * 16384.0));
                total += w16[k];
            }
            const uint32_t row = fy < 0.5 ? fRadius - 1 : fRadius;
            const uint32_t col = fx < 0.5 ? fRadius - 1 : fRadius;
            w16[row * width + col] = int16_t(w16[row * width + col] + (16384 - total));
        }
}

dng_resample_task::dng_resample_task(const dng_image& srcImage, dng_image& dstImage,
                                     const dng_rect& srcBounds, const dng_rect& dstBounds,
                                     const dng_resample_function& kernel)
    : dng_filter_task("dng_resample_task", srcImage, dstImage), fSrcBounds(srcBounds), fDstBounds(dstBounds),
      fKernel(kernel), fRowScale(double(dstBounds.H()) / srcBounds.H()),
      fColScale(double(dstBounds.W()) / srcBounds.W()) {
    if (srcBounds.IsEmpty() || dstBounds.IsEmpty()) ThrowProgramError("Empty resample area");
    const bool small = srcImage.PixelSize() <= 2 && dstImage.PixelSize() <= 2 &&
                       srcImage.PixelRange() == dstImage.PixelRange();
    fSrcPixelType = fDstPixelType = small ? uint32_t(ttShort) : uint32_t(ttFloat);
    fUnitCell = dng_point(8, 8);
    auto limit = [](int32_t unscaled, double scale) {
        const double scaled = RoundHalfAway(unscaled * scale);
        return int32_t(std::clamp(scaled, 8.0, double(std::max(unscaled, 8))));
    };
    fMaxTileSize = dng_point(limit(fMaxTileSize.v, fRowScale), limit(fMaxTileSize.h, fColScale));
}

void dng_resample_task::Start(uint32_t threadCount, const dng_rect& dstArea, const dng_point& tileSize,
                              dng_memory_allocator* allocator, dng_abort_sniffer* sniffer) {
    fRowCoords.Initialize(fSrcBounds.t, fDstBounds.t, fSrcBounds.H(), fDstBounds.H());
    fColCoords.Initialize(fSrcBounds.l, fDstBounds.l, fSrcBounds.W(), fDstBounds.W());
    fWeightsV.Initialize(fRowScale, fKernel);
    fWeightsH.Initialize(fColScale, fKernel);
    fTileSizeForSource =
        dng_point(int32_t(2 * fWeightsV.Radius() + RoundHalfAway(tileSize.v / fRowScale) + 2),
                  int32_t(2 * fWeightsH.Radius() + RoundHalfAway(tileSize.h / fColScale) + 2));
    const uint32_t rowBytes =
        RoundUp8(uint32_t(fTileSizeForSource.h), "Arithmetic overflow computing buffer size.");
    fRowBuffers.assign(threadCount, std::vector<uint8_t>(CheckedCount(uint64_t(rowBytes)) * 4));
    dng_filter_task::Start(threadCount, dstArea, tileSize, allocator, sniffer);
}

dng_point dng_resample_task::SrcTileSize(const dng_point&) { return fTileSizeForSource; }

dng_rect dng_resample_task::SrcArea(const dng_rect& dstArea) {
    const int32_t rv = int32_t(fWeightsV.Radius()), rh = int32_t(fWeightsH.Radius());
    return dng_rect((fRowCoords.Coords(dstArea.t)[0] >> 7) - rv + 1,
                    (fColCoords.Coords(dstArea.l)[0] >> 7) - rh + 1,
                    (fRowCoords.Coords(dstArea.b - 1)[0] >> 7) + rv + 1,
                    (fColCoords.Coords(dstArea.r - 1)[0] >> 7) + rh + 1);
}

void dng_resample_task::ProcessArea(uint32_t threadIndex, dng_pixel_buffer& src, dng_pixel_buffer& dst) {
    const dng_rect& srcArea = src.area;
    const dng_rect& dstArea = dst.area;
    const uint32_t srcWidth = srcArea.W();
    const uint32_t dstWidth = dstArea.W();
    const int32_t rv = int32_t(fWeightsV.Radius()), rh = int32_t(fWeightsH.Radius());
    // Column coordinates relative to the row buffer, whose first entry is source column srcArea.l.
    std::vector<int32_t> coords(dstWidth);
    const int32_t* cc = fColCoords.Coords(dstArea.l);
    const int32_t shift = (srcArea.l + rh - 1) * 128;
    for (uint32_t i = 0; i < dstWidth; ++i)
        coords[i] = cc[i] - shift;
    uint8_t* rowBuffer = fRowBuffers[threadIndex].data();
    const bool is16 = fSrcPixelType == ttShort;
    const uint32_t range = fDstImage.PixelRange();
    for (int32_t row = dstArea.t; row < dstArea.b; ++row) {
        const int32_t c = fRowCoords.Coords(row)[0];
        const int32_t firstRow = (c >> 7) + 1 - rv;
        const uint32_t phase = uint32_t(c & 127);
        for (uint32_t p = 0; p < dst.planes; ++p) {
            const uint32_t plane = src.plane + std::min(p, src.planes - 1);
            if (is16) {
                uint16_t* buffer = reinterpret_cast<uint16_t*>(rowBuffer);
                gKernelSuite.SuiteResampleVertical16(src.ConstPixelAs<uint16_t>(firstRow, srcArea.l, plane),
                                                     buffer, srcWidth, src.rowStep,
                                                     fWeightsV.Weights16(phase), fWeightsV.Width(), range);
                gKernelSuite.SuiteResampleHorizontal16(
                    buffer, dst.DirtyPixelAs<uint16_t>(row, dstArea.l, dst.plane + p), dstWidth,
                    coords.data(), fWeightsH.Weights16(0), fWeightsH.Width(), fWeightsH.Step(), range);
            } else {
                float* buffer = reinterpret_cast<float*>(rowBuffer);
                gKernelSuite.SuiteResampleVertical32(src.ConstPixelAs<float>(firstRow, srcArea.l, plane),
                                                     buffer, srcWidth, src.rowStep,
                                                     fWeightsV.Weights32(phase), fWeightsV.Width());
                gKernelSuite.SuiteResampleHorizontal32(
                    buffer, dst.DirtyPixelAs<float>(row, dstArea.l, dst.plane + p), dstWidth, coords.data(),
                    fWeightsH.Weights32(0), fWeightsH.Width(), fWeightsH.Step());
            }
        }
    }
}

void ResampleImage(dng_host& host, const dng_image& srcImage, dng_image& dstImage, const dng_rect& srcArea,
                   const dng_rect& dstArea, const dng_resample_function& kernel) {
    dng_resample_task task(srcImage, dstImage, srcArea, dstArea, kernel);
    host.PerformAreaTask(task, dstArea);
}
