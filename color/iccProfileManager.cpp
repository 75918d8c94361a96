#include "color/iccProfileManager.h"

#include "platform/Log.h"

iccProfileManager& iccProfileManager::sharediccProfileManager() {
    static iccProfileManager* shared = new iccProfileManager(); // never freed
    return *shared;
}

ProfileManager::ProfileList iccProfileManager::profileList(bool withAutomatic) const {
    return ProfileManager::sharedManager().arrayOfAllProfiles(withAutomatic);
}

bool iccProfileManager::addProfile(const std::filesystem::path&, platform::Error*) {
    LV_LOG("ERROR : invalid function call %s", "-[iccProfileManager addProfile:error:]");
    return false;
}

void iccProfileManager::iterateProfiles() {
    LV_LOG("ERROR : invalid function call %s", "-[iccProfileManager iterateProfiles]");
}
