#include "app/core/AppTables.h"

#include <algorithm>
#include <string>

#include "app/core/AppFiles.h"
#include "app/core/Keys.h"

namespace app {
namespace {

constexpr std::array<std::string_view, 39> kRawExtensions{
    "3fr", "ari", "arw", "srf", "sr2", "arq", "bay", "crw", "cr2", "cr3", "cap", "iiq", "eip",
    "dcs", "dcr", "drf", "k25", "kdc", "dng", "erf", "fff", "mef", "mos", "mrw", "nef", "nrw",
    "orf", "pef", "ptx", "pxn", "r3d", "raf", "raw", "rw2", "rwl", "rwz", "srw", "x3f", "pcd",
};

} // namespace

const ExportType& exportTypeForIndex(int64_t index) {
    if (index < 0 || index >= int64_t(kExportTypes.size())) return kExportTypes[0];
    return kExportTypes[size_t(index)];
}

const ExportType& exportTypeForSettings(const platform::Dictionary& settings) {
    auto it = settings.find(std::string(keys::ExportFileType));
    if (it == settings.end()) return kExportTypes[0];
    return exportTypeForIndex(it->second.int64Value());
}

std::span<const std::string_view> rawExtensions() { return kRawExtensions; }

std::span<const std::string_view> pcdResolutionMenuList() {
    static constexpr std::array<std::string_view, 6> list{"Base16 (128 × 192)",   "Base4 (256 × 384)",
                                                          "Base (512 × 768)",     "4Base (1024 × 1536)",
                                                          "16Base (2048 × 3072)", "64Base (4096 × 6144)"};
    return list;
}

std::span<const std::string_view> openableMimeTypes() {
    static constexpr std::array<std::string_view, 21> types{
        "image/jpeg",         "image/tiff",          "image/x-adobe-dng",    "image/x-canon-crw",
        "image/x-canon-cr2",  "image/x-canon-cr3",   "image/x-fuji-raf",     "image/x-kodak-dcr",
        "image/x-kodak-k25",  "image/x-kodak-kdc",   "image/x-minolta-mrw",  "image/x-nikon-nef",
        "image/x-nikon-nrw",  "image/x-olympus-orf", "image/x-panasonic-rw", "image/x-panasonic-rw2",
        "image/x-pentax-pef", "image/x-sony-srf",    "image/x-sony-sr2",     "image/x-sony-arw",
        "image/x-photo-cd"};
    return types;
}

bool isRawExtension(std::string_view extension) {
    if (extension.starts_with('.')) extension.remove_prefix(1);
    const std::string lower = lowercase(extension);
    return std::find(kRawExtensions.begin(), kRawExtensions.end(), lower) != kRawExtensions.end();
}

platform::Dictionary applicationDefaults() {
    using namespace defaults;
    return {
        {std::string(ShowSplashScreen), true},         {std::string(ShowPopoverHelp), true},
        {std::string(ShowOnlyPCDFiles), false},        {std::string(ResolutionSelect), 4},
        {std::string(AutomaticColorProfile), true},    {std::string(UseAdvancedInterpolation), true},
        {std::string(ShowExternalProfiles), true},     {std::string(DisableFrameBuffer), false},
        {std::string(DisableImageCache), false},       {std::string(DisableFastScreenUpdates), false},
        {std::string(BrowserFileSelect), 1},           {std::string(EnableNewPV), true},
        {std::string(EnableHighQualityDisplay), true}, {std::string(SilentlyOverwrite), false},
        {std::string(EnableCinematic), true},
    };
}

void registerApplicationDefaults(platform::UserDefaults& defaults) {
    defaults.registerDefaults(applicationDefaults());
}

} // namespace app
