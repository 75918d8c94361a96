#include "color/ComputeMatrixAndLUT.h"

#include <algorithm>
#include <cmath>

#include "color/WhiteBalance.h"
#include "dng/dng_tone_curve_acr3_default.h"
#include "engine/core/ImageBufferF32.h"
#include "settings/Reads.h"

namespace {

float kneeCurve(float a, float f) { return std::log(a * f + 1.0f) / f; }

} // namespace

float ComputeMatrixAndLUT::setting(const settings::Setting& setting, float fallback) const {
    return settings::number(*imageParameters_, setting, fallback);
}

bool ComputeMatrixAndLUT::populateFloatLUTAndMatrix(ImageBufferF32* lut, float* matrix, float* outputOffset,
                                                    float* kneeLow, float* kneeF) {
    if (!imageParameters_ || !cameraParameters_ || !matrix || !lut || !outputOffset || !kneeLow || !kneeF)
        return false;
    // One entry would put x = 0 / 0 into every gain.
    if (lut->imageWidth() < 2 || lut->imageHeight() < 1 || !lut->bufferFloatForRow(0)) return false;
    computeKnee(*kneeLow, *kneeF);
    computeMatrix(matrix);
    computeTable(*lut, *outputOffset);
    return true;
}

float ComputeMatrixAndLUT::solveKnee(float a, float b) {
    // The left side falls from a (at f -> 0) towards 0, so only 0 < b < a has a root;
    // anything else would double hi without end or settle on f = 0.
    if (!(a > 0) || !(b > 0) || !(b < a)) return -1.0f;
    float lo = 0, hi = 1;
    if (b < kneeCurve(a, 1.0f)) {
        for (int n = 0; n < 120 && kneeCurve(a, 2 * hi) > b; ++n)
            hi *= 2;
        lo = hi;
        hi *= 2;
    }
    for (int n = 0; n < 30; ++n) {
        const float mid = (lo + hi) / 2;
        if (b > kneeCurve(a, mid))
            hi = mid;
        else
            lo = mid;
    }
    return (lo + hi) / 2;
}

void ComputeMatrixAndLUT::computeKnee(float& kneeLow, float& kneeF) const {
    kneeLow = 0;
    kneeF = -1;
    const platform::Value* low = settings::lookup(*imageParameters_, settings::InputKneeLow);
    const platform::Value* high = settings::lookup(*imageParameters_, settings::InputKneeHigh);
    if (!enableCinematic_ || !low || !high) return;
    const float lowLevel = std::exp2(low->floatValue());
    kneeLow = lowLevel;
    kneeF = solveKnee(std::exp2(high->floatValue()) - lowLevel, kKneeTarget - lowLevel);
}

void ComputeMatrixAndLUT::computeMatrix(float* matrix) {
    if (!haveBaseline_) {
        const auto it = cameraParameters_->find(kCameraBaselineExposure);
        if (it != cameraParameters_->end()) baselineExposure_ = it->second.floatValue();
        haveBaseline_ = true;
    }
    const bool maintainWhites = settings::flag(*imageParameters_, settings::MaintainWhites);
    // A negative baseline under maintain-whites is left to the profile's gain curve.
    const float baseline = (baselineExposure_ > 0 || !maintainWhites) ? baselineExposure_ : 0.0f;
    const float gain = std::exp2(setting(settings::InputEV, 0) + baseline);

    const float yh = 0.5f * setting(settings::MonochromeYellow, 1) + 0.5f;
    const float ch = 0.5f * setting(settings::MonochromeCyan, 1) + 0.5f;
    const float weight[3] = {2 * setting(settings::MonochromeRed, 1) * yh - 1,
                             2 * setting(settings::MonochromeGreen, 1) * yh * ch - 1,
                             2 * setting(settings::MonochromeBlue, 1) * ch - 1};
    const float sum = weight[0] + weight[1] + weight[2];
    // Tone-table index 4096 (0.3 R + 0.6 G + 0.1 B), in the alpha slot.
    const float indexColumn[3] = {1228.8f, 2457.6f, 409.6f};
    for (int i = 0; i < 3; ++i) {
        // Weights cancelling to 0 would divide by zero; fall back to an even mix.
        const float mix = sum != 0 && std::isfinite(sum) ? weight[i] * gain / sum : gain / 3;
        for (int j = 0; j < 3; ++j)
            matrix[4 * i + j] = mix;
        matrix[4 * i + 3] = indexColumn[i];
    }
    std::fill(matrix + 12, matrix + 16, 0.0f);
    // White balance weighs the colours before they are mixed.
    if (const auto adaptation = WhiteBalance::adaptationForSettings(cameraParameters_, *imageParameters_))
        WhiteBalance::foldInFront(*adaptation, matrix);
}

void ComputeMatrixAndLUT::computeTable(ImageBufferF32& lut, float& outputOffset) const {
    const int width = lut.imageWidth();
    float* px = lut.bufferFloatForRow(0);
    const float kc = std::exp2(setting(settings::InputContrast, 0));
    const float kf = std::exp2(setting(settings::InputFillLight, 0));
    const float br = setting(settings::InputBrightness, 0);
    const float hl = setting(settings::InputHighLight, 0);
    for (int i = 0; i < width; ++i) {
        const float x = float(i) / float(width - 1);
        const float m = std::sqrt(std::max((x - 0.0625f) * kc + 0.0625f, 0.0f));
        float o = m + (dng_tone_curve_acr3_default::valueAt(m) - m) * m * br;
        if (o < 0.353f) o = o * (m * (1 - kf) / 0.353f + kf);
        o = o + (dng_tone_curve_acr3_default::valueForNormalizedRange(o, 0.25f, 1.0f) - o) * o * hl;
        px[4 * i] = o * o;
        px[4 * i + 1] = x;
    }
    if (width >= 16) {
        // Flatten the shadows below W/8 so that the table never falls from there on.
        const int pivot = width / 8;
        float v = px[4 * pivot];
        for (int i = pivot - 1; i >= 1; --i)
            v = px[4 * i] = std::min(px[4 * i], v);
        v = px[4 * pivot];
        for (int i = pivot - 1; i < width; ++i)
            v = px[4 * i] = std::max(px[4 * i], v);
    }
    outputOffset = px[0];
    px[0] = px[1] = px[2] = px[3] = 1.0f;
    for (int i = 1; i < width; ++i) {
        const float q = (px[4 * i] - outputOffset) / px[4 * i + 1];
        px[4 * i] = px[4 * i + 1] = px[4 * i + 2] = q;
        px[4 * i + 3] = 1.0f;
    }
}
