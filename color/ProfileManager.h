#pragma once
// The process-wide list of ICC profiles (the built-in Photo CD profiles, then the
// installed ones when "ShowExternalProfiles" is on) and the built-in working spaces.
// Installed profiles are the ICC files under $LUMIVAR_HOME/icc when that is set, else
// under $XDG_DATA_HOME/icc (~/.local/share/icc) and /usr/share/color/icc.
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "color/ColorSyncProfileWrap.h"
#include "platform/NotificationCenter.h"

class ProfileManager {
  public:
    using Profile = std::shared_ptr<ColorSyncProfileWrap>;
    using ProfileList = std::vector<Profile>;
    // Called with the changing key and true before the change, false after it.
    using ChangeObserver = std::function<void(std::string_view key, bool willChange)>;

    static constexpr const char* kProfilesKey = "profiles";
    static constexpr const char* kShowExternalProfilesKey = "ShowExternalProfiles";
    static constexpr const char* kSRGBDescription = "sRGB IEC61966-2.1";

    static ProfileManager& sharedManager();
    static std::vector<std::filesystem::path> installedProfileFolders();

    void buildProfilesArray();
    // Every readable profile file of the installed folders, in path order.
    static ProfileList arrayOfAllExternalProfiles();
    ProfileList arrayOfAllProfiles(bool withAutomatic) const;
    ProfileList arrayOfAllProfilesWithSpace(uint32_t space) const;
    // First of arrayOfAllProfiles(true) with that description, ignoring case; null if none.
    // A description an earlier version wrote finds the profile under today's name too.
    Profile findMatchingProfile(std::string_view description) const;

    Profile getProPhotoProfile(unsigned = 0);
    Profile getProPhotoGamma1Profile(unsigned = 0);
    Profile getProPhotoGamma1_D65Profile(unsigned = 0);
    // The listed sRGB profile; the built-in one while none is listed.
    Profile getSRGBProfile(unsigned = 0);
    Profile getSwapedSRGBProfile(unsigned = 0);
    Profile getCCIR709Profile(unsigned = 0);
    Profile getCCIR709Gamma1D50Profile() { return getCCIR709Profile(); }
    Profile getTarnwell2eProfile();
    Profile getTarnwell4eProfile();
    Profile getTarnwell2kProfile();
    Profile getTarnwell4kProfile();
    Profile getTarnwellXnProfile();
    Profile getTarnwellXgProfile();
    Profile getProPhotoPerceptualProfile();
    Profile getProPhotocmRelativeColorimetricProfile();
    Profile getProPhotocmSaturationProfile();
    Profile getProPhotocmAbsoluteColorimetricProfile();
    Profile getPAL_SECAMGamma1Profile();
    Profile getPAL_SECAMGamma22Profile();
    Profile getCCIR709Gamma1Profile();
    Profile getIUT709Profile();
    Profile getRec709Gamma1Profile();

    int addObserver(ChangeObserver observer);
    void removeObserver(int token);

  private:
    ProfileManager() = default;
    // The profile made from `make`'s bytes on first request, kept for the process.
    Profile cached(const std::string& name, const std::function<std::vector<uint8_t>()>& make);
    void announce(bool willChange);

    mutable std::mutex lock_; // the list and the cache are read from several threads
    ProfileList privateProfiles_;
    std::map<std::string, Profile> builtIns_;
    Profile mSRGB_;
    platform::ObserverToken defaultsToken_{};

    std::mutex observersLock_;
    std::map<int, ChangeObserver> observers_;
    int nextToken_ = 1;
};
