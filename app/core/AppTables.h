#pragma once
// Tables the document, the editing window and the browser share: the export types, the raw
// file extensions the browser lists, and the user defaults registered at start.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/UserDefaults.h"
#include "platform/Value.h"

namespace app {

inline constexpr std::string_view kTypeJPEG = "public.jpeg";
inline constexpr std::string_view kTypeTIFF = "public.tiff";
inline constexpr std::string_view kTypeDNG = "com.adobe.dng";
inline constexpr std::string_view kTypeOpenEXR = "com.ilm.openexr-image";

// One entry of the export menu; its index is the setting settings::ExportFileType.
struct ExportType {
    std::string_view menuTitle;
    std::string_view typeIdentifier;
    std::string_view extension;
    // What the OpenEXR writer is told: bit 0 float channels (else half), 2 and 3 leave out alpha.
    int exrOutputFormat;
};

inline constexpr std::array<ExportType, 7> kExportTypes{{
    {"JPEG", kTypeJPEG, "jpg", 0},
    {"TIFF", kTypeTIFF, "tif", 0},
    {"DNG", kTypeDNG, "dng", 0},
    {"EXR", kTypeOpenEXR, "exr", 0},
    {"EXR RGB", kTypeOpenEXR, "exr", 2},
    {"EXR 32-bit", kTypeOpenEXR, "exr", 1},
    {"EXR 32-bit RGB", kTypeOpenEXR, "exr", 3},
}};

// The entry of an index; any index outside the menu is JPEG.
const ExportType& exportTypeForIndex(int64_t index);
// The entry of a settings dictionary's (or preset's) export file type; JPEG without one.
const ExportType& exportTypeForSettings(const platform::Dictionary& settings);

// The 39 raw file extensions, lower case, "dng" and "pcd" among them.
std::span<const std::string_view> rawExtensions();
// Compared in lower case; with or without the leading dot.
bool isRawExtension(std::string_view extension);

// The Photo CD resolutions by level, 0 (Base16) to 5 (64Base): the user default
// "ResolutionSelect" and the editing window's resolution sheet.
std::span<const std::string_view> pcdResolutionMenuList();

// The MIME types the program opens, as its desktop entry lists them: the raw formats, and the
// JPEG and TIFF proxies of the external-editor exchange. The open panel offers these.
std::span<const std::string_view> openableMimeTypes();

// The defaults the document controller registers at start (stored values win).
platform::Dictionary applicationDefaults();
void registerApplicationDefaults(platform::UserDefaults& defaults);

} // namespace app
