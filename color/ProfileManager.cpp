#include "color/ProfileManager.h"

#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <strings.h>
#include <system_error>

#include "color/BuiltinProfiles.h"
#include "platform/UserDefaults.h"

namespace fs = std::filesystem;
using PhotoCD = BuiltinProfiles::PhotoCD;

namespace {

bool equalsIgnoringCase(const std::string& a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool listable(ColorSyncProfileWrap& profile) {
    using W = ColorSyncProfileWrap;
    const uint32_t space = profile.spaceType(), cls = profile.classType();
    const bool spaceOk =
        space == W::kSpaceRGB || space == W::kSpaceGray || space == W::kSpaceCMYK || space == W::kSpace3CLR;
    const bool classOk = cls == W::kClassDisplay || cls == W::kClassOutput || cls == W::kClassInput ||
                         cls == W::kClassColorSpace;
    return spaceOk && classOk && !profile.description().empty();
}

fs::path dataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "") / ".local" / "share";
}

} // namespace

ProfileManager& ProfileManager::sharedManager() {
    static ProfileManager* shared = [] {
        auto* manager = new ProfileManager(); // never freed
        manager->buildProfilesArray();
        manager->defaultsToken_ = platform::UserDefaults::standard().addObserver(
            kShowExternalProfilesKey,
            [manager](const platform::Value&, const platform::Value&) { manager->buildProfilesArray(); });
        return manager;
    }();
    return *shared;
}

std::vector<fs::path> ProfileManager::installedProfileFolders() {
    if (const char* home = std::getenv("LUMIVAR_HOME"); home && *home) return {fs::path(home) / "icc"};
    return {dataHome() / "icc", "/usr/share/color/icc"};
}

ProfileManager::ProfileList ProfileManager::arrayOfAllExternalProfiles() {
    std::vector<fs::path> files;
    for (const auto& folder : installedProfileFolders()) {
        std::error_code ec;
        fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
        for (; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    ProfileList list;
    for (const auto& file : files)
        if (auto record = ColorSyncProfileWrap::iterateDataForFile(file))
            list.push_back(ColorSyncProfileWrap::createWithIterateData(*record));
    return list;
}

void ProfileManager::buildProfilesArray() {
    announce(true);
    ProfileList list{getTarnwell2eProfile(), getTarnwell4eProfile(), getTarnwell2kProfile(),
                     getTarnwell4kProfile(), getTarnwellXnProfile(), getTarnwellXgProfile()};
    list.erase(std::remove(list.begin(), list.end(), nullptr), list.end());
    if (platform::UserDefaults::standard().boolForKey(kShowExternalProfilesKey))
        for (auto& profile : arrayOfAllExternalProfiles())
            if (listable(*profile)) list.push_back(profile);
    {
        std::scoped_lock guard(lock_);
        privateProfiles_ = std::move(list);
    }
    announce(false);
}

ProfileManager::ProfileList ProfileManager::arrayOfAllProfiles(bool withAutomatic) const {
    ProfileList list;
    if (withAutomatic) list.push_back(ColorSyncProfileWrap::createAsAutoProfile());
    std::scoped_lock guard(lock_);
    list.insert(list.end(), privateProfiles_.begin(), privateProfiles_.end());
    return list;
}

ProfileManager::ProfileList ProfileManager::arrayOfAllProfilesWithSpace(uint32_t space) const {
    ProfileList list;
    for (auto& profile : arrayOfAllProfiles(false)) {
        const uint32_t cls = profile->classType();
        if (profile->spaceType() == space && !profile->description().empty() &&
            (cls == ColorSyncProfileWrap::kClassDisplay || cls == ColorSyncProfileWrap::kClassOutput))
            list.push_back(profile);
    }
    return list;
}

ProfileManager::Profile ProfileManager::findMatchingProfile(std::string_view description) const {
    const std::string current = BuiltinProfiles::currentDescription(description);
    const ProfileList all = arrayOfAllProfiles(true);
    for (std::string_view wanted : {description, std::string_view(current)})
        for (auto& profile : all)
            if (equalsIgnoringCase(profile->description(), wanted)) return profile;
    return nullptr;
}

ProfileManager::Profile ProfileManager::cached(const std::string& name,
                                               const std::function<std::vector<uint8_t>()>& make) {
    std::scoped_lock guard(lock_);
    auto& slot = builtIns_[name];
    if (!slot) {
        auto bytes = make();
        slot = ColorSyncProfileWrap::createWithBuffer(bytes.data(), uint32_t(bytes.size()));
    }
    return slot;
}

ProfileManager::Profile ProfileManager::getSRGBProfile(unsigned) {
    {
        std::scoped_lock guard(lock_);
        if (mSRGB_) return mSRGB_;
        for (auto& profile : privateProfiles_)
            if (equalsIgnoringCase(profile->description(), kSRGBDescription)) return mSRGB_ = profile;
    }
    // No sRGB profile need be installed here, and exports rely on one being there.
    return cached("sRGB", BuiltinProfiles::sRGB);
}

ProfileManager::Profile ProfileManager::getProPhotoProfile(unsigned) {
    return cached("ProPhoto", BuiltinProfiles::proPhoto);
}
ProfileManager::Profile ProfileManager::getProPhotoPerceptualProfile() { return getProPhotoProfile(); }
ProfileManager::Profile ProfileManager::getProPhotoGamma1Profile(unsigned) {
    return cached("ProPhotoG1", BuiltinProfiles::proPhotoGamma1);
}
ProfileManager::Profile ProfileManager::getProPhotoGamma1_D65Profile(unsigned) {
    return cached("ProPhotoG1_D65", BuiltinProfiles::proPhotoGamma1D65);
}
ProfileManager::Profile ProfileManager::getSwapedSRGBProfile(unsigned) {
    return cached("SwapedSRGB", BuiltinProfiles::swappedSRGB);
}
ProfileManager::Profile ProfileManager::getCCIR709Profile(unsigned) {
    return cached("CCIR709", BuiltinProfiles::ccir709Gamma1D50);
}
ProfileManager::Profile ProfileManager::getTarnwell2eProfile() {
    return cached("pcd2e", [] { return BuiltinProfiles::photoCD(PhotoCD::E2); });
}
ProfileManager::Profile ProfileManager::getTarnwell4eProfile() {
    return cached("pcd4e", [] { return BuiltinProfiles::photoCD(PhotoCD::E4); });
}
ProfileManager::Profile ProfileManager::getTarnwell2kProfile() {
    return cached("pcd2k", [] { return BuiltinProfiles::photoCD(PhotoCD::K2); });
}
ProfileManager::Profile ProfileManager::getTarnwell4kProfile() {
    return cached("pcd4k", [] { return BuiltinProfiles::photoCD(PhotoCD::K4); });
}
ProfileManager::Profile ProfileManager::getTarnwellXnProfile() {
    return cached("pcdXn", [] { return BuiltinProfiles::photoCD(PhotoCD::Xn); });
}
ProfileManager::Profile ProfileManager::getTarnwellXgProfile() {
    return cached("pcdXg", [] { return BuiltinProfiles::photoCD(PhotoCD::Xg); });
}
ProfileManager::Profile ProfileManager::getProPhotocmRelativeColorimetricProfile() {
    return cached("ProPhotoRelative", [] {
        return BuiltinProfiles::proPhotoWithIntent(INTENT_RELATIVE_COLORIMETRIC,
                                                   "Lumivar ProPhoto cmRelativeColorimetric");
    });
}
ProfileManager::Profile ProfileManager::getProPhotocmSaturationProfile() {
    return cached("ProPhotoSaturation", [] {
        return BuiltinProfiles::proPhotoWithIntent(INTENT_SATURATION, "Lumivar ProPhoto cmSaturation");
    });
}
ProfileManager::Profile ProfileManager::getProPhotocmAbsoluteColorimetricProfile() {
    return cached("ProPhotoAbsolute", [] {
        return BuiltinProfiles::proPhotoWithIntent(INTENT_ABSOLUTE_COLORIMETRIC,
                                                   "Lumivar ProPhoto cmAbsoluteColorimetric");
    });
}
ProfileManager::Profile ProfileManager::getPAL_SECAMGamma1Profile() {
    return cached("PAL_SECAMGamma1",
                  [] { return BuiltinProfiles::palSecam(1.0, "Lumivar PAL_SECAM RGB Gamma 1.0"); });
}
ProfileManager::Profile ProfileManager::getPAL_SECAMGamma22Profile() {
    return cached("PAL_SECAMGamma22",
                  [] { return BuiltinProfiles::palSecam(2.2, "Lumivar PAL_SECAM RGB Gamma 2.2"); });
}
ProfileManager::Profile ProfileManager::getCCIR709Gamma1Profile() {
    return cached("CCIR709Gamma1", BuiltinProfiles::ccir709Gamma1);
}
ProfileManager::Profile ProfileManager::getIUT709Profile() {
    return cached("ITU709", BuiltinProfiles::itu709);
}
ProfileManager::Profile ProfileManager::getRec709Gamma1Profile() {
    return cached("Rec709Gamma1", BuiltinProfiles::rec709Gamma1);
}

int ProfileManager::addObserver(ChangeObserver observer) {
    std::scoped_lock guard(observersLock_);
    observers_[nextToken_] = std::move(observer);
    return nextToken_++;
}

void ProfileManager::removeObserver(int token) {
    std::scoped_lock guard(observersLock_);
    observers_.erase(token);
}

void ProfileManager::announce(bool willChange) {
    std::map<int, ChangeObserver> observers;
    {
        std::scoped_lock guard(observersLock_);
        observers = observers_;
    }
    for (auto& [token, observer] : observers)
        observer(kProfilesKey, willChange);
}
