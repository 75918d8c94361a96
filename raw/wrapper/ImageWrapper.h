#pragma once
// The source image the engine decodes through: one image file, the pixels developed from
// it, the camera parameters that go with them and the profiles chosen for it. Each
// subclass adapts one decoder. Every value is guarded by the wrapper lock, held only to
// read or store values. A subclass may instead hold it through a whole decode; the raw
// wrapper decodes under the develop lock alone and stores what a decode found in one step,
// so its readers answer at once from the last finished decode.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "color/ColorSyncProfileWrap.h"
#include "dng/DNGCameraProfileAbstract.h"
#include "platform/Bitmap.h"
#include "platform/Error.h"
#include "platform/Value.h"

class ImageWrapper {
  public:
    ImageWrapper(std::filesystem::path file, std::optional<std::string> fileUUID, bool thumbNail);
    virtual ~ImageWrapper();
    ImageWrapper(const ImageWrapper&) = delete;
    ImageWrapper& operator=(const ImageWrapper&) = delete;

    // What a subclass answers; nothing in the base.
    virtual std::shared_ptr<const uint16_t[]> masterImageBytes();
    virtual std::shared_ptr<const uint16_t[]> alternateImageBytes();
    virtual std::shared_ptr<ColorSyncProfileWrap> detectScannerProfile();
    virtual std::optional<platform::Dictionary> getParameters();
    virtual std::shared_ptr<ColorSyncProfileWrap> bufferProfile();
    virtual std::shared_ptr<platform::Bitmap>
    getImageTable(const std::shared_ptr<ColorSyncProfileWrap>& profile);
    virtual bool logThisObject() const { return false; }

    uint16_t imageWidth() const { return read(imageWidth_); }
    uint16_t imageHeight() const { return read(imageHeight_); }
    float cameraBaselineExposure() const { return read(cameraBaselineExposure_); }
    void setCameraBaselineExposure(float exposure) { write(cameraBaselineExposure_, exposure); }
    float highlightExposureAdjust() const { return read(highlightExposureAdjust_); }
    void setHighlightExposureAdjust(float adjust) { write(highlightExposureAdjust_, adjust); }
    std::optional<platform::Dictionary> metaData() const { return read(metaData_); }
    void setMetaData(std::optional<platform::Dictionary> metaData) { write(metaData_, std::move(metaData)); }
    std::optional<platform::Error> error() const { return read(error_); }
    void setError(std::optional<platform::Error> error) { write(error_, std::move(error)); }
    std::shared_ptr<ColorSyncProfileWrap> scannerProfile() const { return read(scannerProfile_); }
    // A subclass may drop what it converted with the old profile.
    virtual void setScannerProfile(std::shared_ptr<ColorSyncProfileWrap> profile) {
        write(scannerProfile_, std::move(profile));
    }
    bool isOutputReferred() const { return read(isOutputReferred_); }
    void setIsOutputReferred(bool referred) { write(isOutputReferred_, referred); }
    std::optional<std::string> uuid() const { return read(uuid_); }
    void setUuid(std::optional<std::string> uuid) { write(uuid_, std::move(uuid)); }

    // The settings a decode depends on: a change drops what was developed with the old value.
    std::shared_ptr<DNGCameraProfileAbstract> cameraProfile() const { return read(cameraProfile_); }
    void setCameraProfile(std::shared_ptr<DNGCameraProfileAbstract> profile);
    bool processAsMonchromeSensor() const { return read(processAsMonchromeSensor_); }
    void setProcessAsMonchromeSensor(bool monochrome) {
        setDecodeFlag(processAsMonchromeSensor_, monochrome);
    }
    bool maintainHighlights() const { return read(maintainHighlights_); }
    void setMaintainHighlights(bool maintain) { setDecodeFlag(maintainHighlights_, maintain); }

  protected:
    // Called under the develop lock and the wrapper lock when a setting above has changed.
    virtual void decodeSettingsChanged() {}

    void setDecodeFlag(bool& flag, bool value);
    // A copy of a value, taken under the wrapper lock.
    template <class T> T read(const T& value) const {
        std::lock_guard<std::mutex> guard(lock_);
        return value;
    }
    template <class T> void write(T& field, T value) {
        std::lock_guard<std::mutex> guard(lock_);
        field = std::move(value);
    }

    // Held through a decode, and by the setters of what a decode depends on, which thus
    // wait for a decode under way rather than change its settings beneath it. Taken before
    // the wrapper lock.
    std::mutex developLock_;
    mutable std::mutex lock_; // the wrapper lock
    std::filesystem::path fileSource_;
    bool parseOK_ = false; // the file existed when the wrapper was made
    bool wantThumbNail_ = false;
    uint16_t imageWidth_ = 0;
    uint16_t imageHeight_ = 0;
    float cameraBaselineExposure_ = 0;
    float highlightExposureAdjust_ = 0;
    std::optional<platform::Dictionary> metaData_;
    std::optional<platform::Error> error_;
    std::shared_ptr<DNGCameraProfileAbstract> cameraProfile_;
    std::shared_ptr<ColorSyncProfileWrap> scannerProfile_;
    bool processAsMonchromeSensor_ = false;
    bool isOutputReferred_ = false;
    std::optional<std::string> uuid_;
    bool maintainHighlights_ = false;
};
