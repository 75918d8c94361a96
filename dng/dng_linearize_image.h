#pragma once
// The area task that turns stage-1 samples into linear stage-2 samples, one plane at a time.
#include "dng/dng_area_task.h"
#include "dng/dng_rect.h"

#include <cstdint>
#include <memory>
#include <vector>

class dng_host;
class dng_image;
class dng_linearization_info;

// One plane's tables: the linearization table and scale folded into one lookup, the black
// pattern and deltas into a 1-D (per row) and a 2-D (per row and column) table.
class dng_linearize_plane {
  public:
    dng_linearize_plane(dng_host& host, const dng_linearization_info& info, uint16_t dstBlackLevel,
                        bool clipBlacks, const dng_image& srcImage, dng_image& dstImage, uint32_t plane);

    // Converts the source tile (in stage-1 coordinates) into the matching destination area.
    void Process(const dng_rect& srcTile);

    bool Real32() const { return fReal32; }
    float Scale() const { return fScale; }
    uint32_t Black1DRows() const { return fBlack1DRows; }
    uint32_t Black2DRows() const { return fBlack2DRows; }
    uint32_t Black2DCols() const { return fBlack2DCols; }
    uint32_t LookupCount() const { return fLookupCount; }
    // Lookup entries as the arithmetic mode holds them: 16-bit, int32 in 1/256, or float.
    const void* Lookup() const { return fLookup.data(); }

  private:
    template <typename S>
    void ProcessSmall(const dng_rect& dstArea, const void* src, int32_t srcRowStep, void* dst,
                      int32_t dstRowStep);
    template <typename S>
    void ProcessWide(const dng_rect& dstArea, const void* src, int32_t srcRowStep, void* dst,
                     int32_t dstRowStep);
    double Black1D(int32_t row) const;
    double Black2D(int32_t row, int32_t col) const;

    const dng_image& fSrcImage;
    dng_image& fDstImage;
    uint32_t fPlane;
    dng_rect fActiveArea;
    uint32_t fSrcPixelType;
    uint32_t fDstPixelType;
    bool fReal32;
    float fScale;
    uint32_t fLookupCount = 0;
    std::vector<uint8_t> fLookup;
    uint32_t fBlack2DRows = 0;
    uint32_t fBlack2DCols = 0;
    std::vector<int32_t> fBlack2DInt;
    std::vector<float> fBlack2DFloat;
    uint32_t fBlack1DRows = 0;
    std::vector<int32_t> fBlack1DInt;
    std::vector<float> fBlack1DFloat;
};

class dng_linearize_image : public dng_area_task {
  public:
    dng_linearize_image(dng_host& host, const dng_linearization_info& info, uint16_t dstBlackLevel,
                        bool clipBlacks, const dng_image& srcImage, dng_image& dstImage);

    const dng_rect& ActiveArea() const { return fActiveArea; }
    dng_linearize_plane& Plane(uint32_t index) { return *fPlanes[index]; }

    void ProcessArea(uint32_t threadIndex, const dng_rect& tile, dng_abort_sniffer* sniffer) override;

  private:
    dng_rect fActiveArea;
    std::vector<std::unique_ptr<dng_linearize_plane>> fPlanes;
};
