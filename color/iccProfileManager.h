#pragma once
// The ICC profile list for menus, with the same interface as the camera-profile manager
// so that a profile window can work with either. ICC profiles cannot be added here.
#include <filesystem>
#include <optional>

#include "color/ProfileManager.h"
#include "platform/Error.h"

class iccProfileManager {
  public:
    static constexpr const char* kProfileListKey = "profileListForMenu";

    static iccProfileManager& sharediccProfileManager();

    ProfileManager::ProfileList profileList(bool withAutomatic) const;
    ProfileManager::ProfileList profileListForMenu() const { return profileList(true); }
    static std::optional<std::filesystem::path> profileDirectory() { return std::nullopt; }
    bool addProfile(const std::filesystem::path& file, platform::Error* error);
    void iterateProfiles();

  private:
    iccProfileManager() = default;
};
