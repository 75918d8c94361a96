#include "photocd/wrapper/PhotoCdImageWrapper.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "color/CIImageTable.h"
#include "color/ColorHelper.h"
#include "color/ColorMatchTiledEngine.h"
#include "color/ProfileManager.h"
#include "engine/core/ImageBufferU16.h"
#include "photocd/PcdHeaderInfo.h"
#include "photocd/pcdDecode.h"
#include "platform/ImageProperties.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "raw/wrapper/RawOpenErrors.h"

namespace {

constexpr const char* kUseAdvancedInterpolation = "UseAdvancedInterpolation";
constexpr const char* kResolutionSelect = "ResolutionSelect";
constexpr const char* kAutomaticColorProfile = "AutomaticColorProfile";

// Decoder colour modes.
constexpr int kModeRGB = 0;
constexpr int kModeCCIR709 = 1;
constexpr int kModeSRGB = 2;
constexpr int kModeYCC = 3;

// Metadata items the wrapper reads.
constexpr int kItemMedium = 4;
constexpr int kItemScannerVendor = 6;
constexpr int kItemScannerProduct = 7;
constexpr int kItemSbaCommand = 15;
constexpr int kItemFilm = 16;
constexpr int kItemCopyright = 17;

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The disc keeps each pack's extension in IPE/<pack name>/64BASE/INFO.IC beside the image
// folder. A disc mounted with lower-cased names has it spelt that way, which a file system
// that ignores case would find as well.
std::filesystem::path ipeIndexPath(const std::filesystem::path& pack) {
    const std::filesystem::path disc = pack.parent_path().parent_path();
    const std::string stem = pack.stem().string();
    const std::filesystem::path upper = disc / "IPE" / stem / "64BASE" / "INFO.IC";
    const std::filesystem::path lower = disc / "ipe" / lowered(stem) / "64base" / "info.ic";
    std::error_code ec;
    if (!std::filesystem::exists(upper, ec) && std::filesystem::exists(lower, ec)) return lower;
    return upper;
}

unsigned ipeStatusOf(const std::filesystem::path& index) {
    std::error_code ec;
    if (!std::filesystem::exists(index, ec)) return PhotoCdImageWrapper::kIpeMissing;
    return access(index.c_str(), R_OK) == 0 ? PhotoCdImageWrapper::kIpeReadable
                                            : PhotoCdImageWrapper::kIpeUnreadable;
}

// The preference below 1 asks for the smallest level, above 4 for 64Base.
int preferredLevel(int64_t selected) {
    if (selected < 1) return 0;
    return selected > 4 ? 5 : int(selected);
}

} // namespace

PhotoCdImageWrapper::PhotoCdImageWrapper(std::filesystem::path file, std::optional<std::string> fileUUID,
                                         bool thumbNail)
    : ImageWrapper(std::move(file), std::move(fileUUID), thumbNail) {}

PhotoCdImageWrapper::~PhotoCdImageWrapper() = default;

std::unique_ptr<pcdDecode> PhotoCdImageWrapper::createDecoder() { return std::make_unique<pcdDecode>(); }

// --- parsing --------------------------------------------------------------------------------

bool PhotoCdImageWrapper::preProcess() {
    std::lock_guard<std::mutex> guard(lock_);
    return preProcessLocked();
}

bool PhotoCdImageWrapper::preProcessLocked() {
    if (decoder_) return parseOK_;
    const platform::UserDefaults& defaults = platform::UserDefaults::standard();
    decoder_ = createDecoder();
    isOutputReferred_ = true;
    decoder_->setInterpolation(defaults.boolForKey(kUseAdvancedInterpolation) ? 2 : 1);
    decoder_->setColorMode(kModeSRGB);

    const std::filesystem::path ipePath = ipeIndexPath(fileSource_);
    ipeStatus_ = kIpeNotWanted;
    const int level = preferredLevel(defaults.integerForKey(kResolutionSelect));
    if (level == 5 && !wantThumbNail_) ipeStatus_ = ipeStatusOf(ipePath);

    // Browser thumbnails are always the smallest level.
    parseOK_ = decoder_->parseFile(fileSource_.string(), ipePath.string(), wantThumbNail_ ? 0 : level);
    if (!parseOK_) {
        failLocked(decoder_->errorText(), raw::errors::Table.text(raw::errors::NoImage));
        return false;
    }
    imageWidth_ = uint16_t(decoder_->width());
    imageHeight_ = uint16_t(decoder_->height());
    metaData_ = metaDataDictionaryLocked();
    return true;
}

// Every failure carries a text, so "status" never reads "Ok" for a file that failed.
void PhotoCdImageWrapper::failLocked(const std::string& decoderText, std::string_view fallback) {
    error_ =
        raw::errors::Table.withReason(raw::errors::NoImage, decoderText.empty() ? fallback : decoderText);
}

// Levels that could not be built are never read: the decoder dropped the image.
bool PhotoCdImageWrapper::buildLevelsLocked() {
    if (havePostProcessed_) return true;
    if (buildFailed_) return false;
    if (!decoder_->buildHigherLevels()) {
        buildFailed_ = true;
        failLocked(decoder_->errorText(), raw::errors::BuildFailedText);
        return false;
    }
    havePostProcessed_ = true;
    return true;
}

// --- images ---------------------------------------------------------------------------------

void PhotoCdImageWrapper::genImages() {
    std::lock_guard<std::mutex> guard(lock_);
    genImagesLocked();
}

void PhotoCdImageWrapper::genImagesLocked() {
    if (!preProcessLocked() || !buildLevelsLocked()) return;
    Profile profile = scannerProfile_;
    if (!profile || profile->isAutoProfile()) profile = detectScannerProfileLocked();
    const int mode = profile->spaceType() == ColorSyncProfileWrap::kSpaceRGB ? kModeRGB : kModeYCC;
    if (theImage_ && decoder_->colorMode() == mode) return;
    decoder_->setColorMode(mode);
    if (!convertLocked(profile)) {
        theImage_.reset();
        return;
    }
    if (wantThumbNail_) return;
    // Matched under the wrapper lock: the conversion's row chunks take no lock, and this
    // thread runs nothing else while it waits for them (parallelRows).
    ColorMatchTiledEngine match(platform::Size{double(imageWidth_), double(imageHeight_)}, "0", true);
    match.setSrcProfile(profile);
    match.setDestProfile(bufferProfile());
    match.convertBuffer(*theImage_);
}

// The decoder's samples into a new theImage: R, G, B of each pixel, and an opaque alpha for
// thumbnails; full images keep the cleared alpha. A new buffer each time, so that whoever
// holds the previous image keeps it whole.
bool PhotoCdImageWrapper::convertLocked(const Profile& scanner) {
    theImage_ = ImageBufferU16::create(imageWidth_, imageHeight_, nullptr, scanner);
    if (!theImage_) {
        LV_LOG("%s no memory for %u x %u pixels", "-[PhotoCdImageWrapper genImages]", unsigned(imageWidth_),
               unsigned(imageHeight_));
        return false;
    }
    uint16_t* p = theImage_->bufferU16ForRow(0);
    if (!decoder_->read16BitImage(p, p + 1, p + 2, wantThumbNail_ ? p + 3 : nullptr, 4)) {
        failLocked(decoder_->errorText(), raw::errors::BuildFailedText);
        return false;
    }
    return true;
}

std::shared_ptr<const uint16_t[]> PhotoCdImageWrapper::masterImageBytes() {
    std::lock_guard<std::mutex> guard(lock_);
    if (wantThumbNail_) {
        LV_LOG("Error - %s call on thumbnail image", "-[PhotoCdImageWrapper masterImageBytes]");
        return nullptr;
    }
    genImagesLocked();
    if (!theImage_) return nullptr;
    // Shares theImage, so the rows outlive a new conversion.
    return std::shared_ptr<const uint16_t[]>(theImage_, theImage_->bufferU16ForRow(0));
}

std::shared_ptr<platform::Bitmap> PhotoCdImageWrapper::getImageRep(const Profile& profile) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!preProcessLocked()) return nullptr;
    }
    return genCIImage(profile);
}

std::shared_ptr<platform::Bitmap> PhotoCdImageWrapper::genCIImage(const Profile& profile) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!wantThumbNail_) {
        LV_LOG("Error - %s call on non-thumbnail image", "-[PhotoCdImageWrapper genCIImage:]");
        return nullptr;
    }
    genImagesLocked();
    if (!theImage_) return nullptr;
    ProfileManager& profiles = ProfileManager::sharedManager();
    Profile tag = profile;
    if (!tag)
        tag =
            decoder_->colorMode() == kModeCCIR709 ? profiles.getCCIR709Profile() : profiles.getSRGBProfile();
    namespace bi = platform::bitmap_info;
    const size_t rowBytes = size_t(imageWidth_) * 8;
    const platform::BitmapLayout layout{imageWidth_, imageHeight_, 16,
                                        64,          rowBytes,     bi::kAlphaLast | bi::kByteOrder16Little};
    auto image = platform::Bitmap::createOwned(layout, tag->cgColorSpace());
    if (!image || !image->mutableData()) return nullptr;
    for (uint16_t row = 0; row < imageHeight_; ++row)
        std::memcpy(image->mutableData() + row * rowBytes, theImage_->bufferU16ForRow(row), rowBytes);
    return image;
}

std::shared_ptr<platform::Bitmap> PhotoCdImageWrapper::getImageTable(const Profile& profile) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!preProcessLocked() || !buildLevelsLocked()) return nullptr;
    ProfileManager& profiles = ProfileManager::sharedManager();
    int mode = decoder_->colorMode();
    Profile space = profile;
    if (profile) {
        if (profile->spaceType() == ColorSyncProfileWrap::kSpace3CLR)
            mode = kModeYCC;
        else
            mode = startsWith(profile->description(), "sRGB") ? kModeSRGB : kModeRGB;
    } else {
        if (mode == kModeYCC) mode = kModeCCIR709;
        space = mode == kModeCCIR709 ? profiles.getCCIR709Profile() : profiles.getSRGBProfile();
    }
    auto table = CIImageTable::createWithSizeAsImage(imageWidth_, imageHeight_, space, false);
    if (!table || !table->isValid()) return nullptr;
    decoder_->setColorMode(mode);
    const CIImageTable::Buffers b = table->getBuffers();
    if (!decoder_->readFloatImage(b.r, b.g, b.b, b.a, int(b.step))) return nullptr;
    if (table->convertToColorSpace(profiles.getProPhotoProfile()) != 0) return nullptr;
    platform::Image::Ptr image = table->genImage();
    if (!image) return nullptr;
    const platform::Bitmap& pixels = *image->bitmap();
    return platform::Bitmap::createView(pixels.layout(), pixels.data(), image, pixels.colorSpace());
}

// --- profiles -------------------------------------------------------------------------------

PhotoCdImageWrapper::Profile PhotoCdImageWrapper::detectScannerProfile() {
    std::lock_guard<std::mutex> guard(lock_);
    return detectScannerProfileLocked();
}

PhotoCdImageWrapper::Profile PhotoCdImageWrapper::detectScannerProfileLocked() const {
    ProfileManager& profiles = ProfileManager::sharedManager();
    if (!platform::UserDefaults::standard().boolForKey(kAutomaticColorProfile))
        return profiles.getTarnwellXgProfile();
    // The 4000-series scanners name themselves with a 4.
    const bool family4 = itemLocked(kItemScannerProduct, false).find('4') != std::string::npos;
    const std::string medium = itemLocked(kItemMedium, false);
    if (medium == "color reversal") {
        const std::string film = itemLocked(kItemFilm, false);
        if (startsWith(film, "KODAK 4050 K14") || startsWith(film, "KODAK UNIVERSAL K14"))
            return family4 ? profiles.getTarnwell4kProfile() : profiles.getTarnwell2kProfile();
        return family4 ? profiles.getTarnwell4eProfile() : profiles.getTarnwell2eProfile();
    }
    if (medium == "color negative") return profiles.getTarnwellXnProfile();
    return profiles.getTarnwellXgProfile();
}

void PhotoCdImageWrapper::setScannerProfile(Profile profile) {
    std::lock_guard<std::mutex> guard(lock_);
    scannerProfile_ = std::move(profile);
    theImage_.reset();
}

PhotoCdImageWrapper::Profile PhotoCdImageWrapper::bufferProfile() {
    return ProfileManager::sharedManager().getProPhotoGamma1_D65Profile();
}

// --- metadata and parameters ------------------------------------------------------------------

std::string PhotoCdImageWrapper::itemLocked(int index, bool wantName) const {
    if (!decoder_ || index < 0 || index >= photocd::kMetadataItemCount) return {};
    std::string name, value;
    decoder_->metadataByIndex(index, name, value);
    std::string& text = wantName ? name : value;
    if (text.size() > size_t(kMetaDataTextLimit)) text.resize(kMetaDataTextLimit);
    return text;
}

std::string PhotoCdImageWrapper::metaDataValue(int index) {
    std::lock_guard<std::mutex> guard(lock_);
    return itemLocked(index, false);
}

std::string PhotoCdImageWrapper::metaDataName(int index) {
    std::lock_guard<std::mutex> guard(lock_);
    return itemLocked(index, true);
}

platform::Array PhotoCdImageWrapper::metaDataArray() {
    std::lock_guard<std::mutex> guard(lock_);
    const auto entry = [](std::string name, std::string value) {
        return platform::Value(platform::Dictionary{{"Name", std::move(name)}, {"Value", std::move(value)}});
    };
    platform::Array items{entry("Image Width", std::to_string(imageWidth_)),
                          entry("Image Height", std::to_string(imageHeight_))};
    for (int i = 0; i < photocd::kMetadataItemCount; ++i)
        items.push_back(entry(itemLocked(i, true), itemLocked(i, false)));
    return items;
}

std::string PhotoCdImageWrapper::getEXIFDateTime() {
    std::lock_guard<std::mutex> guard(lock_);
    return exifDateTimeLocked();
}

std::string PhotoCdImageWrapper::exifDateTimeLocked() const {
    if (!decoder_) return {};
    const int64_t seconds = decoder_->scanningTime();
    if (seconds == 0) return {};
    const std::time_t when = std::time_t(seconds);
    std::tm local{};
    char text[32];
    tzset(); // TZ may have changed since the last conversion
    if (!localtime_r(&when, &local) || !std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &local))
        return {};
    return text;
}

std::optional<std::string> PhotoCdImageWrapper::getErrorString() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!decoder_ || decoder_->errorText().empty()) return std::nullopt;
    return decoder_->errorText();
}

std::optional<platform::Dictionary> PhotoCdImageWrapper::metaDataDictionary() {
    std::lock_guard<std::mutex> guard(lock_);
    return metaDataDictionaryLocked();
}

std::optional<platform::Dictionary> PhotoCdImageWrapper::metaDataDictionaryLocked() const {
    if (!decoder_) return std::nullopt;
    const std::string summary = itemLocked(kItemMedium, false) + ": " + itemLocked(kItemFilm, false) +
                                ". SBA settings " + itemLocked(kItemSbaCommand, false);
    const std::string when = exifDateTimeLocked();
    platform::Dictionary exif{
        {platform::kCGImagePropertyExifDateTimeOriginal, when},
        {platform::kCGImagePropertyExifDateTimeDigitized, when},
        {platform::kCGImagePropertyExifUserComment, summary},
        {platform::kCGImagePropertyExifFileSource, int64_t(1)},
    };
    platform::Dictionary tiff{
        {platform::kCGImagePropertyTIFFImageDescription, summary},
        {platform::kCGImagePropertyTIFFDocumentName, fileSource_.filename().string()},
        {platform::kCGImagePropertyTIFFSoftware, kSoftware},
        {platform::kCGImagePropertyTIFFMake, itemLocked(kItemScannerVendor, false)},
        {platform::kCGImagePropertyTIFFModel, itemLocked(kItemScannerProduct, false)},
        {platform::kCGImagePropertyTIFFCopyright, itemLocked(kItemCopyright, false)},
        {platform::kCGImagePropertyTIFFDateTime, when},
    };
    return platform::Dictionary{{platform::kCGImagePropertyExifDictionary, std::move(exif)},
                                {platform::kCGImagePropertyTIFFDictionary, std::move(tiff)}};
}

std::optional<platform::Dictionary> PhotoCdImageWrapper::getParameters() {
    std::lock_guard<std::mutex> guard(lock_);
    platform::Dictionary p;
    if (uuid_) p["UUID"] = *uuid_;
    p["width"] = int64_t(imageWidth_);
    p["height"] = int64_t(imageHeight_);
    p["model"] = itemLocked(kItemScannerProduct, false);
    p["make"] = itemLocked(kItemScannerVendor, false);
    const XYCoord white = ColorHelper::D65_xy_coord();
    p["asShotWhitex"] = white[0];
    p["asShotWhitey"] = white[1];
    const Matrix3x3 fromXYZ = ColorHelper::XYZFromsRGB_D65();
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p["cameraFromXYZ" + std::to_string(row) + std::to_string(col)] = fromXYZ[row][col];
    p["ipeStatus"] = int64_t(ipeStatus_);
    p["isOutputReferred"] = true;
    p["status"] = error_ ? error_->failureReason : std::string("Ok");
    if (metaData_) p["cameraMetadata"] = *metaData_;
    return p;
}
