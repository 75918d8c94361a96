#include "color/BuiltinProfiles.h"

#include <lcms2.h>

#include <cmath>
#include <memory>

namespace BuiltinProfiles {
namespace {

// Chromaticities from the published standards: ROMM RGB (ISO 22028-2), ITU-R BT.709 and
// EBU Tech. 3213 (PAL/SECAM); whites are CIE D50 and D65.
constexpr cmsCIExyY kD50{0.3457, 0.3585, 1.0};
constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr cmsCIExyYTRIPLE kProPhoto{{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}};
constexpr cmsCIExyYTRIPLE kRec709{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
constexpr cmsCIExyYTRIPLE kPalSecam{{0.64, 0.33, 1.0}, {0.29, 0.60, 1.0}, {0.15, 0.06, 1.0}};

// Code value to linear light as ICC parametric curves of type 4:
// Y = (aX + b)^g for X >= d, else cX. BT.709-5 inverted, and IEC 61966-2-1.
constexpr double kRec709Curve[5] = {1.0 / 0.45, 1.0 / 1.099, 0.099 / 1.099, 1.0 / 4.5, 0.081};
constexpr double kSRGBCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};

struct ProfileDeleter {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileDeleter>;

struct CurveDeleter {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveDeleter>;

Curve gammaCurve(double gamma) { return Curve(cmsBuildGamma(nullptr, gamma)); }
Curve parametricCurve(const double (&params)[5]) {
    return Curve(cmsBuildParametricToneCurve(nullptr, 4, params));
}

void writeText(cmsHPROFILE profile, cmsTagSignature tag, const char* text) {
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", text);
    cmsWriteTag(profile, tag, mlu);
    cmsMLUfree(mlu);
}

cmsCIEXYZ toXYZ(const cmsCIExyY& xyY) {
    cmsCIEXYZ xyz;
    cmsxyY2XYZ(&xyz, &xyY);
    return xyz;
}

Bytes save(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile, nullptr, &size) || size == 0) return {};
    Bytes bytes(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) return {};
    bytes.resize(size);
    return bytes;
}

struct RGBSpace {
    const char* description;
    cmsCIExyY white;
    cmsCIExyYTRIPLE primaries;
    cmsToneCurve* curve;
    double version = 2.1;
    cmsUInt32Number intent = INTENT_PERCEPTUAL;
};

// Colorants are adapted to the D50 connection space (Bradford); the media white stays
// the space's own, with the adaptation recorded in the chad tag.
Profile rgbProfile(const RGBSpace& space) {
    cmsToneCurve* curves[3] = {space.curve, space.curve, space.curve};
    Profile profile(cmsCreateRGBProfile(&space.white, &space.primaries, curves));
    if (!profile) return nullptr;
    cmsHPROFILE p = profile.get();
    cmsSetProfileVersion(p, space.version);
    cmsSetDeviceClass(p, cmsSigDisplayClass);
    cmsSetHeaderRenderingIntent(p, space.intent);
    cmsCIEXYZ white = toXYZ(space.white);
    cmsWriteTag(p, cmsSigMediaWhitePointTag, &white);
    writeText(p, cmsSigProfileDescriptionTag, space.description);
    writeText(p, cmsSigCopyrightTag, "No copyright, use freely");
    return profile;
}

Bytes rgb(const RGBSpace& space) { return save(rgbProfile(space).get()); }

Bytes withGamma(const char* description, const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries,
                double gamma) {
    auto curve = gammaCurve(gamma);
    return rgb({description, white, primaries, curve.get()});
}

// Rec. 709 code value to linear light.
double rec709Linear(double v) { return v < 0.081 ? v / 4.5 : std::pow((v + 0.099) / 1.099, 1.0 / 0.45); }

int sampleLab(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
    auto* toD50 = static_cast<cmsHTRANSFORM>(cargo);
    double rgbLinear[3];
    for (int i = 0; i < 3; ++i)
        rgbLinear[i] = rec709Linear(in[i] / 65535.0);
    cmsCIEXYZ xyz;
    cmsDoTransform(toD50, rgbLinear, &xyz, 1);
    cmsCIELab lab;
    cmsXYZ2Lab(cmsD50_XYZ(), &lab, &xyz);
    cmsFloat2LabEncoded(out, &lab);
    return 1;
}

// An input profile whose A2B0 is a 17-point grid from 709 code values to Lab.
Profile labInputProfile() {
    auto linear = gammaCurve(1.0);
    Profile linear709 = rgbProfile({"", kD65, kRec709, linear.get()});
    Profile xyzProfile(cmsCreateXYZProfile());
    cmsHTRANSFORM toD50 = cmsCreateTransform(linear709.get(), TYPE_RGB_DBL, xyzProfile.get(), TYPE_XYZ_DBL,
                                             INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
    if (!toD50) return nullptr;
    Profile profile(cmsCreateProfilePlaceholder(nullptr));
    cmsHPROFILE p = profile.get();
    cmsSetProfileVersion(p, 4.3);
    cmsSetDeviceClass(p, cmsSigInputClass);
    cmsSetColorSpace(p, cmsSigRgbData);
    cmsSetPCS(p, cmsSigLabData);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 3, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 17, 3, 3, nullptr);
    cmsStageSampleCLut16bit(clut, sampleLab, toD50, 0);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsPipelineInsertStage(lut, cmsAT_END, clut);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(p, cmsSigAToB0Tag, lut);
    cmsPipelineFree(lut);
    cmsDeleteTransform(toD50);
    cmsCIEXYZ white = *cmsD50_XYZ();
    cmsWriteTag(p, cmsSigMediaWhitePointTag, &white);
    return profile;
}

// The generic profile: matrix and 4096-entry 709 tone curves to XYZ.
Profile xyzInputProfile() {
    std::vector<cmsUInt16Number> table(4096);
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = cmsUInt16Number(std::lround(rec709Linear(double(i) / 4095.0) * 65535.0));
    Curve curve(cmsBuildTabulatedToneCurve16(nullptr, cmsUInt32Number(table.size()), table.data()));
    Profile profile = rgbProfile({"", kD65, kRec709, curve.get()});
    if (profile) cmsSetDeviceClass(profile.get(), cmsSigInputClass);
    return profile;
}

} // namespace

Bytes linearRGB() {
    auto linear = gammaCurve(1.0);
    Profile profile = rgbProfile({"Linear RGB Profile", kD65, kRec709, linear.get(), 2.2});
    if (!profile) return {};
    // The colorants and white are given as XYZ values, not derived from chromaticities.
    const cmsCIEXYZ red{0.45427, 0.24263, 0.01482}, green{0.35332, 0.67441, 0.09042},
        blue{0.15662, 0.08336, 0.71953}, white{0.95047, 1.0, 1.0891};
    cmsWriteTag(profile.get(), cmsSigRedColorantTag, &red);
    cmsWriteTag(profile.get(), cmsSigGreenColorantTag, &green);
    cmsWriteTag(profile.get(), cmsSigBlueColorantTag, &blue);
    cmsWriteTag(profile.get(), cmsSigMediaWhitePointTag, &white);
    return save(profile.get());
}

Bytes sRGB() {
    auto curve = parametricCurve(kSRGBCurve);
    return rgb({"sRGB IEC61966-2.1", kD65, kRec709, curve.get()});
}

Bytes proPhotoWithIntent(uint32_t intent, const char* description) {
    auto curve = gammaCurve(1.8);
    return rgb({description, kD50, kProPhoto, curve.get(), 2.1, intent});
}

Bytes proPhoto() { return proPhotoWithIntent(INTENT_PERCEPTUAL, "Lumivar ProPhoto Perceptual"); }

Bytes proPhotoGamma1() { return withGamma("Lumivar ProPhoto Gamma 1", kD50, kProPhoto, 1.0); }

Bytes proPhotoGamma1D65() { return withGamma("Lumivar ProPhoto Gamma 1", kD65, kProPhoto, 1.0); }

Bytes swappedSRGB() { return withGamma("Lumivar swapped sRGB", kD65, kRec709, 2.2); }

Bytes ccir709Gamma1D50() { return withGamma("Lumivar CCIR Rec 709 Gamma 1.0 D50", kD50, kRec709, 1.0); }

Bytes ccir709Gamma1() { return withGamma("Lumivar CCIR Rec 709 Gamma 1.0", kD65, kRec709, 1.0); }

Bytes palSecam(double gamma, const char* description) {
    return withGamma(description, kD65, kPalSecam, gamma);
}

Bytes itu709() {
    auto curve = parametricCurve(kRec709Curve);
    return rgb({"Rec. ITU-R BT.709-5", kD65, kRec709, curve.get(), 4.3});
}

Bytes rec709Gamma1() { return withGamma("Rec 709 Gamma 1", kD65, kRec709, 1.0); }

std::string currentDescription(std::string_view stored) {
    if (!stored.starts_with(kEarlierDescriptionPrefix)) return std::string(stored);
    return std::string(kDescriptionPrefix) + std::string(stored.substr(kEarlierDescriptionPrefix.size()));
}

const char* photoCDDescription(PhotoCD which) {
    switch (which) {
    case PhotoCD::E2:
        return "E-6, Pre-4 series scanner";
    case PhotoCD::E4:
        return "E-6, 4 Series scanner";
    case PhotoCD::K2:
        return "Kodachrome, Pre-4 series scanner";
    case PhotoCD::K4:
        return "Kodachrome, 4 Series scanner";
    case PhotoCD::Xn:
        return "Negative, all scanners";
    case PhotoCD::Xg:
        return "Generic PCD";
    }
    return "";
}

Bytes photoCD(PhotoCD which) {
    Profile profile = which == PhotoCD::Xg ? xyzInputProfile() : labInputProfile();
    if (!profile) return {};
    writeText(profile.get(), cmsSigProfileDescriptionTag, photoCDDescription(which));
    writeText(profile.get(), cmsSigCopyrightTag, "No copyright, use freely");
    return save(profile.get());
}

} // namespace BuiltinProfiles
