#pragma once
// Turns a negative's stage-3 image into a finished image: default crop and size, camera colour
// through linear ProPhoto into the final space, exposure, shadows, tone curve and gamma.
#include "dng/dng_1d_function.h"
#include "dng/dng_1d_table.h"
#include "dng/dng_filter_task.h"
#include "dng/dng_matrix.h"

#include <cstdint>
#include <memory>
#include <vector>

class dng_color_space;
class dng_hue_sat_map;
class dng_host;
class dng_image;
class dng_negative;
class dng_spline_solver;

class dng_function_zero_offset : public dng_1d_function {
  public:
    explicit dng_function_zero_offset(double black) : fBlack(black), fScale(1.0 / (1.0 - black)) {}
    double Evaluate(double x) const override;

  private:
    double fBlack, fScale;
};

// A straight ramp from black to white with a quadratic toe of the given radius around black.
class dng_function_exposure_ramp : public dng_1d_function {
  public:
    dng_function_exposure_ramp(double white, double black, double minBlack);
    double Evaluate(double x) const override;

    double Slope() const { return fSlope; }
    double Radius() const { return fRadius; }

  private:
    double fSlope, fBlack, fRadius, fQScale;
};

// Negative exposure darkens the lower values and keeps white at 1; positive exposure is the
// ramp's job, so this is then the identity.
class dng_function_exposure_tone : public dng_1d_function {
  public:
    explicit dng_function_exposure_tone(double exposure);
    bool IsIdentity() const override { return fIsNOP; }
    double Evaluate(double x) const override;

  private:
    bool fIsNOP;
    double fSlope = 0, fA = 0, fB = 0, fC = 0;
};

// The default tone curve over the one table of this program, in single precision.
class dng_tone_curve_default_function : public dng_1d_function {
  public:
    double Evaluate(double x) const override;
    static const dng_1d_function& Get();
};

class dng_render {
  public:
    dng_render(dng_host& host, const dng_negative& negative);
    virtual ~dng_render();
    dng_render(const dng_render&) = delete;
    dng_render& operator=(const dng_render&) = delete;

    void SetWhiteXY(double x, double y) {
        fWhiteX = x;
        fWhiteY = y;
    }
    double WhiteX() const { return fWhiteX; }
    double WhiteY() const { return fWhiteY; }
    void SetExposure(double exposure) { fExposure = exposure; }
    double Exposure() const { return fExposure; }
    void SetShadows(double shadows) { fShadows = shadows; }
    double Shadows() const { return fShadows; }
    void SetToneCurve(const dng_1d_function& curve) { fToneCurve = &curve; }
    const dng_1d_function& ToneCurve() const { return *fToneCurve; }
    void SetFinalSpace(const dng_color_space& space) { fFinalSpace = &space; }
    const dng_color_space& FinalSpace() const { return *fFinalSpace; }
    void SetFinalPixelType(uint32_t type) { fFinalPixelType = type; }
    uint32_t FinalPixelType() const { return fFinalPixelType; }
    void SetMaximumSize(uint32_t size) { fMaximumSize = size; }
    uint32_t MaximumSize() const { return fMaximumSize; }

    // The final size for the negative's default crop and scale under the maximum size.
    dng_point FinalSize() const;
    // A new image the caller owns.
    virtual dng_image* Render();

  private:
    dng_host& fHost;
    const dng_negative& fNegative;
    double fWhiteX = 0.0, fWhiteY = 0.0;
    double fExposure = 0.0;
    double fShadows = 5.0;
    const dng_1d_function* fToneCurve;
    const dng_color_space* fFinalSpace;
    uint32_t fFinalPixelType = 1;
    uint32_t fMaximumSize = 0;
    std::unique_ptr<dng_spline_solver> fProfileToneCurve;
};

class dng_render_task : public dng_filter_task {
  public:
    dng_render_task(const dng_image& srcImage, const dng_image* srcMask, dng_image& dstImage,
                    const dng_negative& negative, const dng_render& params, const dng_point& srcOffset);
    ~dng_render_task() override;

    dng_rect SrcArea(const dng_rect& dstArea) override;
    void Start(uint32_t threadCount, const dng_rect& dstArea, const dng_point& tileSize,
               dng_memory_allocator* allocator, dng_abort_sniffer* sniffer) override;
    using dng_filter_task::ProcessArea;
    void ProcessArea(uint32_t threadIndex, dng_pixel_buffer& srcBuffer, dng_pixel_buffer& dstBuffer) override;

    const dng_1d_table& ExposureRamp() const { return fExposureRamp; }
    const dng_1d_table& ToneTable() const { return fToneTable; }

  private:
    const dng_image* fSrcMask;
    const dng_negative& fNegative;
    const dng_render& fParams;
    dng_point fSrcOffset;
    dng_1d_table fZeroOffsetRamp;
    dng_1d_table fExposureRamp;
    dng_1d_table fToneTable;
    dng_1d_table fEncodeGamma;
    dng_vector fCameraWhite;
    dng_matrix fCameraToRGB;
    dng_matrix fRGBtoFinal;
    std::unique_ptr<dng_hue_sat_map> fHueSatMap;
    std::unique_ptr<dng_1d_table> fHueSatEncode, fHueSatDecode;
    std::unique_ptr<dng_hue_sat_map> fLookTable;
    std::unique_ptr<dng_1d_table> fLookEncode, fLookDecode;
    std::vector<std::vector<float>> fRowBuffers;
    std::vector<std::vector<float>> fMaskBuffers;
};
