#include "dng/DNGCameraProfileAbstract.h"

#include <functional>

#include "dng/CameraProfileManager.h"
#include "platform/Log.h"

namespace {

void setIdentity(float m[3][3]) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] = i == j ? 1.0f : 0.0f;
}

} // namespace

DNGCameraProfileAbstract::DNGCameraProfileAbstract() = default;
DNGCameraProfileAbstract::~DNGCameraProfileAbstract() = default;

std::shared_ptr<DNGCameraProfileAbstract> DNGCameraProfileAbstract::createAsAutoProfile() {
    auto profile = std::make_shared<DNGCameraProfileAbstract>();
    profile->localInitAsAutoProfile();
    return profile;
}

std::shared_ptr<DNGCameraProfileAbstract> DNGCameraProfileAbstract::createFromFile(
    const std::filesystem::path& file) {
    auto profile = std::make_shared<DNGCameraProfileAbstract>();
    if (!profile->localInitFromFile(file)) return nullptr;
    return profile;
}

std::shared_ptr<DNGCameraProfileAbstract> DNGCameraProfileAbstract::createFromPList(
    const platform::Dictionary& plist) {
    auto profile = std::make_shared<DNGCameraProfileAbstract>();
    auto it = plist.find(kFileNameKey);
    auto folder = CameraProfileManager::profileDirectory();
    if (it != plist.end() && it->second.isString() && folder) {
        // Only the name is stored; a stored path must not lead out of the folder.
        std::filesystem::path name = std::filesystem::path(*it->second.string()).filename();
        if (!name.empty() && profile->localInitFromFile(*folder / name)) return profile;
    }
    profile->localInitAsAutoProfile();
    return profile;
}

bool DNGCameraProfileAbstract::localInitFromFile(const std::filesystem::path& file) {
    // DCP files are not read yet: every file is refused as unreadable.
    LV_LOG("%s could not open profile at %s", "-[DNGCameraProfileAbstract localInitFromFile:]",
           file.c_str());
    return false;
}

void DNGCameraProfileAbstract::localInitAsAutoProfile() {
    name_ = kAutoProfileName;
    restriction_.clear();
    profileURL_.reset();
    setIdentity(colorMatrix1_);
    setIdentity(colorMatrix2_);
}

platform::Dictionary DNGCameraProfileAbstract::objectSerializeForPList() const {
    platform::Dictionary plist{{kClassKey, kClassName}};
    if (profileURL_) plist[kFileNameKey] = profileURL_->filename().string();
    return plist;
}

std::string DNGCameraProfileAbstract::displayName() const {
    if (restriction_.empty()) return name_;
    return restriction_ + " : " + name_;
}

bool DNGCameraProfileAbstract::isEqual(const DNGCameraProfileAbstract& other) const {
    if (!profileURL_ || !other.profileURL_) return !profileURL_ && !other.profileURL_;
    return profileURL_->filename() == other.profileURL_->filename();
}

size_t DNGCameraProfileAbstract::hash() const {
    if (!profileURL_) return 0;
    return std::hash<std::string>{}(profileURL_->filename().string());
}
