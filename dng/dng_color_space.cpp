#include "dng/dng_color_space.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_function_GammaEncode_sRGB.h"
#include "dng/dng_xy_coord.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <memory>

const dng_1d_function& dng_color_space::GammaFunction() const { return dng_1d_identity::Get(); }

bool dng_color_space::ICCProfile(uint32_t& size, const uint8_t*& data) const {
    size = 0;
    data = nullptr;
    return false;
}

void dng_color_space::SetMatrixToPCS(const dng_matrix_3by3& primaries) {
    const dng_vector_3 white = D50_XYZ();
    dng_matrix_3by3 m(primaries);
    for (uint32_t row = 0; row < 3; ++row) {
        const double sum = m[row][0] + m[row][1] + m[row][2];
        for (uint32_t col = 0; col < 3; ++col)
            m[row][col] *= white[row] / sum;
    }
    fMatrixToPCS = m;
    fMatrixFromPCS = Invert(m);
}

void dng_color_space::SetMonochrome() {
    fMatrixToPCS = D50_XYZ().AsColumn();
    fMatrixFromPCS = dng_matrix(1, 3);
    fMatrixFromPCS[0][1] = 1.0;
}

namespace {

struct ProfileCloser {
    void operator()(void* h) const { cmsCloseProfile(h); }
};
struct CurveFreer {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
struct MluFreer {
    void operator()(cmsMLU* m) const { cmsMLUfree(m); }
};

cmsCIEXYZ ToCIE(double X, double Y, double Z) { return cmsCIEXYZ{X, Y, Z}; }

bool WriteText(cmsHPROFILE h, cmsTagSignature sig, const char* text) {
    std::unique_ptr<cmsMLU, MluFreer> mlu(cmsMLUalloc(nullptr, 1));
    return mlu && cmsMLUsetASCII(mlu.get(), "en", "US", text) && cmsWriteTag(h, sig, mlu.get());
}

// The decoding curve a profile's TRC holds: a single gamma when one is given, else a
// table sampled from the space's own encoding curve.
cmsToneCurve* BuildCurve(const dng_1d_function& encode, uint32_t entries) {
    if (const auto* power = dynamic_cast<const dng_function_GammaEncode_power*>(&encode))
        // The file keeps u8.8 fixed point, which the writer would truncate (1.8 to 0x01CC).
        return cmsBuildGamma(nullptr, std::round(power->Gamma() * 256.0) / 256.0);
    std::vector<cmsUInt16Number> table(entries);
    for (uint32_t i = 0; i < entries; ++i) {
        const double y = encode.EvaluateInverse(double(i) / double(entries - 1));
        table[i] = cmsUInt16Number(std::lround(std::clamp(y, 0.0, 1.0) * 65535.0));
    }
    return cmsBuildTabulatedToneCurve16(nullptr, entries, table.data());
}

bool WriteMatrixAndCurves(cmsHPROFILE h, const dng_matrix& toPCS, cmsToneCurve* curve) {
    if (toPCS.Cols() == 1) return cmsWriteTag(h, cmsSigGrayTRCTag, curve);
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                          cmsSigBlueColorantTag};
    for (uint32_t c = 0; c < 3; ++c) {
        cmsCIEXYZ xyz = ToCIE(toPCS[0][c], toPCS[1][c], toPCS[2][c]);
        if (!cmsWriteTag(h, colorants[c], &xyz)) return false;
    }
    // One stored curve shared by the three channels keeps a tabulated profile small.
    return cmsWriteTag(h, cmsSigRedTRCTag, curve) && cmsLinkTag(h, cmsSigGreenTRCTag, cmsSigRedTRCTag) &&
           cmsLinkTag(h, cmsSigBlueTRCTag, cmsSigRedTRCTag);
}

} // namespace

void dng_profiled_color_space::BuildProfile(const char* description, uint32_t curveEntries) {
    std::unique_ptr<void, ProfileCloser> h(cmsCreateProfilePlaceholder(nullptr));
    std::unique_ptr<cmsToneCurve, CurveFreer> curve(BuildCurve(GammaFunction(), curveEntries));
    if (!h || !curve) ThrowMemoryFull("colour space profile");
    cmsSetProfileVersion(h.get(), 2.1);
    cmsSetDeviceClass(h.get(), cmsSigDisplayClass);
    cmsSetColorSpace(h.get(), IsMonochrome() ? cmsSigGrayData : cmsSigRgbData);
    cmsSetPCS(h.get(), cmsSigXYZData);
    const dng_vector_3 d50 = D50_XYZ();
    cmsCIEXYZ white = ToCIE(d50[0], d50[1], d50[2]);
    cmsUInt32Number bytes = 0;
    const bool ok = WriteText(h.get(), cmsSigProfileDescriptionTag, description) &&
                    WriteText(h.get(), cmsSigCopyrightTag, "Public domain") &&
                    cmsWriteTag(h.get(), cmsSigMediaWhitePointTag, &white) &&
                    WriteMatrixAndCurves(h.get(), MatrixToPCS(), curve.get()) &&
                    cmsSaveProfileToMem(h.get(), nullptr, &bytes);
    if (!ok || bytes == 0) ThrowMemoryFull("colour space profile");
    fProfile.resize(bytes);
    if (!cmsSaveProfileToMem(h.get(), fProfile.data(), &bytes)) ThrowMemoryFull("colour space profile");
    fProfile.resize(bytes);
}

bool dng_profiled_color_space::ICCProfile(uint32_t& size, const uint8_t*& data) const {
    size = uint32_t(fProfile.size());
    data = fProfile.empty() ? nullptr : fProfile.data();
    return !fProfile.empty();
}

dng_space_sRGB::dng_space_sRGB() {
    SetMatrixToPCS(dng_matrix_3by3(0.4361, 0.3851, 0.1431, 0.2225, 0.7169, 0.0606, 0.0139, 0.0971, 0.7141));
    BuildProfile("sRGB IEC61966-2.1", 1024);
}

const dng_1d_function& dng_space_sRGB::GammaFunction() const { return dng_function_GammaEncode_sRGB::Get(); }

const dng_color_space& dng_space_sRGB::Get() {
    static const dng_space_sRGB space;
    return space;
}

dng_space_ProPhoto::dng_space_ProPhoto() {
    SetMatrixToPCS(dng_matrix_3by3(0.7977, 0.1352, 0.0313, 0.2880, 0.7119, 0.0001, 0.0, 0.0, 0.8249));
    BuildProfile("ProPhoto RGB", 0);
}

const dng_1d_function& dng_space_ProPhoto::GammaFunction() const {
    return dng_function_GammaEncode_1_8::Get();
}

const dng_color_space& dng_space_ProPhoto::Get() {
    static const dng_space_ProPhoto space;
    return space;
}

dng_space_GrayGamma22::dng_space_GrayGamma22() {
    SetMonochrome();
    BuildProfile("Gray Gamma 2.2", 0);
}

const dng_1d_function& dng_space_GrayGamma22::GammaFunction() const {
    return dng_function_GammaEncode_2_2::Get();
}

const dng_color_space& dng_space_GrayGamma22::Get() {
    static const dng_space_GrayGamma22 space;
    return space;
}

dng_function_GammaEncode_power::dng_function_GammaEncode_power(double gamma, double x0)
    : fGamma(gamma), fX0(x0), fY0(std::pow(x0, 1.0 / gamma)) {}

double dng_function_GammaEncode_power::Evaluate(double x) const {
    if (x > fX0) return std::pow(x, 1.0 / fGamma);
    // Hermite segment from (0, 0) with slope 32 to (x0, y0) with the power curve's slope.
    const double t = x / fX0;
    const double t2 = t * t, t3 = t2 * t;
    const double endSlope = fY0 / (fGamma * fX0);
    return (t3 - 2.0 * t2 + t) * fX0 * 32.0 + (3.0 * t2 - 2.0 * t3) * fY0 + (t3 - t2) * fX0 * endSlope;
}

double dng_function_GammaEncode_power::EvaluateInverse(double y) const {
    // A negative value has no real power, and the toe starts at zero.
    if (y <= 0.0) return 0.0;
    if (y < fY0) return dng_1d_function::EvaluateInverse(y);
    return std::pow(y, fGamma);
}

const dng_1d_function& dng_function_GammaEncode_1_8::Get() {
    static const dng_function_GammaEncode_1_8 function;
    return function;
}

const dng_1d_function& dng_function_GammaEncode_2_2::Get() {
    static const dng_function_GammaEncode_2_2 function;
    return function;
}
