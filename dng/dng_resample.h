#pragma once
// Separable resampling of one image area into another: a vertical pass into a row buffer, then
// a horizontal pass, with weights precomputed for 128 sub-pixel phases.
#include "dng/dng_filter_task.h"
#include "dng/dng_rect.h"

#include <cstdint>
#include <memory>
#include <vector>

class dng_host;
class dng_image;

class dng_resample_function {
  public:
    virtual ~dng_resample_function() = default;
    // Half the kernel's width.
    virtual double Extent() const = 0;
    virtual double Evaluate(double x) const = 0;
};

// Cubic convolution with a = -0.75.
class dng_resample_bicubic : public dng_resample_function {
  public:
    double Extent() const override { return 2.0; }
    double Evaluate(double x) const override;
    static const dng_resample_function& Get();
};

// Source positions of the destination positions, in 1/128 pixel.
class dng_resample_coords {
  public:
    virtual ~dng_resample_coords() = default;
    void Initialize(int32_t srcOrigin, int32_t dstOrigin, uint32_t srcCount, uint32_t dstCount);
    // The coordinates from destination position `pos` on.
    const int32_t* Coords(int32_t pos) const { return fCoords.data() + (pos - fOrigin); }

  private:
    int32_t fOrigin = 0;
    std::vector<int32_t> fCoords;
};

class dng_resample_weights {
  public:
    static constexpr uint32_t kPhases = 128;

    virtual ~dng_resample_weights() = default;
    void Initialize(double scale, const dng_resample_function& kernel);

    uint32_t Radius() const { return fRadius; }
    uint32_t Width() const { return 2 * fRadius; }
    uint32_t Step() const { return fWeightStep; }
    const float* Weights32(uint32_t phase) const { return fWeights32.data() + size_t(phase) * fWeightStep; }
    const int16_t* Weights16(uint32_t phase) const { return fWeights16.data() + size_t(phase) * fWeightStep; }

  private:
    uint32_t fRadius = 0;
    uint32_t fWeightStep = 0;
    std::vector<float> fWeights32;
    std::vector<int16_t> fWeights16;
};

// Weights of a square neighbourhood for 32 x 32 phases, for warps.
class dng_resample_weights_2d {
  public:
    static constexpr uint32_t kPhases = 32;

    virtual ~dng_resample_weights_2d() = default;
    void Initialize(const dng_resample_function& kernel);

    uint32_t Radius() const { return fRadius; }
    uint32_t Width() const { return 2 * fRadius; }
    uint32_t RowStep() const { return fRowStep; }
    uint32_t ColStep() const { return fColStep; }
    const float* Weights32(uint32_t y, uint32_t x) const { return fWeights32.data() + Offset(y, x); }
    const int16_t* Weights16(uint32_t y, uint32_t x) const { return fWeights16.data() + Offset(y, x); }

  private:
    size_t Offset(uint32_t y, uint32_t x) const { return size_t(y) * fRowStep + size_t(x) * fColStep; }
    uint32_t fRadius = 0;
    uint32_t fRowStep = 0;
    uint32_t fColStep = 0;
    std::vector<float> fWeights32;
    std::vector<int16_t> fWeights16;
};

class dng_resample_task : public dng_filter_task {
  public:
    dng_resample_task(const dng_image& srcImage, dng_image& dstImage, const dng_rect& srcBounds,
                      const dng_rect& dstBounds, const dng_resample_function& kernel);

    void Start(uint32_t threadCount, const dng_rect& dstArea, const dng_point& tileSize,
               dng_memory_allocator* allocator, dng_abort_sniffer* sniffer) override;
    dng_rect SrcArea(const dng_rect& dstArea) override;
    dng_point SrcTileSize(const dng_point& tileSize) override;
    using dng_filter_task::ProcessArea;
    void ProcessArea(uint32_t threadIndex, dng_pixel_buffer& srcBuffer, dng_pixel_buffer& dstBuffer) override;

    const dng_resample_weights& RowWeights() const { return fWeightsV; }
    const dng_resample_weights& ColumnWeights() const { return fWeightsH; }
    const dng_resample_coords& RowCoords() const { return fRowCoords; }

  private:
    dng_rect fSrcBounds;
    dng_rect fDstBounds;
    const dng_resample_function& fKernel;
    double fRowScale;
    double fColScale;
    dng_resample_coords fRowCoords;
    dng_resample_coords fColCoords;
    dng_resample_weights fWeightsV;
    dng_resample_weights fWeightsH;
    dng_point fTileSizeForSource;
    std::vector<std::vector<uint8_t>> fRowBuffers;
};

// Resamples `srcArea` of the source into `dstArea` of the destination through the host's
// area-task runner.
void ResampleImage(dng_host& host, const dng_image& srcImage, dng_image& dstImage, const dng_rect& srcArea,
                   const dng_rect& dstArea, const dng_resample_function& kernel);
