#include "dng/CameraProfileManager.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/Log.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace {

platform::Error fileError(const std::error_code& ec, const fs::path& path) {
    return platform::Error{std::string(platform::kPosixErrorDomain), ec.value(),
                           ec.message() + ": " + path.string()};
}

bool isProfileFile(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".dcp";
}

} // namespace

CameraProfileManager& CameraProfileManager::sharedCameraProfileManager() {
    static CameraProfileManager* shared = new CameraProfileManager(); // never freed
    return *shared;
}

std::optional<fs::path> CameraProfileManager::profileDirectory() {
    // Not cached: the application-support folder follows $LUMIVAR_HOME.
    fs::path folder = platform::paths::applicationSupport() / "Profiles";
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return folder;
    if (!fs::create_directories(folder, ec) && !fs::is_directory(folder)) {
        LV_LOG("Could not create directory %s\n%s", folder.c_str(), ec.message().c_str());
        return std::nullopt;
    }
    return folder;
}

CameraProfileManager::ProfileList CameraProfileManager::profileList(bool withAutomatic) {
    ProfileList list;
    if (withAutomatic) list.push_back(DNGCameraProfileAbstract::createAsAutoProfile());
    auto folder = profileDirectory();
    if (!folder) return list;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(*folder, ec)) {
        if (!isProfileFile(entry.path())) continue;
        if (auto profile = DNGCameraProfileAbstract::createFromFile(entry.path())) list.push_back(profile);
    }
    return list;
}

void CameraProfileManager::addProfile(const fs::path& file, platform::Error* error) {
    announce(true);
    auto folder = profileDirectory();
    if (folder && !file.empty()) {
        std::error_code ec;
        fs::copy_file(file, *folder / file.filename(), fs::copy_options::none, ec);
        if (ec && error) *error = fileError(ec, file);
    }
    announce(false);
}

void CameraProfileManager::removeProfile(const DNGCameraProfileAbstract* profile, platform::Error* error) {
    announce(true);
    if (profile && profile->profileURL()) {
        std::error_code ec;
        if (!fs::remove(*profile->profileURL(), ec) && !ec)
            ec = std::make_error_code(std::errc::no_such_file_or_directory);
        if (ec && error) *error = fileError(ec, *profile->profileURL());
    }
    announce(false);
}

int CameraProfileManager::addObserver(ChangeObserver observer) {
    std::scoped_lock lock(observersLock_);
    observers_[nextToken_] = std::move(observer);
    return nextToken_++;
}

void CameraProfileManager::removeObserver(int token) {
    std::scoped_lock lock(observersLock_);
    observers_.erase(token);
}

void CameraProfileManager::announce(bool willChange) {
    std::map<int, ChangeObserver> observers;
    {
        std::scoped_lock lock(observersLock_);
        observers = observers_;
    }
    for (auto& [token, observer] : observers)
        observer(kProfileListKey, willChange);
}
