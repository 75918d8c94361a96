#include "raw/wrapper/ImageWrapper.h"

#include <system_error>

namespace {

// The decoder treats a missing profile as the automatic one, and any two automatic
// profiles stand for the same camera matrix.
bool sameDecodeProfile(const std::shared_ptr<DNGCameraProfileAbstract>& a,
                       const std::shared_ptr<DNGCameraProfileAbstract>& b) {
    const bool aAuto = !a || a->isAutoProfile(), bAuto = !b || b->isAutoProfile();
    if (aAuto || bAuto) return aAuto == bAuto;
    return a == b || a->isEqual(*b);
}

} // namespace

ImageWrapper::ImageWrapper(std::filesystem::path file, std::optional<std::string> fileUUID, bool thumbNail)
    : fileSource_(std::move(file)), wantThumbNail_(thumbNail), uuid_(std::move(fileUUID)) {
    std::error_code ec;
    parseOK_ = std::filesystem::exists(fileSource_, ec);
}

ImageWrapper::~ImageWrapper() = default;

std::shared_ptr<const uint16_t[]> ImageWrapper::masterImageBytes() { return nullptr; }
std::shared_ptr<const uint16_t[]> ImageWrapper::alternateImageBytes() { return nullptr; }
std::shared_ptr<ColorSyncProfileWrap> ImageWrapper::detectScannerProfile() { return nullptr; }
std::optional<platform::Dictionary> ImageWrapper::getParameters() { return std::nullopt; }
std::shared_ptr<ColorSyncProfileWrap> ImageWrapper::bufferProfile() { return nullptr; }
std::shared_ptr<platform::Bitmap> ImageWrapper::getImageTable(const std::shared_ptr<ColorSyncProfileWrap>&) {
    return nullptr;
}

void ImageWrapper::setCameraProfile(std::shared_ptr<DNGCameraProfileAbstract> profile) {
    std::lock_guard<std::mutex> develop(developLock_);
    std::lock_guard<std::mutex> guard(lock_);
    if (sameDecodeProfile(profile, cameraProfile_)) return;
    cameraProfile_ = std::move(profile);
    decodeSettingsChanged();
}

void ImageWrapper::setDecodeFlag(bool& flag, bool value) {
    std::lock_guard<std::mutex> develop(developLock_);
    std::lock_guard<std::mutex> guard(lock_);
    if (flag == value) return;
    flag = value;
    decodeSettingsChanged();
}
