#include "color/ColorSyncProfileWrap.h"

#include <lcms2.h>

#include "color/BuiltinProfiles.h"
#include "color/IccProfileData.h"
#include "color/ProfileManager.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace fs = std::filesystem;

namespace {

using Bytes = ColorSyncProfileWrap::Bytes;

Bytes labBytes() {
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    Bytes bytes;
    cmsUInt32Number size = 0;
    if (lab && cmsSaveProfileToMem(lab, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(lab, bytes.data(), &size)) bytes.clear();
    }
    if (lab) cmsCloseProfile(lab);
    return bytes;
}

// "file:///a%20b" to "/a b"; anything else is taken as a path already.
fs::path pathFromURL(const std::string& url) {
    constexpr std::string_view scheme = "file://";
    if (url.rfind(scheme, 0) != 0) return url;
    std::string path;
    for (size_t i = scheme.size(); i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && std::isxdigit(uint8_t(url[i + 1])) &&
            std::isxdigit(uint8_t(url[i + 2]))) {
            path += char(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += url[i];
        }
    }
    return path;
}

std::shared_ptr<ColorSyncProfileWrap> profileForDefault(const char* key) {
    auto path = platform::UserDefaults::standard().stringForKey(key);
    return path ? ColorSyncProfileWrap::createWithCFPath(*path) : nullptr;
}

} // namespace

std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::createAsAutoProfile() {
    std::shared_ptr<ColorSyncProfileWrap> wrap(new ColorSyncProfileWrap());
    wrap->name_ = "Automatic";
    return wrap;
}

std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::fromBytes(Bytes bytes) {
    auto header = icc::readHeader(bytes);
    if (!header) return nullptr;
    std::shared_ptr<ColorSyncProfileWrap> wrap(new ColorSyncProfileWrap());
    wrap->class_ = header->classType;
    wrap->space_ = header->spaceType;
    wrap->ref_ = std::make_shared<const Bytes>(std::move(bytes));
    return wrap;
}

std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::createWithSRGB() {
    static const Bytes bytes = BuiltinProfiles::sRGB();
    return fromBytes(bytes);
}

std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::createWithLAB() {
    // The header's own class and space: a Lab profile recorded as an RGB display would
    // pass the RGB checks of the colour matching and the profile list.
    static const Bytes bytes = labBytes();
    return fromBytes(bytes);
}

std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::createWithLinearRGB() {
    static const Bytes bytes = BuiltinProfiles::linearRGB();
    return fromBytes(bytes);
}

std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::createWithCFPath(const fs::path& path) {
    if (path.empty()) return nullptr;
    auto bytes = icc::readFile(path);
    if (!bytes) return nullptr;
    auto wrap = fromBytes(std::move(*bytes));
    if (!wrap) {
        LV_LOG("%s not a readable ICC profile: %s", __PRETTY_FUNCTION__, path.c_str());
        return nullptr;
    }
    wrap->path_ = fs::absolute(path).lexically_normal();
    return wrap;
}

std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::createWithBuffer(const uint8_t* bytes,
                                                                             uint32_t size) {
    if (!bytes) return nullptr;
    return fromBytes(Bytes(bytes, bytes + size));
}

std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::createWithIterateData(const IterateData& record) {
    std::shared_ptr<ColorSyncProfileWrap> wrap(new ColorSyncProfileWrap());
    wrap->class_ = record.classType;
    wrap->space_ = record.spaceType;
    wrap->name_ = record.description;
    wrap->path_ = record.path;
    return wrap;
}

std::optional<ColorSyncProfileWrap::IterateData>
ColorSyncProfileWrap::iterateDataForFile(const fs::path& path) {
    auto header = icc::readFileHeader(path);
    if (!header) return std::nullopt;
    return IterateData{header->classType, header->spaceType, header->description, path};
}

std::shared_ptr<ColorSyncProfileWrap>
ColorSyncProfileWrap::createFromPList(const platform::Dictionary& plist) {
    std::optional<fs::path> path;
    auto pathEntry = plist.find(kPathKey);
    auto urlEntry = plist.find(kURLKey);
    if (pathEntry != plist.end() && pathEntry->second.string())
        path = *pathEntry->second.string();
    else if (urlEntry != plist.end() && urlEntry->second.string())
        path = pathFromURL(*urlEntry->second.string());
    if (path) {
        auto wrap = createWithCFPath(*path);
        return wrap ? wrap : createAsAutoProfile();
    }
    auto description = plist.find(kDescriptionKey);
    if (description != plist.end() && description->second.string())
        return ProfileManager::sharedManager().findMatchingProfile(*description->second.string());
    return createAsAutoProfile();
}

platform::Dictionary ColorSyncProfileWrap::objectSerializeForPList() const {
    platform::Dictionary plist{{kClassKey, kClassName}};
    auto* self = const_cast<ColorSyncProfileWrap*>(this);
    if (path_) {
        plist[kDescriptionKey] = self->description();
        plist[kPathKey] = path_->string();
    } else if (!isAutoProfile()) {
        plist[kDescriptionKey] = self->description();
    }
    return plist;
}

std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::profileDefaultRGB() {
    return profileForDefault("DefaultRGBProfile");
}
std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::profileDefaultGray() {
    return profileForDefault("DefaultGrayProfile");
}
std::shared_ptr<ColorSyncProfileWrap> ColorSyncProfileWrap::profileDefaultCMYK() {
    return profileForDefault("DefaultCMYKProfile");
}

// The path first: a profile with a file may be filling ref_ on another thread.
bool ColorSyncProfileWrap::isAutoProfile() const { return !path_ && !ref_; }

std::shared_ptr<const Bytes> ColorSyncProfileWrap::csRef() {
    std::scoped_lock guard(lock_);
    if (ref_ || !path_) return ref_;
    auto bytes = icc::readFile(*path_);
    if (!bytes || !icc::readHeader(*bytes)) {
        LV_LOG("%s could not open the profile %s", __PRETTY_FUNCTION__, path_->c_str());
        return nullptr;
    }
    ref_ = std::make_shared<const Bytes>(std::move(*bytes));
    return ref_;
}

std::shared_ptr<const platform::ColorSpace> ColorSyncProfileWrap::cgColorSpace() {
    auto bytes = csRef();
    if (!bytes) return nullptr;
    std::string name = description();
    std::scoped_lock guard(lock_);
    if (!colorspace_) colorspace_ = platform::ColorSpace::fromICC(*bytes, std::move(name));
    return colorspace_;
}

std::string ColorSyncProfileWrap::description() {
    {
        std::scoped_lock guard(lock_);
        if (name_) return *name_;
    }
    auto bytes = csRef();
    auto header = bytes ? icc::readHeader(*bytes) : std::nullopt;
    std::scoped_lock guard(lock_);
    if (!name_ && header) name_ = header->description;
    return name_.value_or(std::string());
}

uint32_t ColorSyncProfileWrap::renderingIntent() {
    auto bytes = csRef();
    auto header = bytes ? icc::readHeader(*bytes) : std::nullopt;
    return header ? header->intent : INTENT_PERCEPTUAL;
}

size_t ColorSyncProfileWrap::hash() {
    if (path_) return std::hash<std::string>()(path_->filename().string());
    return std::hash<std::string>()(description());
}

bool ColorSyncProfileWrap::isEqual(const ColorSyncProfileWrap* other) const {
    return other && path_ && other->path_ && *path_ == *other->path_;
}
