#pragma once
// Folds the white balance, the monochrome mix, exposure, contrast, brightness, fill light,
// highlight and the highlight knee of one image's settings into what the output stage
// applies per pixel: a 4 x 4 matrix, a tone table of gains with a black offset, and the
// knee parameters.
#include <optional>

#include "platform/Value.h"
#include "settings/Schema.h"

class ImageBufferF32;

class ComputeMatrixAndLUT {
  public:
    static constexpr const char* kInputEV = settings::InputEV.c_str();
    static constexpr const char* kInputBrightness = settings::InputBrightness.c_str();
    static constexpr const char* kInputContrast = settings::InputContrast.c_str();
    static constexpr const char* kInputFillLight = settings::InputFillLight.c_str();
    static constexpr const char* kInputHighLight = settings::InputHighLight.c_str();
    static constexpr const char* kInputKneeLow = settings::InputKneeLow.c_str();
    static constexpr const char* kInputKneeHigh = settings::InputKneeHigh.c_str();
    static constexpr const char* kMonochromeRed = settings::MonochromeRed.c_str();
    static constexpr const char* kMonochromeYellow = settings::MonochromeYellow.c_str();
    static constexpr const char* kMonochromeGreen = settings::MonochromeGreen.c_str();
    static constexpr const char* kMonochromeCyan = settings::MonochromeCyan.c_str();
    static constexpr const char* kMonochromeBlue = settings::MonochromeBlue.c_str();
    static constexpr const char* kMaintainWhites = settings::MaintainWhites.c_str();
    static constexpr const char* kCameraBaselineExposure = "cameraBaselineExposure";

    // The knee maps 2^KneeHigh times 18 % grey onto 2^3.5 times 18 % grey.
    static constexpr float kKneeTarget = 11.313708f;

    const std::optional<platform::Dictionary>& cameraParameters() const { return cameraParameters_; }
    void setCameraParameters(std::optional<platform::Dictionary> p) { cameraParameters_ = std::move(p); }
    const std::optional<platform::Dictionary>& imageParameters() const { return imageParameters_; }
    void setImageParameters(std::optional<platform::Dictionary> p) { imageParameters_ = std::move(p); }
    bool enableCinematic() const { return enableCinematic_; }
    void setEnableCinematic(bool on) { enableCinematic_ = on; }

    // Fills the table (W x 1, W >= 2), the 16 matrix values (row by row) and the three
    // results. False, with nothing written, when an input or output is missing.
    bool populateFloatLUTAndMatrix(ImageBufferF32* lut, float* matrix, float* outputOffset, float* kneeLow,
                                   float* kneeF);

    // The f with ln(a f + 1) / f = b, by doubling then 30 bisections; -1 when there is
    // none (a or b not positive, or b at least a, the limit of the left side at f = 0).
    static float solveKnee(float a, float b);

  private:
    float setting(const settings::Setting& setting, float fallback) const;
    void computeKnee(float& kneeLow, float& kneeF) const;
    void computeMatrix(float* matrix);
    void computeTable(ImageBufferF32& lut, float& outputOffset) const;

    std::optional<platform::Dictionary> cameraParameters_;
    std::optional<platform::Dictionary> imageParameters_;
    bool haveBaseline_ = false;
    float baselineExposure_ = 0;
    bool enableCinematic_ = false;
};
