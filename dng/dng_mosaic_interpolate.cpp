// Demosaicing: bilinear pattern kernels at full size, block means when scaling down.
#include "KernelSuite.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_filter_task.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_matrix.h"
#include "dng/dng_mosaic_info.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_safe_arithmetic.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int32_t kPieceSize = 128;
constexpr int32_t kMaxFactor = 64;

int32_t RoundHalfAway(double x) { return int32_t(x < 0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5)); }

int32_t Mod(int32_t x, int32_t n) { return ((x % n) + n) % n; }

} // namespace

// ---- Sizes.

uint32_t dng_mosaic_info::SizeForDownScale(const dng_point& factor) const {
    const int32_t v = std::max(1, (fCroppedSize.v + factor.v / 2) / std::max(factor.v, 1));
    const int32_t h = std::max(1, (fCroppedSize.h + factor.h / 2) / std::max(factor.h, 1));
    return uint32_t(std::max(v, h));
}

bool dng_mosaic_info::IsValidDownScale(const dng_point& factor, uint32_t minSize) const {
    if (factor.v > kMaxFactor || factor.h > kMaxFactor) return false;
    return SizeForDownScale(factor) >= minSize;
}

bool dng_mosaic_info::IsSafeDownScale(const dng_point& factor) const {
    const int32_t rows = fCFAPatternSize.v, cols = fCFAPatternSize.h;
    if (factor.v >= rows && factor.h >= cols) return true;
    for (int32_t r0 = 0; r0 < rows; ++r0)
        for (int32_t c0 = 0; c0 < cols; ++c0)
            for (uint32_t p = 0; p < fColorPlanes; ++p) {
                bool found = false;
                for (int32_t r = 0; r < factor.v && !found; ++r)
                    for (int32_t c = 0; c < factor.h && !found; ++c)
                        found = fCFAPattern[(r0 + r) % rows][(c0 + c) % cols] == fCFAPlaneColor[p];
                if (!found) return false;
            }
    return true;
}

dng_point dng_mosaic_info::DownScaleFactor(uint32_t minSize, uint32_t prefSize, double cropFactor) const {
    const dng_point one(1, 1);
    if (prefSize == 0 || !IsColorFilterArray()) return one;
    if (!(cropFactor > 0.0)) cropFactor = 1.0;
    auto toSize = [&](uint32_t size) {
        const double x = size / cropFactor + 0.5;
        return x < 0 ? 0u : uint32_t(std::min(x, 4294967295.0));
    };
    const uint32_t minimum = toSize(minSize);
    const uint32_t preferred = std::max(toSize(prefSize), minimum);
    dng_point step(1, 1);
    if (fAspectRatio < 5.0 / 9.0) step.h = std::min(4, RoundHalfAway(1.0 / fAspectRatio));
    if (fAspectRatio > 1.8) step.v = std::min(4, RoundHalfAway(fAspectRatio));
    auto distance = [&](const dng_point& f) {
        return std::llabs(int64_t(SizeForDownScale(f)) - int64_t(preferred));
    };

    dng_point best = one;
    dng_point test = step;
    // Each search advances by a whole step and ends once the factor exceeds what is valid.
    for (;;) {
        while (!IsSafeDownScale(test)) {
            test = dng_point(test.v + step.v, test.h + step.h);
            if (test.v > kMaxFactor || test.h > kMaxFactor) return best;
        }
        if (!IsValidDownScale(test, minimum)) return best;
        if (distance(test) > distance(best)) return best;
        best = test;
        test = dng_point(test.v + step.v, test.h + step.h);
    }
}

dng_point dng_mosaic_info::DestinationSize(const dng_point& factor) const {
    if (factor == dng_point(1, 1)) {
        const dng_point scale = FullScale();
        return dng_point(fSrcSize.v * scale.v, fSrcSize.h * scale.h);
    }
    if (factor.v > kMaxFactor || factor.h > kMaxFactor || factor.v < 1 || factor.h < 1)
        return dng_point(0, 0);
    return dng_point(std::max(1, (fSrcSize.v + factor.v / 2) / factor.v),
                     std::max(1, (fSrcSize.h + factor.h / 2) / factor.h));
}

// ---- Full-size interpolation.

void dng_mosaic_info::InterpolatePattern(dng_host& host, const dng_image& srcImage, dng_image& dstImage,
                                         uint32_t srcPlane) {
    if (fCFALayout != 1) ThrowBadFormat("Staggered CFA layouts are not read");
    ValidatePattern();
    const int32_t patRows = fCFAPatternSize.v, patCols = fCFAPatternSize.h;
    const dng_rect dstBounds = dstImage.Bounds();
    const int32_t tileRows = std::min<int32_t>(int32_t(dstBounds.H()), kPieceSize);
    const int32_t tileCols = std::min<int32_t>(int32_t(dstBounds.W()), kPieceSize);
    if (tileRows <= 0 || tileCols <= 0) return;
    const uint32_t srcType = srcImage.PixelType();
    const uint32_t dstType = dstImage.PixelType();
    if (srcType != dstType || (dstType != ttShort && dstType != ttFloat))
        ThrowProgramError("Mosaic images of these pixel types");
    const uint32_t planes = std::min(fColorPlanes, dstImage.Planes());

    const int32_t srcRowStep = tileCols + 2 * patCols;
    const int32_t srcRows = tileRows + 2 * patRows;
    const uint32_t sampleSize = TagTypeSize(srcType);
    std::vector<uint8_t> srcData(size_t(srcRowStep) * srcRows * sampleSize);
    std::vector<uint8_t> dstData(size_t(tileCols) * tileRows * planes * sampleSize);

    // Kernels per plane and pattern cell, in source-buffer elements.
    struct Cell {
        std::vector<dng_pattern_kernel> kernels;
        std::vector<uint32_t> counts;
        std::vector<const int32_t*> offsets;
        std::vector<const uint16_t*> weights16;
        std::vector<const float*> weights32;
    };
    std::vector<Cell> cells(size_t(planes) * patRows);
    for (uint32_t p = 0; p < planes; ++p)
        for (int32_t r = 0; r < patRows; ++r) {
            Cell& cell = cells[size_t(p) * patRows + r];
            cell.kernels.reserve(size_t(patCols));
            for (int32_t c = 0; c < patCols; ++c) {
                dng_pattern_kernel k = PatternKernel(p, r, c);
                k.Finalize(dng_point(1, 1), uint32_t(r), uint32_t(c), srcRowStep, 1);
                cell.kernels.push_back(k);
            }
            for (const dng_pattern_kernel& k : cell.kernels) {
                cell.counts.push_back(k.fCount);
                cell.offsets.push_back(k.fOffset);
                cell.weights16.push_back(k.fWeight16);
                cell.weights32.push_back(k.fWeight32);
            }
        }

    for (int32_t top = dstBounds.t; top < dstBounds.b; top += kPieceSize)
        for (int32_t left = dstBounds.l; left < dstBounds.r; left += kPieceSize) {
            host.SniffForAbort();
            const dng_rect piece(top, left, std::min(top + kPieceSize, dstBounds.b),
                                 std::min(left + kPieceSize, dstBounds.r));
            const dng_rect srcArea(piece.t - patRows, piece.l - patCols, piece.b + patRows,
                                   piece.r + patCols);
            dng_pixel_buffer src(srcArea, srcPlane, 1, srcType, dng_pixel_buffer::interleaved,
                                 srcData.data());
            src.rowStep = srcRowStep;
            srcImage.Get(src, dng_image::edge_repeat, uint32_t(patRows), uint32_t(patCols));

            const int32_t rowStep = int32_t(piece.W());
            const int32_t planeStep = rowStep * int32_t(piece.H());
            const uint32_t phase = uint32_t(Mod(piece.l, patCols));
            for (int32_t i = piece.t; i < piece.b; ++i) {
                const int64_t srcIndex = int64_t(i - srcArea.t) * srcRowStep + (piece.l - srcArea.l);
                for (uint32_t p = 0; p < planes; ++p) {
                    const Cell& cell = cells[size_t(p) * patRows + Mod(i, patRows)];
                    const int64_t dstIndex = int64_t(p) * planeStep + int64_t(i - piece.t) * rowStep;
                    if (dstType == ttShort)
                        gKernelSuite.SuiteInterpolateRow16(
                            reinterpret_cast<const uint16_t*>(srcData.data()) + srcIndex,
                            reinterpret_cast<uint16_t*>(dstData.data()) + dstIndex, piece.W(), phase,
                            uint32_t(patCols), cell.counts.data(), cell.offsets.data(), cell.weights16.data(),
                            0);
                    else
                        gKernelSuite.SuiteInterpolateRow32(
                            reinterpret_cast<const float*>(srcData.data()) + srcIndex,
                            reinterpret_cast<float*>(dstData.data()) + dstIndex, piece.W(), phase,
                            uint32_t(patCols), cell.counts.data(), cell.offsets.data(), cell.weights32.data(),
                            0);
                }
            }
            dng_pixel_buffer dst(piece, 0, planes, dstType, dng_pixel_buffer::planar, dstData.data());
            dstImage.Put(dst);
        }
}

// ---- Block means.

namespace {

class dng_fast_interpolator : public dng_filter_task {
  public:
    dng_fast_interpolator(const dng_mosaic_info& info, const dng_image& srcImage, dng_image& dstImage,
                          const dng_point& downScale, uint32_t srcPlane)
        : dng_filter_task("dng_fast_interpolator", srcImage, dstImage), fInfo(info), fDownScale(downScale) {
        fSrcPlane = srcPlane;
        fSrcPlanes = 1;
        fSrcPixelType = ttShort;
        fDstPixelType = ttShort;
        fSrcRepeat = info.fCFAPatternSize;
        fUnitCell = info.fCFAPatternSize;
        fMaxTileSize = dng_point(std::max(info.fCFAPatternSize.v, 256 / downScale.v),
                                 std::max(info.fCFAPatternSize.h, 256 / downScale.h));
        for (int32_t r = 0; r < info.fCFAPatternSize.v; ++r)
            for (int32_t c = 0; c < info.fCFAPatternSize.h; ++c) {
                fPlaneOf[r][c] = 255;
                for (uint32_t p = 0; p < info.fColorPlanes; ++p)
                    if (info.fCFAPattern[r][c] == info.fCFAPlaneColor[p]) fPlaneOf[r][c] = uint8_t(p);
            }
    }

    dng_rect SrcArea(const dng_rect& dstArea) override {
        return dng_rect(dstArea.t * fDownScale.v, dstArea.l * fDownScale.h, dstArea.b * fDownScale.v,
                        dstArea.r * fDownScale.h);
    }

    using dng_filter_task::ProcessArea;
    void ProcessArea(uint32_t, dng_pixel_buffer& src, dng_pixel_buffer& dst) override {
        const int32_t rows = fInfo.fCFAPatternSize.v, cols = fInfo.fCFAPatternSize.h;
        const uint32_t planes = std::min<uint32_t>(fInfo.fColorPlanes, dst.planes);
        for (int32_t y = dst.area.t; y < dst.area.b; ++y)
            for (int32_t x = dst.area.l; x < dst.area.r; ++x) {
                uint32_t sum[4] = {}, count[4] = {};
                for (int32_t r = y * fDownScale.v; r < (y + 1) * fDownScale.v; ++r)
                    for (int32_t c = x * fDownScale.h; c < (x + 1) * fDownScale.h; ++c) {
                        const uint8_t p = fPlaneOf[Mod(r, rows)][Mod(c, cols)];
                        if (p >= 4) continue;
                        sum[p] += *src.ConstPixelAs<uint16_t>(r, c, src.plane);
                        ++count[p];
                    }
                for (uint32_t p = 0; p < planes; ++p) {
                    const uint32_t n = std::max(count[p], 1u);
                    *dst.DirtyPixelAs<uint16_t>(y, x, dst.plane + p) = uint16_t((n / 2 + sum[p]) / n);
                }
            }
    }

  private:
    const dng_mosaic_info& fInfo;
    dng_point fDownScale;
    uint8_t fPlaneOf[dng_mosaic_info::kMaxCFAPattern][dng_mosaic_info::kMaxCFAPattern] = {};
};

} // namespace

void dng_mosaic_info::InterpolateFast(dng_host& host, const dng_image& srcImage, dng_image& dstImage,
                                      const dng_point& downScale, uint32_t srcPlane) {
    ValidatePattern();
    dng_fast_interpolator task(*this, srcImage, dstImage, downScale, srcPlane);
    host.PerformAreaTask(task, dstImage.Bounds());
}

void dng_mosaic_info::Interpolate(dng_host& host, dng_negative&, const dng_image& srcImage,
                                  dng_image& dstImage, const dng_point& downScale, uint32_t srcPlane,
                                  std::vector<dng_matrix>* scaleMatrices) {
    if (downScale == dng_point(1, 1)) {
        InterpolatePattern(host, srcImage, dstImage, srcPlane);
        return;
    }
    InterpolateFast(host, srcImage, dstImage, downScale, srcPlane);
    if (scaleMatrices) {
        scaleMatrices->clear();
        for (uint32_t p = 0; p < dstImage.Planes(); ++p) {
            dng_matrix m(3, 3);
            m[0][0] = 1.0 / downScale.v;
            m[1][1] = 1.0 / downScale.h;
            m[2][2] = 1.0;
            scaleMatrices->push_back(m);
        }
    }
}
