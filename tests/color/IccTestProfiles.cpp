#include "tests/color/IccTestProfiles.h"

#include <cmath>
#include <fstream>

namespace icctest {
namespace {

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr cmsCIExyYTRIPLE kRec709{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};

std::vector<uint8_t> rec709With(cmsToneCurve* const (&curves)[3], double version) {
    Handle profile(cmsCreateRGBProfile(&kD65, &kRec709, const_cast<cmsToneCurve**>(curves)));
    cmsSetProfileVersion(profile.get(), version);
    return save(profile.get());
}

} // namespace

std::vector<uint8_t> parametricProfile() {
    // A toe, (aX + b)^g from X = -b/a; the IEC 61966-2-1 curve; and a type 5 continuous at
    // d (c d = (a d)^g). Each starts at 0.
    const double toe[4] = {2.0, 1.1, -0.1, 0.0};
    const double iec[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    const double type5[7] = {2.0, 0.9, 0.0, 0.0162, 0.02, 0.0, 0.0};
    cmsToneCurve* const curves[3] = {cmsBuildParametricToneCurve(nullptr, 3, toe),
                                     cmsBuildParametricToneCurve(nullptr, 4, iec),
                                     cmsBuildParametricToneCurve(nullptr, 5, type5)};
    auto bytes = rec709With(curves, 4.3);
    for (auto* c : curves)
        cmsFreeToneCurve(c);
    return bytes;
}

std::vector<uint8_t> tabulatedProfile() {
    std::vector<cmsUInt16Number> table(1024);
    for (size_t i = 0; i < table.size(); ++i) {
        const double v = double(i) / double(table.size() - 1);
        const double linear = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        table[i] = cmsUInt16Number(std::lround(linear * 65535.0));
    }
    cmsToneCurve* curve = cmsBuildTabulatedToneCurve16(nullptr, cmsUInt32Number(table.size()), table.data());
    cmsToneCurve* const curves[3] = {curve, curve, curve};
    auto bytes = rec709With(curves, 2.1);
    cmsFreeToneCurve(curve);
    return bytes;
}

std::vector<uint8_t> matrixShaperWithLut() {
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* const curves[3] = {gamma, gamma, gamma};
    Handle profile(cmsCreateRGBProfile(&kD65, &kRec709, const_cast<cmsToneCurve**>(curves)));
    cmsFreeToneCurve(gamma);
    // Device RGB straight to XYZ at half scale: nothing like the colorants.
    const cmsFloat64Number half[9] = {0.5, 0, 0, 0, 0.5, 0, 0, 0, 0.5};
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 3, 3);
    // Curves, matrix, curves: a layout the A-to-B tag type can store.
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocMatrix(nullptr, 3, 3, half, nullptr));
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile.get(), cmsSigAToB0Tag, lut);
    cmsPipelineFree(lut);
    return save(profile.get());
}

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace icctest
