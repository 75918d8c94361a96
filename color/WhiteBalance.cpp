#include "color/WhiteBalance.h"

#include <cmath>

#include "settings/Reads.h"

XYCoord WhiteBalance::renderingWhite() { return ColorHelper::D65_xy_coord(); }

std::optional<XYCoord> WhiteBalance::asShotWhite(const platform::Dictionary& cameraParameters) {
    const auto x = cameraParameters.find(kAsShotWhiteX), y = cameraParameters.find(kAsShotWhiteY);
    if (x == cameraParameters.end() || y == cameraParameters.end()) return std::nullopt;
    const double wx = x->second.doubleValue(), wy = y->second.doubleValue();
    // y divides; a white outside the chromaticity triangle is no white.
    if (!(wx > 0) || !(wy > 0) || !(wx + wy < 1)) return renderingWhite();
    return XYCoord{float(wx), float(wy)};
}

Matrix3x3 WhiteBalance::renderingAdaptation(const XYCoord& chosen, const XYCoord& asShot) {
    const Matrix3x3 toXYZ = ColorHelper::XYZFromProPhoto();
    Matrix3x3 fromXYZ;
    invert3x3(toXYZ, fromXYZ);
    return multiply3x3(fromXYZ, multiply3x3(ColorHelper::MapWhiteMatrix(chosen, asShot), toXYZ));
}

std::optional<Matrix3x3>
WhiteBalance::adaptationForSettings(const std::optional<platform::Dictionary>& camera,
                                    const platform::Dictionary& values) {
    const XYCoord white = (camera ? asShotWhite(*camera) : std::nullopt).value_or(renderingWhite());
    // The as-shot temperature and tint the document shows: the adaptation starts from them
    // rather than from the recorded white, so that the values it stores give the identity.
    ColorHelper asShot;
    asShot.setFromxyCoord(white[0], white[1]);
    const auto number = [&](const settings::Setting& setting, float fallback) {
        const platform::Value* value = settings::lookup(values, setting);
        if (!value || !value->isNumber()) return fallback;
        const float v = value->floatValue();
        return std::isfinite(v) ? v : fallback;
    };
    ColorHelper chosen;
    chosen.setFTemperature(number(settings::InputTemperature, asShot.fTemperature()));
    chosen.setFTint(number(settings::InputTint, asShot.fTint()));
    if (chosen.fTemperature() == asShot.fTemperature() && chosen.fTint() == asShot.fTint())
        return std::nullopt;
    return renderingAdaptation(chosen.getxyCoord(), asShot.getxyCoord());
}

void WhiteBalance::foldInFront(const Matrix3x3& adaptation, float* matrix) {
    float mixed[12];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) {
            // Row vectors: the adaptation's transpose comes first.
            float sum = 0;
            for (int k = 0; k < 3; ++k)
                sum += adaptation[k][i] * matrix[4 * k + j];
            mixed[4 * i + j] = sum;
        }
    // A filter's factor: each column keeps what it made of a neutral, so the greys of the
    // as-shot rendering keep their level (and their place in the tone table) and only the
    // colours move against them.
    for (int j = 0; j < 4; ++j) {
        const float before = matrix[j] + matrix[4 + j] + matrix[8 + j];
        const float after = mixed[j] + mixed[4 + j] + mixed[8 + j];
        const float factor = after > 0 && before > 0 ? before / after : 1.0f;
        if (!std::isfinite(factor)) continue;
        for (int i = 0; i < 3; ++i)
            matrix[4 * i + j] = mixed[4 * i + j] * factor;
    }
}
