#pragma once
// The ICC profiles the application carries in its own data, generated with Little CMS
// from published primaries, whites and tone curves rather than stored as files.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace BuiltinProfiles {

using Bytes = std::vector<uint8_t>;

// The working spaces' descriptions begin with the program's name. Catalogs and presets
// written by earlier versions name them with an earlier prefix; they still find them.
inline constexpr std::string_view kDescriptionPrefix = "Lumivar ";
inline constexpr std::string_view kEarlierDescriptionPrefix = "ZadeDiviv ";
// The description a stored one stands for today.
std::string currentDescription(std::string_view stored);

Bytes linearRGB();
Bytes sRGB();
Bytes proPhoto(); // gamma 1.8, perceptual intent
Bytes proPhotoWithIntent(uint32_t intent, const char* description);
Bytes proPhotoGamma1();
Bytes proPhotoGamma1D65();
Bytes swappedSRGB();
Bytes ccir709Gamma1D50();
Bytes ccir709Gamma1();
Bytes palSecam(double gamma, const char* description);
Bytes itu709();
Bytes rec709Gamma1();

// Photo CD scanner stand-ins: Rec. 709 colorimetry behind the 709 transfer curve, an
// input profile to Lab (film terms) or, for the generic one, to XYZ.
enum class PhotoCD { E2, E4, K2, K4, Xn, Xg };
Bytes photoCD(PhotoCD which);
const char* photoCDDescription(PhotoCD which);

} // namespace BuiltinProfiles
