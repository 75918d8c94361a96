#pragma once
// The colour filter array of a one-plane mosaic image: its repeat pattern of colour keys, the
// colour of each plane and the layout of the cells.
#include "dng/dng_point.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <vector>

class dng_host;
class dng_image;
class dng_matrix;
class dng_negative;

// The weights of the mosaic samples around one destination pixel of one colour plane, with
// offsets in source pixels (rows, columns) relative to that pixel.
class dng_pattern_kernel {
  public:
    static constexpr uint32_t kMaxCount = 8;

    uint32_t fCount = 0;
    dng_point fDelta[kMaxCount];
    float fWeight32[kMaxCount] = {};
    // Set by Finalize: weights in 1/256 that sum to exactly 256, and offsets in buffer elements.
    uint16_t fWeight16[kMaxCount] = {};
    int32_t fOffset[kMaxCount] = {};

    // A weight at an offset already held adds to it; weights not above 0 are dropped.
    void Add(const dng_point& delta, float weight);
    // For the cell (patRow, patCol) of a pattern read at `scale` (rows or columns 2 halve offsets).
    void Finalize(const dng_point& scale, uint32_t patRow, uint32_t patCol, int32_t rowStep, int32_t colStep);
};

class dng_mosaic_info : private dng_uncopyable {
  public:
    static constexpr uint32_t kMaxCFAPattern = 8;
    static constexpr uint32_t kMaxColorPlanes = 4;

    // Rows (v) and columns (h) of the repeat pattern; 0 x 0 means no mosaic.
    dng_point fCFAPatternSize;
    uint8_t fCFAPattern[kMaxCFAPattern][kMaxCFAPattern] = {};
    uint32_t fColorPlanes = 0;
    uint8_t fCFAPlaneColor[kMaxColorPlanes] = {};
    // 1 rectangular; 2 to 9 the staggered and doubled layouts.
    uint32_t fCFALayout = 1;
    uint32_t fBayerGreenSplit = 0;
    // The stage-2 size and the default crop size, set from the negative before interpolating.
    dng_point fSrcSize;
    dng_point fCroppedSize;
    double fAspectRatio = 1.0;

    dng_mosaic_info() = default;
    virtual ~dng_mosaic_info() = default;

    bool IsColorFilterArray() const { return fCFAPatternSize != dng_point(0, 0); }

    virtual void PrepareFromNegative(dng_host& host, dng_negative& negative);
    // Would give the second green of a 2 x 2 Bayer pattern a plane of its own; this program
    // keeps three-colour mosaics and answers that it did not.
    virtual bool SplitGreen() { return false; }
    // Rows and columns of destination pixels per source pixel for the layout.
    virtual dng_point FullScale() const;

    // The factor that brings the cropped size nearest the preferred size without going below the
    // minimum; (1, 1) without a preferred size.
    virtual dng_point DownScaleFactor(uint32_t minSize, uint32_t prefSize, double cropFactor) const;
    // The stage-3 size for a factor; (0, 0) for a factor no interpolator takes.
    virtual dng_point DestinationSize(const dng_point& factor) const;
    // Whether every block of the factor's size holds every colour plane's key.
    virtual bool IsSafeDownScale(const dng_point& factor) const;
    virtual bool IsValidDownScale(const dng_point& factor, uint32_t minSize) const;
    uint32_t SizeForDownScale(const dng_point& factor) const;

    // Full size through the pattern kernels, any other factor by block means.
    virtual void Interpolate(dng_host& host, dng_negative& negative, const dng_image& srcImage,
                             dng_image& dstImage, const dng_point& downScale, uint32_t srcPlane,
                             std::vector<dng_matrix>* scaleMatrices);
    virtual void InterpolatePattern(dng_host& host, const dng_image& srcImage, dng_image& dstImage,
                                    uint32_t srcPlane);
    virtual void InterpolateFast(dng_host& host, const dng_image& srcImage, dng_image& dstImage,
                                 const dng_point& downScale, uint32_t srcPlane);

    // Fails with the bad-format code unless the pattern fits its table and every colour
    // plane's key occurs in it, which the searches for neighbouring keys rely on.
    void ValidatePattern() const;

    // The bilinear kernel of the plane at pattern cell (row, col), before finalisation.
    dng_pattern_kernel PatternKernel(uint32_t plane, int32_t row, int32_t col) const;

  private:
    bool HasKey(uint8_t key, int32_t row, int32_t col) const;
    bool RowHasKey(uint8_t key, int32_t row) const;
    bool ColumnHasKey(uint8_t key, int32_t col) const;
    void AddGeneralKernel(dng_pattern_kernel& kernel, uint8_t key, int32_t row, int32_t col) const;
};
