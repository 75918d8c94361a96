#include "raw/wrapper/rawWrapper.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <new>

#include "color/ColorHelper.h"
#include "color/ProfileManager.h"
#include "engine/core/QueueEngine.h"
#include "platform/DispatchGroup.h"
#include "platform/ImageProperties.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "raw/core/DCRaw.h"

namespace {

constexpr int64_t kDecodeFailed = -5;
constexpr int64_t kNotSupported = -15;
constexpr const char* kNotRecognizedText = "Raw format not recognized.";

bool equalsIgnoringCase(const std::string& a, const char* b) {
    const std::string_view other(b);
    return std::equal(a.begin(), a.end(), other.begin(), other.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

rawWrapper::~rawWrapper() = default;

std::shared_ptr<const uint16_t[]> rawWrapper::masterImageBytes() {
    std::lock_guard<std::mutex> guard(lock_);
    genImagesLocked();
    return masterImage_;
}

std::shared_ptr<const uint16_t[]> rawWrapper::alternateImageBytes() {
    std::lock_guard<std::mutex> guard(lock_);
    genImagesLocked();
    return alternateImage_;
}

void rawWrapper::genImages() {
    std::lock_guard<std::mutex> guard(lock_);
    genImagesLocked();
}

DemosaicedRenderings::Held rawWrapper::holdRenderings() {
    std::lock_guard<std::mutex> guard(lock_);
    genImagesLocked();
    return {imageWidth_, imageHeight_, masterImage_, alternateImage_};
}

// A monochrome or already rendered file has no alternate rendering.
void rawWrapper::genImagesLocked() {
    if (!masterImage_) masterImage_ = developLocked(0);
    if (!alternateImage_ && !processAsMonchromeSensor_ && !isOutputReferred_) alternateImage_ = developLocked(1);
}

std::shared_ptr<uint16_t[]> rawWrapper::developLocked(int which) {
    DecodedPixels rgba = createBitMap(which);
    completeMetaData();
    if (!rgba) return nullptr;
    return createRGBBufferFromRGBA(std::move(rgba), int64_t(imageWidth_) * int64_t(imageHeight_));
}

void rawWrapper::decodeSettingsChanged() {
    masterImage_.reset();
    alternateImage_.reset();
}

rawWrapper::DecodedPixels rawWrapper::createBitMap(int which) {
    std::scoped_lock decodeLock(DCRaw::decodeLock());
    try {
        DCRaw decoder;
        configure(decoder, which);
        const std::string path = fileSource_.string();
        const bool loaded = decoder.loadFile(path, nullptr);
        uint16_t* handedBack = nullptr;
        uint16_t width = 0, height = 0;
        // The path is only for a decoder that writes a file; this one hands back a buffer.
        const bool ok = loaded && decoder.processFileAndCreateBuffer(
                                      std::filesystem::path(fileSource_).replace_extension("DAT").string(),
                                      &handedBack, 0, &width, &height);
        DecodedPixels pixels(handedBack);

        dcStatus_ = decoder.dcStatus();
        // The decoder names the camera only once it has identified the file.
        dcMake_ = loaded ? std::optional(decoder.dcMake()) : std::nullopt;
        dcModel_ = loaded ? std::optional(decoder.dcModel()) : std::nullopt;
        takeCameraParameters(decoder);
        if (!ok) {
            // Whatever the decoder developed before it failed is not an image.
            error_ = platform::Error{kErrorDomain, kDecodeFailed, decoder.dcStatus()};
            return nullptr;
        }
        imageWidth_ = width;
        imageHeight_ = height;
        return pixels;
    } catch (...) {
        error_ = platform::Error{kErrorDomain, kDecodeFailed, kNotRecognizedText};
        return nullptr;
    }
}

void rawWrapper::configure(DCRaw& decoder, int which) const {
    decoder.setDoGreenChannelMatch(platform::UserDefaults::standard().boolForKey("enableNewPV"));
    decoder.setOutputColorSpace(4); // linear ProPhoto, D65
    decoder.setCameraProfile(cameraProfile_);
    decoder.setAlgoSelect(which);
    decoder.setConversionMode(processAsMonchromeSensor_ ? 2 : 1);
    decoder.setRecoverHighlights(maintainHighlights_);
}

void rawWrapper::takeCameraParameters(const DCRaw& decoder) {
    // The Kodak files that carry no white point are taken as sRGB under D65.
    if (dcMake_ && equalsIgnoringCase(*dcMake_, "Kodak") && decoder.dcWhitex() < 0.00001f) {
        const XYCoord d65 = ColorHelper::D65_xy_coord();
        dcWhitex_ = d65[0];
        dcWhitey_ = d65[1];
        cameraFromXYZ_ = ColorHelper::XYZFromsRGB_D65();
    } else {
        dcWhitex_ = decoder.dcWhitex();
        dcWhitey_ = decoder.dcWhitey();
        cameraFromXYZ_ = {{{decoder.cameraFromXYZ00(), decoder.cameraFromXYZ01(), decoder.cameraFromXYZ02()},
                           {decoder.cameraFromXYZ10(), decoder.cameraFromXYZ11(), decoder.cameraFromXYZ12()},
                           {decoder.cameraFromXYZ20(), decoder.cameraFromXYZ21(), decoder.cameraFromXYZ22()}}};
    }
    cameraBaselineExposure_ = decoder.cameraBaselineExposure();
    highlightExposureAdjust_ = decoder.highlightExposureAdjust();
    isOutputReferred_ = decoder.isOutputReferred();
    metaData_ = decoder.metaData();
}

void rawWrapper::completeMetaData() {
    if (!metaData_) return;
    platform::Dictionary& meta = *metaData_;
    if (meta.count(platform::kCGImagePropertyPixelHeight) && meta.count(platform::kCGImagePropertyPixelWidth)) return;
    meta[platform::kCGImagePropertyPixelHeight] = int64_t(imageHeight_);
    meta[platform::kCGImagePropertyPixelWidth] = int64_t(imageWidth_);
}

std::shared_ptr<uint16_t[]> rawWrapper::createRGBBufferFromRGBA(DecodedPixels rgba, int64_t numpixels) {
    constexpr const char* kName = "+[rawWrapper createRGBBufferFromRGBA:numpixels:]";
    if (!rgba) {
        LV_LOG("ERROR in %s RGBA buffer is NULL", kName);
        return nullptr;
    }
    std::shared_ptr<uint16_t[]> rgb;
    if (numpixels >= 0 && uint64_t(numpixels) <= SIZE_MAX / (3 * sizeof(uint16_t)))
        rgb.reset(new (std::nothrow) uint16_t[size_t(numpixels) * 3]);
    if (!rgb) {
        LV_LOG("ERROR in %s could not malloc buffer of %lld pixels", kName, static_cast<long long>(numpixels));
        return nullptr;
    }
    QueueEngine& queues = QueueEngine::sharedQueueEngine();
    const uint64_t pixels = uint64_t(numpixels);
    const uint64_t perTask = pixels / queues.optimalNumberOfTasks() + 1;
    const uint16_t* from = rgba.get();
    uint16_t* to = rgb.get();
    platform::DispatchGroup group(queues.sharedQueue());
    // The last blocks may start past the last pixel: they have nothing to copy.
    for (uint64_t first = 0; first < pixels; first += perTask) {
        const uint64_t end = std::min(pixels, first + perTask);
        group.async([from, to, first, end] {
            for (uint64_t i = first; i < end; ++i) {
                to[3 * i] = from[4 * i];
                to[3 * i + 1] = from[4 * i + 1];
                to[3 * i + 2] = from[4 * i + 2];
            }
        });
    }
    group.wait();
    return rgb;
}

std::optional<platform::Dictionary> rawWrapper::getParameters() {
    std::lock_guard<std::mutex> guard(lock_);
    // The keys in this order, up to the first value that is missing.
    platform::Dictionary p;
    if (!uuid_) return p;
    p["UUID"] = *uuid_;
    p["width"] = int64_t(imageWidth_);
    p["height"] = int64_t(imageHeight_);
    if (!dcModel_) return p;
    p["model"] = *dcModel_;
    if (!dcMake_) return p;
    p["make"] = *dcMake_;
    if (!dcStatus_) return p;
    p["status"] = *dcStatus_;
    p["asShotWhitex"] = dcWhitex_;
    p["asShotWhitey"] = dcWhitey_;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p["cameraFromXYZ" + std::to_string(row) + std::to_string(col)] = cameraFromXYZ_[row][col];
    p["cameraBaselineExposure"] = cameraBaselineExposure_;
    p["isOutputReferred"] = isOutputReferred_;
    if (!metaData_) return p;
    p["cameraMetadata"] = *metaData_;
    return p;
}

std::shared_ptr<platform::Bitmap> rawWrapper::getImageTable(const std::shared_ptr<ColorSyncProfileWrap>&) {
    LV_LOG("ERROR: Call to %s", "-[rawWrapper getImageTable:]");
    setError(platform::Error{kErrorDomain, kNotSupported, "Invalid function call to getImageTable"});
    return nullptr;
}

std::shared_ptr<ColorSyncProfileWrap> rawWrapper::bufferProfile() {
    return ProfileManager::sharedManager().getProPhotoGamma1_D65Profile();
}
