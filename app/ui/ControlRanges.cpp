#include "app/ui/ControlRanges.h"

#include "app/core/Keys.h"

const std::vector<ControlRange>& controlRanges() {
    using namespace app::keys;
    static const std::vector<ControlRange> table{
        {InputEV, -5.0, 5.0},
        {InputContrast, -2.0, 2.0},
        {InputBrightness, -1.0, 1.0},
        {InputFillLight, -2.0, 2.0},
        {InputHighLight, -1.0, 1.0},
        {InputSaturation, 0.0, 2.0},
        {InputKneeLow, -2.0, 3.5},
        {InputKneeHigh, 0.0, 8.0},
        {MonochromeRed, 0.0, 2.0},
        {MonochromeYellow, 0.0, 2.0},
        {MonochromeGreen, 0.0, 2.0},
        {MonochromeCyan, 0.0, 2.0},
        {MonochromeBlue, 0.0, 2.0},
        {InputRadius, 0.05, 4.0},
        {InputIntensity, 0.0, 4.0},
        {InputTemperature, 1000.0, 14000.0},
        {InputTint, -150.0, 150.0},
        {EttrAdjust, -2.0, 2.0},
        {ToneCurveAdjust, 0.0, 1.0},
        {ArtifactSuppression, 0.0, 1.0},
        {ChromaArtifactSuppression, 0.0, 1.0},
        {ArtifactFilter, 0.0, 1.0},
        {JPEGQuality, 0.0, 10.0},
    };
    return table;
}

std::optional<ControlRange> controlRangeForKey(std::string_view key) {
    for (const auto& range : controlRanges())
        if (range.key == key) return range;
    return std::nullopt;
}
