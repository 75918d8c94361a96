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
#include "raw/wrapper/RawOpenErrors.h"

namespace {

bool equalsIgnoringCase(const std::string& a, const char* b) {
    const std::string_view other(b);
    return std::equal(a.begin(), a.end(), other.begin(), other.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

rawWrapper::~rawWrapper() = default;

// The master alone: the alternate is a second whole decode, made only when asked for.
std::shared_ptr<const uint16_t[]> rawWrapper::masterImageBytes() {
    std::lock_guard<std::mutex> develop(developLock_);
    developMissing(false);
    return read(masterImage_);
}

std::shared_ptr<const uint16_t[]> rawWrapper::alternateImageBytes() {
    std::lock_guard<std::mutex> develop(developLock_);
    developMissing(true);
    return read(alternateImage_);
}

void rawWrapper::genImages() {
    std::lock_guard<std::mutex> develop(developLock_);
    developMissing(true);
}

// Under the develop lock to the end, so no setter drops the renderings in between.
DemosaicedRenderings::Held rawWrapper::holdRenderings() {
    std::lock_guard<std::mutex> develop(developLock_);
    developMissing(true);
    std::lock_guard<std::mutex> guard(lock_);
    return {imageWidth_, imageHeight_, masterImage_, alternateImage_};
}

DemosaicedRenderings::Held rawWrapper::holdMaster() {
    std::lock_guard<std::mutex> develop(developLock_);
    developMissing(false);
    std::lock_guard<std::mutex> guard(lock_);
    return {imageWidth_, imageHeight_, masterImage_, nullptr};
}

DemosaicedRenderings::Held rawWrapper::holdRenderingsWithMasterFrame(uint16_t masterFrame) {
    std::lock_guard<std::mutex> develop(developLock_);
    developMissing(true, masterFrame);
    std::lock_guard<std::mutex> guard(lock_);
    return {imageWidth_, imageHeight_, masterImage_, alternateImage_, masterFrame_};
}

// A monochrome or already rendered file has no alternate rendering; whether the file is
// already rendered, the master's decode tells. When both are missing and wanted, one
// decode makes both. The develop lock stays held through the conversion's wait on the
// shared queue: only the conversion's own blocks run in it (DispatchGroup), and they take
// no lock.
void rawWrapper::developMissing(bool withAlternate, uint16_t masterFrame) {
    auto masterMissing = [&] {
        return !masterImage_ || (masterFrame_ && (!masterFrame || masterFrame > masterFrame_));
    };
    bool masterWanted = false, alternateWanted = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        masterWanted = masterMissing();
        alternateWanted =
            withAlternate && !alternateImage_ && !processAsMonchromeSensor_ && !isOutputReferred_;
    }
    if (masterWanted && alternateWanted) {
        DevelopedPair both = createBitMaps(masterFrame);
        convertAndPublish(0, std::move(both.master));
        if (both.alternate) convertAndPublish(1, std::move(*both.alternate));
        return;
    }
    for (int which : {0, 1}) {
        if (which == 1 && !withAlternate) break;
        {
            std::lock_guard<std::mutex> guard(lock_);
            const bool wanted = which == 0
                                    ? masterMissing()
                                    : !alternateImage_ && !processAsMonchromeSensor_ && !isOutputReferred_;
            if (!wanted) continue;
        }
        convertAndPublish(which, createBitMap(which));
    }
}

void rawWrapper::convertAndPublish(int which, Developed developed) {
    std::shared_ptr<uint16_t[]> rgb;
    if (developed.pixels && developed.frame)
        rgb = createRGBFrameFromRGBA(std::move(developed.pixels), developed.width, developed.height,
                                     developed.frame);
    else if (developed.pixels)
        rgb = createRGBBufferFromRGBA(std::move(developed.pixels),
                                      int64_t(developed.width) * int64_t(developed.height));
    publish(which, std::move(developed), std::move(rgb));
}

// Every decode, failed or not, brings its status, camera and metadata; only a successful
// one its size. The metadata gain the size of the image when they lack it.
void rawWrapper::publish(int which, Developed developed, std::shared_ptr<uint16_t[]> rgb) {
    std::lock_guard<std::mutex> guard(lock_);
    dcStatus_ = std::move(developed.status);
    dcMake_ = std::move(developed.make);
    dcModel_ = std::move(developed.model);
    dcWhitex_ = developed.whitex;
    dcWhitey_ = developed.whitey;
    cameraFromXYZ_ = developed.cameraFromXYZ;
    cameraBaselineExposure_ = developed.baselineExposure;
    highlightExposureAdjust_ = developed.highlightExposureAdjust;
    isOutputReferred_ = developed.outputReferred;
    metaData_ = std::move(developed.metaData);
    if (developed.error) {
        error_ = std::move(developed.error);
    } else {
        imageWidth_ = developed.width;
        imageHeight_ = developed.height;
    }
    if (metaData_ && !(metaData_->count(platform::kCGImagePropertyPixelHeight) &&
                       metaData_->count(platform::kCGImagePropertyPixelWidth))) {
        (*metaData_)[platform::kCGImagePropertyPixelHeight] = int64_t(imageHeight_);
        (*metaData_)[platform::kCGImagePropertyPixelWidth] = int64_t(imageWidth_);
    }
    if (which == 0) masterFrame_ = rgb ? developed.frame : 0;
    (which == 0 ? masterImage_ : alternateImage_) = std::move(rgb);
}

void rawWrapper::decodeSettingsChanged() {
    masterImage_.reset();
    masterFrame_ = 0;
    alternateImage_.reset();
}

rawWrapper::Developed rawWrapper::createBitMap(int which) {
    Developed developed;
    std::scoped_lock decodeLock(DCRaw::decodeLock());
    try {
        DCRaw decoder;
        configure(decoder, which);
        const bool loaded = decoder.loadFile(fileSource_.string(), nullptr);
        developed = developAlone(decoder, loaded);
    } catch (...) {
        developed.pixels.reset();
        developed.error = raw::errors::Table.error(raw::errors::DecodeFailed);
    }
    return developed;
}

// Both renderings from one unpacking, each reported as its own decode would be: a file the
// decoder cannot load fails both alike, and an already rendered one has no alternate.
rawWrapper::DevelopedPair rawWrapper::createBitMaps(uint16_t masterFrame) {
    DevelopedPair both;
    std::scoped_lock decodeLock(DCRaw::decodeLock());
    try {
        DCRaw decoder;
        configure(decoder, 0);
        const bool loaded = decoder.loadFile(fileSource_.string(), nullptr);
        if (!loaded || decoder.isOutputReferred()) {
            both.master = developAlone(decoder, loaded);
            if (!loaded) both.alternate = developAlone(decoder, loaded);
            return both;
        }
        std::array<DecodedRendering, 2> renderings = decoder.processFileAndCreateBuffers(1, masterFrame);
        DecodedPixels master(renderings[0].buffer), alternate(renderings[1].buffer);
        both.master = fromDecoder(decoder, true, renderings[0], std::move(master));
        both.master.frame = renderings[0].frame;
        both.alternate = fromDecoder(decoder, true, renderings[1], std::move(alternate));
    } catch (...) {
        Developed failed;
        failed.error = raw::errors::Table.error(raw::errors::DecodeFailed);
        both.alternate = Developed{};
        both.alternate->error = failed.error;
        both.master = std::move(failed);
    }
    return both;
}

// The rendering the decoder's options select; nothing to develop when it did not load.
rawWrapper::Developed rawWrapper::developAlone(DCRaw& decoder, bool loaded) const {
    DecodedRendering rendering;
    // The path is only for a decoder that writes a file; this one hands back a buffer.
    if (loaded)
        rendering.ok = decoder.processFileAndCreateBuffer(
            std::filesystem::path(fileSource_).replace_extension("DAT").string(), &rendering.buffer, 0,
            &rendering.width, &rendering.height);
    DecodedPixels pixels(rendering.buffer);
    rendering.status = decoder.dcStatus();
    return fromDecoder(decoder, loaded, rendering, std::move(pixels));
}

rawWrapper::Developed rawWrapper::fromDecoder(const DCRaw& decoder, bool loaded,
                                              const DecodedRendering& rendering, DecodedPixels pixels) {
    Developed developed;
    developed.status = rendering.status;
    // The decoder names the camera only once it has identified the file.
    if (loaded) developed.make = decoder.dcMake(), developed.model = decoder.dcModel();
    takeCameraParameters(decoder, developed);
    if (!rendering.ok) {
        // Whatever the decoder developed before it failed is not an image.
        developed.error = raw::errors::Table.withReason(raw::errors::DecodeFailed, rendering.status);
        return developed;
    }
    developed.width = rendering.width;
    developed.height = rendering.height;
    developed.pixels = std::move(pixels);
    return developed;
}

void rawWrapper::configure(DCRaw& decoder, int which) const {
    decoder.setDoGreenChannelMatch(platform::UserDefaults::standard().boolForKey("enableNewPV"));
    decoder.setOutputColorSpace(4); // linear ProPhoto, D65
    decoder.setCameraProfile(cameraProfile_);
    decoder.setAlgoSelect(which);
    decoder.setConversionMode(processAsMonchromeSensor_ ? 2 : 1);
    decoder.setRecoverHighlights(maintainHighlights_);
}

void rawWrapper::takeCameraParameters(const DCRaw& decoder, Developed& developed) {
    // The Kodak files that carry no white point are taken as sRGB under D65.
    if (developed.make && equalsIgnoringCase(*developed.make, "Kodak") && decoder.dcWhitex() < 0.00001f) {
        const XYCoord d65 = ColorHelper::D65_xy_coord();
        developed.whitex = d65[0];
        developed.whitey = d65[1];
        developed.cameraFromXYZ = ColorHelper::XYZFromsRGB_D65();
    } else {
        developed.whitex = decoder.dcWhitex();
        developed.whitey = decoder.dcWhitey();
        developed.cameraFromXYZ = {
            {{decoder.cameraFromXYZ00(), decoder.cameraFromXYZ01(), decoder.cameraFromXYZ02()},
             {decoder.cameraFromXYZ10(), decoder.cameraFromXYZ11(), decoder.cameraFromXYZ12()},
             {decoder.cameraFromXYZ20(), decoder.cameraFromXYZ21(), decoder.cameraFromXYZ22()}}};
    }
    developed.baselineExposure = decoder.cameraBaselineExposure();
    developed.highlightExposureAdjust = decoder.highlightExposureAdjust();
    developed.outputReferred = decoder.isOutputReferred();
    developed.metaData = decoder.metaData();
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
        LV_LOG("ERROR in %s could not malloc buffer of %lld pixels", kName,
               static_cast<long long>(numpixels));
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

// Only the frame is copied: the inside stays untouched zero pages.
std::shared_ptr<uint16_t[]> rawWrapper::createRGBFrameFromRGBA(DecodedPixels rgba, uint16_t width,
                                                               uint16_t height, uint16_t frame) {
    const size_t pixels = size_t(width) * height;
    std::shared_ptr<uint16_t[]> rgb(static_cast<uint16_t*>(std::calloc(pixels, 3 * sizeof(uint16_t))),
                                    [](uint16_t* p) { std::free(p); });
    if (!rgb) {
        LV_LOG("ERROR in %s could not malloc buffer of %zu pixels", __PRETTY_FUNCTION__, pixels);
        return nullptr;
    }
    const uint16_t* from = rgba.get();
    uint16_t* to = rgb.get();
    for (size_t row = 0; row < height; ++row) {
        const bool whole = row < frame || row + frame >= height;
        for (size_t col = 0; col < width; ++col) {
            if (!whole && col == frame) col = width - frame;
            const size_t i = row * width + col;
            to[3 * i] = from[4 * i], to[3 * i + 1] = from[4 * i + 1], to[3 * i + 2] = from[4 * i + 2];
        }
    }
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
    setError(raw::errors::Table.withReason(raw::errors::NoImage, raw::errors::GetImageTableText));
    return nullptr;
}

std::shared_ptr<ColorSyncProfileWrap> rawWrapper::bufferProfile() {
    return ProfileManager::sharedManager().getProPhotoGamma1_D65Profile();
}
