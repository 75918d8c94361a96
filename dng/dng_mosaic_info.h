#pragma once
// The colour filter array of a one-plane mosaic image: its repeat pattern of colour keys, the
// colour of each plane and the layout of the cells.
#include "dng/dng_point.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>

class dng_host;
class dng_negative;

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

    // Fails with the bad-format code unless the pattern fits its table and every colour
    // plane's key occurs in it, which the searches for neighbouring keys rely on.
    void ValidatePattern() const;
};
