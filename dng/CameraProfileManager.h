#pragma once
// The user's camera-profile folder ("Profiles" under the application-support folder):
// lists its DCP files and copies profiles in and out. Observers of the key
// "profileListForMenu" hear before and after every change.
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "dng/DNGCameraProfileAbstract.h"
#include "platform/Error.h"

class CameraProfileManager {
  public:
    using ProfileList = std::vector<std::shared_ptr<DNGCameraProfileAbstract>>;
    // Called with the changing key and true before the change, false after it.
    using ChangeObserver = std::function<void(std::string_view key, bool willChange)>;

    static constexpr const char* kProfileListKey = "profileListForMenu";

    static CameraProfileManager& sharedCameraProfileManager();
    // The profile folder, created when missing; nullopt when it cannot be made.
    static std::optional<std::filesystem::path> profileDirectory();

    // Rereads the folder: one profile per readable ".dcp" file (any case), in listing
    // order; with the automatic profile first when asked.
    ProfileList profileList(bool withAutomatic);
    ProfileList profileListForMenu() { return profileList(true); }

    // Copies the file into the profile folder under its own name.
    void addProfile(const std::filesystem::path& file, platform::Error* error);
    // Deletes the profile's file.
    void removeProfile(const DNGCameraProfileAbstract* profile, platform::Error* error);

    int addObserver(ChangeObserver observer);
    void removeObserver(int token);

  private:
    CameraProfileManager() = default;
    void announce(bool willChange);

    std::mutex observersLock_;
    std::map<int, ChangeObserver> observers_;
    int nextToken_ = 1;
};
