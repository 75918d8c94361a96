#include "app/core/AppFiles.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
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

std::string utcTime() {
    std::time_t t = std::chrono::system_clock::to_time_t(platform::Clock::now());
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &tm);
    return text;
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

std::optional<fs::path> setDamagedFileAside(const fs::path& file, std::string_view kind,
                                            const std::string& reason, const void* sender,
                                            platform::Error* error) {
    const std::string what(kind);
    // Readers often lead their reason with the file's path, which is told apart.
    std::string why = reason;
    if (const std::string lead = file.string() + ": "; why.starts_with(lead)) why.erase(0, lead.size());
    const std::string base = file.string() + ".damaged-" + utcTime();
    fs::path aside = base;
    std::error_code ec;
    for (int n = 2; fs::exists(aside, ec) && n < 1000; ++n)
        aside = base + "-" + std::to_string(n);
    if (::rename(file.c_str(), aside.c_str()) != 0) {
        platform::fail(
            error, posixError(errno, "Could not set the damaged " + what + " " + file.string() + " aside"));
        return std::nullopt;
    }
    LV_LOG("The %s %s could not be read (%s); it was set aside as %s", what.c_str(), file.c_str(),
           why.c_str(), aside.c_str());
    platform::NotificationCenter::defaultCenter().post(
        platform::notification::UserDataSetAside, sender,
        {{"kind", what}, {"file", file.string()}, {"aside", aside.string()}, {"reason", why}});
    return aside;
}

platform::Error posixError(int err, const std::string& what) {
    return {std::string(platform::kPosixErrorDomain), err, what + ": " + std::strerror(err)};
}

} // namespace app
