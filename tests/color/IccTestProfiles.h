#pragma once
// Little CMS helpers for the colour tests: profiles made on the spot, and reading their
// tags back.
#include <lcms2.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "color/ColorSyncProfileWrap.h"

namespace icctest {

struct Closer {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Handle = std::unique_ptr<void, Closer>;

inline Handle open(const std::vector<uint8_t>& bytes) {
    return Handle(cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size())));
}
inline Handle open(ColorSyncProfileWrap& profile) {
    auto bytes = profile.csRef();
    return bytes ? open(*bytes) : nullptr;
}

inline std::string description(cmsHPROFILE profile) {
    char text[256] = {};
    cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
    return text;
}

inline std::vector<uint8_t> save(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    return bytes;
}

// An sRGB-like display profile with the given description (and device class).
inline std::vector<uint8_t> rgbProfile(const std::string& text,
                                       cmsProfileClassSignature cls = cmsSigDisplayClass) {
    Handle profile(cmsCreate_sRGBProfile());
    cmsSetDeviceClass(profile.get(), cls);
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", text.c_str());
    cmsWriteTag(profile.get(), cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
    return save(profile.get());
}

inline std::vector<uint8_t> labProfile() {
    Handle profile(cmsCreateLab4Profile(nullptr));
    return save(profile.get());
}

// Matrix/shaper display profiles made on the spot, each with Rec. 709 primaries and a D65
// white: version 4 with a different parametric curve per channel (types 3, 4 and 5); version
// 2 with 1024-entry tables of the sRGB curve; and one that also carries an A2B0 table, which
// Little CMS converts through instead of the matrix.
std::vector<uint8_t> parametricProfile();
std::vector<uint8_t> tabulatedProfile();
std::vector<uint8_t> matrixShaperWithLut();

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

} // namespace icctest
