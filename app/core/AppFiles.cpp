#include "app/core/AppFiles.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <system_error>

#include "platform/Log.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace app {
namespace {

bool makeFolder(const fs::path& folder, std::error_code& ec, bool* created) {
    if (fs::is_directory(folder, ec)) return true;
    if (fs::create_directories(folder, ec)) {
        if (created) *created = true;
        return true;
    }
    return fs::is_directory(folder); // made by someone else meanwhile
}

} // namespace

fs::path supportFolderPath(std::string_view name) { return platform::paths::applicationSupport() / name; }

std::optional<fs::path> ensureSupportFolder(const fs::path& folder, bool* created) {
    if (created) *created = false;
    std::error_code ec;
    if (!makeFolder(folder.parent_path(), ec, nullptr)) {
        LV_LOG("Could not access Library directory\n%s", ec.message().c_str());
        return std::nullopt;
    }
    if (!makeFolder(folder, ec, created)) {
        LV_LOG("Could not create directory %s\n%s", folder.c_str(), ec.message().c_str());
        return std::nullopt;
    }
    return folder;
}

std::string lowercase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return lower;
}

std::string lowercaseExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    return lowercase(ext);
}

platform::Error posixError(int err, const std::string& what) {
    return {std::string(platform::kPosixErrorDomain), err, what + ": " + std::strerror(err)};
}

} // namespace app
