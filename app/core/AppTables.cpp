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
