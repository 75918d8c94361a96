#pragma once
// The image wrapper of camera raw files. It develops the file twice through the decoder,
// the master rendering (AHD demosaicing) and the alternate one (LMMSE), on first request
// (both from one unpacking when both are asked for at once), as 16-bit R, G, B in the
// linear ProPhoto (D65) working space, and keeps the camera parameters of the last decode.
// A change of camera profile, monochrome processing or highlight handling drops both
// renderings; readers that hold one keep theirs.
//
// Decodes run one at a time under the develop lock, without the wrapper lock: metadata,
// size and camera parameters answer at once from the last finished decode while another
// runs, and change in one step when it ends.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "engine/core/DemosaicedRenderings.h"
#include "raw/wrapper/ImageWrapper.h"

class DCRaw;
struct DecodedRendering;

class rawWrapper : public ImageWrapper, public DemosaicedRenderings {
  public:
    struct FreeDeleter {
        void operator()(uint16_t* p) const noexcept { std::free(p); }
    };
    // What the decoder hands back: four values a pixel, released with std::free.
    using DecodedPixels = std::unique_ptr<uint16_t[], FreeDeleter>;

    using ImageWrapper::ImageWrapper;
    ~rawWrapper() override;

    // Develop what is missing first; null when that decode failed (see error()).
    std::shared_ptr<const uint16_t[]> masterImageBytes() override;
    std::shared_ptr<const uint16_t[]> alternateImageBytes() override;
    void genImages();
    std::optional<platform::Dictionary> getParameters() override;
    std::shared_ptr<platform::Bitmap>
    getImageTable(const std::shared_ptr<ColorSyncProfileWrap>& profile) override;
    std::shared_ptr<ColorSyncProfileWrap> bufferProfile() override;

    Held holdRenderings() override;
    Held holdMaster() override;
    Held holdRenderingsWithMasterFrame(uint16_t masterFrame) override;
    std::shared_ptr<BufferProfile> renderingsProfile() override { return bufferProfile(); }

    // Drops value 3 of each of `numpixels` pixels, in tasks on the shared queue. Frees the
    // input; null when there is none or no memory for the result.
    static std::shared_ptr<uint16_t[]> createRGBBufferFromRGBA(DecodedPixels rgba, int64_t numpixels);

    std::optional<std::string> dcStatus() const { return read(dcStatus_); }
    std::optional<std::string> dcMake() const { return read(dcMake_); }
    std::optional<std::string> dcModel() const { return read(dcModel_); }
    float dcWhitex() const { return read(dcWhitex_); }
    float dcWhitey() const { return read(dcWhitey_); }
    float cameraFromXYZ00() const { return cameraFromXYZ(0, 0); }
    float cameraFromXYZ01() const { return cameraFromXYZ(0, 1); }
    float cameraFromXYZ02() const { return cameraFromXYZ(0, 2); }
    float cameraFromXYZ10() const { return cameraFromXYZ(1, 0); }
    float cameraFromXYZ11() const { return cameraFromXYZ(1, 1); }
    float cameraFromXYZ12() const { return cameraFromXYZ(1, 2); }
    float cameraFromXYZ20() const { return cameraFromXYZ(2, 0); }
    float cameraFromXYZ21() const { return cameraFromXYZ(2, 1); }
    float cameraFromXYZ22() const { return cameraFromXYZ(2, 2); }
    std::optional<std::filesystem::path> theFile() const { return read(theFile_); }
    void setTheFile(std::optional<std::filesystem::path> file) { write(theFile_, std::move(file)); }

  protected:
    // What one decode found, published whole when it ends.
    struct Developed {
        DecodedPixels pixels; // null when the decode failed
        uint16_t width = 0, height = 0;
        uint16_t frame = 0; // as DecodedRendering's
        std::optional<std::string> status, make, model;
        float whitex = 0, whitey = 0;
        std::array<std::array<float, 3>, 3> cameraFromXYZ{};
        float baselineExposure = 0, highlightExposureAdjust = 0;
        bool outputReferred = false;
        std::optional<platform::Dictionary> metaData;
        std::optional<platform::Error> error; // set when the decode failed
    };

    // One decode, under the develop lock only: 0 the master, 1 the alternate. The settings
    // it depends on change only under that lock, so it reads them as they are.
    virtual Developed createBitMap(int which);
    // Both from one decode, as the same lock allows; no alternate when the file turns out
    // to be already rendered. A masterFrame lets the master be developed only that far in
    // from its edges.
    struct DevelopedPair {
        Developed master;
        std::optional<Developed> alternate;
    };
    virtual DevelopedPair createBitMaps(uint16_t masterFrame);

    std::optional<std::string> dcStatus_, dcMake_, dcModel_;
    float dcWhitex_ = 0, dcWhitey_ = 0;
    std::array<std::array<float, 3>, 3> cameraFromXYZ_{};

  private:
    void decodeSettingsChanged() override;
    // Develops the renderings that are missing; call with the develop lock held. A master
    // developed only within a frame counts as missing unless `masterFrame` allows it.
    void developMissing(bool withAlternate, uint16_t masterFrame = 0);
    void convertAndPublish(int which, Developed developed);
    void publish(int which, Developed developed, std::shared_ptr<uint16_t[]> rgb);
    void configure(DCRaw& decoder, int which) const;
    Developed developAlone(DCRaw& decoder, bool loaded) const;
    static Developed fromDecoder(const DCRaw& decoder, bool loaded, const DecodedRendering& rendering,
                                 DecodedPixels pixels);
    static void takeCameraParameters(const DCRaw& decoder, Developed& developed);
    float cameraFromXYZ(int row, int col) const { return read(cameraFromXYZ_)[row][col]; }

    static std::shared_ptr<uint16_t[]> createRGBFrameFromRGBA(DecodedPixels rgba, uint16_t width,
                                                              uint16_t height, uint16_t frame);

    std::shared_ptr<uint16_t[]> masterImage_;
    uint16_t masterFrame_ = 0; // as Held::masterFrame
    std::shared_ptr<uint16_t[]> alternateImage_;
    std::optional<std::filesystem::path> theFile_;
};
