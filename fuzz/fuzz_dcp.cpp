// libFuzzer target: arbitrary bytes as a ".dcp" camera profile imported in the profile
// window: the file read as the application reads it, then what the engine asks of a profile
// (its tone and gain tables, the hue/saturation map for a white, the fingerprint).
#include <cstdint>
#include <memory>
#include <vector>

#include "dng/DNGCameraProfileAbstract.h"
#include "dng/dng_camera_profile.h"
#include "dng/dng_hue_sat_map.h"
#include "dng/dng_stream.h"
#include "dng/dng_xy_coord.h"
#include "fuzz/FuzzScratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto file = fuzzing::scratch().write("profile.dcp", data, size);
    const auto profile = DNGCameraProfileAbstract::createFromFile(file);
    if (!profile) return 0;
    (void)profile->displayName();
    std::vector<uint16_t> lut16(257);
    std::vector<float> gains(257);
    profile->generateLUT(lut16.data(), gains.data(), 257, 0.0f, false, true, 1.0f);
    profile->generateLUT(lut16.data(), gains.data(), 257, -1.5f, true, false, 0.5f);

    // The parsed profile is const to its owner; a copy read from the same bytes answers the rest.
    if (size > 0xFFFFFFFFu) return 0;
    dng_stream stream(data, uint32_t(size));
    dng_camera_profile parsed;
    if (!parsed.ReadFromDCPStream(stream)) return 0;
    for (const dng_xy_coord white : {D50_xy_coord(), dng_xy_coord(0.4476, 0.4074), dng_xy_coord(0.28, 0.29)})
        std::unique_ptr<dng_hue_sat_map>(parsed.HueSatMapForWhite(white));
    (void)parsed.Fingerprint();
    return 0;
}
