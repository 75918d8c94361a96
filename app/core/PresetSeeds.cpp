#include "app/core/PresetSeeds.h"

#include <string>

#include "app/core/Keys.h"

namespace app {

// Each preset starts from the one before it, so they differ only where listed. None holds
// white balance, crop, orientation or profiles: applying one keeps the document's own.
std::vector<platform::Dictionary> seededPresets() {
    using namespace keys;
    auto set = [](platform::Dictionary& d, std::string_view key, platform::Value v) {
        d[std::string(key)] = v;
    };
    platform::Dictionary zeroed;
    set(zeroed, DisplayName, "Zero'd");
    set(zeroed, InputSaturation, 1.0);
    set(zeroed, InputRadius, 0.8);
    set(zeroed, InputIntensity, 0.0);
    for (auto key : {InputEV, InputContrast, InputBrightness, InputFillLight, InputHighLight})
        set(zeroed, key, 0.0);
    set(zeroed, InputKneeHigh, 3.5);
    set(zeroed, InputKneeLow, 0.0);
    set(zeroed, InputAngle, 0.0);
    for (auto key : {SceneReferred, MaintainWhites, MonochromeSensor, IRUVSensor})
        set(zeroed, key, false);
    set(zeroed, ArtifactSuppression, 1.0);
    set(zeroed, ChromaArtifactSuppression, 1.0);
    set(zeroed, EttrAdjust, 0.0);
    set(zeroed, ToneCurveAdjust, 1.0);
    set(zeroed, ArtifactFilter, 0.0);
    for (auto key : {MonochromeRed, MonochromeYellow, MonochromeGreen, MonochromeCyan, MonochromeBlue})
        set(zeroed, key, 1.0);

    platform::Dictionary standard = zeroed;
    set(standard, DisplayName, "Default");
    set(standard, InputIntensity, 1.0);
    set(standard, SceneReferred, true);
    set(standard, MaintainWhites, true);
    set(standard, ExportFileType, 0);
    set(standard, JPEGQuality, 10.0);

    platform::Dictionary tiff = standard;
    set(tiff, DisplayName, "Default TIFF export");
    set(tiff, ExportFileType, 1);
    return {zeroed, standard, tiff};
}

} // namespace app
