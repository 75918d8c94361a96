#pragma once
// The image adjustments that the engine's filters declare as scalar attributes, so that a
// filter chain can be driven by the adjustment settings of that name (settings::FilterPrefix).
#include <vector>

#include "platform/ImageFilter.h"

inline std::vector<platform::FilterAttribute> adjustmentAttributes() {
    using A = platform::FilterAttribute;
    return {A::scalar("inputEV", 0, -10, 10),       A::scalar("inputSaturation", 1, 0, 4),
            A::scalar("inputBrightness", 0, -1, 1), A::scalar("inputContrast", 0, -2, 2),
            A::scalar("inputAngle", 0, -180, 180),  A::scalar("inputTemperature", 6500, 2000, 50000),
            A::scalar("inputTint", 0, -150, 150)};
}
