#pragma once
// How the stage-1 raw samples become linear stage-2 samples: the active area, masked areas, an
// optional linearization table, the black level (a repeating pattern plus per-row and
// per-column deltas) and the white level of each plane.
#include "dng/dng_rational.h"
#include "dng/dng_rect.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <memory>

class dng_host;
class dng_image;
class dng_memory_block;
class dng_negative;

class dng_linearization_info : private dng_uncopyable {
  public:
    static constexpr uint32_t kMaxMaskedAreas = 4;
    static constexpr uint32_t kMaxBlackPattern = 8;
    static constexpr uint32_t kMaxPlanes = 4;

    dng_rect fActiveArea;
    uint32_t fMaskedAreaCount = 0;
    dng_rect fMaskedArea[kMaxMaskedAreas];
    // uint16 entries; when present it holds at least one.
    std::unique_ptr<dng_memory_block> fLinearizationTable;
    uint32_t fBlackLevelRepeatRows = 1;
    uint32_t fBlackLevelRepeatCols = 1;
    double fBlackLevel[kMaxBlackPattern][kMaxBlackPattern][kMaxPlanes] = {};
    // One double per active-area column (H) or row (V).
    std::unique_ptr<dng_memory_block> fBlackDeltaH;
    std::unique_ptr<dng_memory_block> fBlackDeltaV;
    double fWhiteLevel[kMaxPlanes] = {65535.0, 65535.0, 65535.0, 65535.0};
    uint32_t fBlackDenom = 256;

    dng_linearization_info();
    virtual ~dng_linearization_info();

    // An empty active area becomes the stage-1 image's bounds.
    virtual void Prepare(dng_host& host, dng_negative& negative);
    // Converts the active area of the stage-1 image into the stage-2 image, which has its size.
    virtual void Linearize(dng_host& host, dng_negative& negative, const dng_image& srcImage,
                           dng_image& dstImage);

    // The largest black the plane reaches anywhere, deltas included.
    double MaxBlackLevel(uint32_t plane) const;
    // Picks a denominator that keeps every black and delta inside 32 bits and rounds them to it.
    void RoundBlacks();

    uint32_t LinearizationTableEntries() const;
    dng_urational BlackLevelRational(uint32_t row, uint32_t col, uint32_t plane) const;
    uint32_t RowDeltaCount() const;
    uint32_t ColumnDeltaCount() const;
    dng_srational RowDeltaRational(uint32_t index) const;
    dng_srational ColumnDeltaRational(uint32_t index) const;
};
