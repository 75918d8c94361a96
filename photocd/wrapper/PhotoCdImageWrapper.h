#pragma once
// The image wrapper of Photo CD image packs. It picks the resolution level from the user's
// preference (Base/16 for browser thumbnails), finds the 64Base extension beside the disc,
// chooses a scanner profile from the film and scanner data and converts the decoded pixels
// into a 16-bit RGBA buffer: opaque and unmatched for thumbnails, matched into the linear
// ProPhoto (D65) working space for full images. Its rows hold four samples a pixel, so it
// is no source for the raw combine stage.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "raw/wrapper/ImageWrapper.h"

class ImageBufferU16;
class pcdDecode;

class PhotoCdImageWrapper : public ImageWrapper {
  public:
    using Profile = std::shared_ptr<ColorSyncProfileWrap>;

    static constexpr const char* kSoftware = "Converted from Photo CD format by Lumivar V1.4";
    static constexpr int kMetaDataTextLimit = 127;

    // What became of a wanted 64Base extension.
    enum IpeStatus : unsigned { kIpeNotWanted = 0, kIpeMissing = 1, kIpeUnreadable = 2, kIpeReadable = 3 };

    // Stores the three; a missing file only shows when the wrapper parses it.
    PhotoCdImageWrapper(std::filesystem::path file, std::optional<std::string> fileUUID, bool thumbNail);
    ~PhotoCdImageWrapper() override;

    // Parses the file once; later calls answer the first result.
    bool preProcess();
    // The thumbnail as a 16-bit RGBA image; null unless the file parsed.
    std::shared_ptr<platform::Bitmap> getImageRep(const Profile& profile);
    // The same for thumbnail wrappers only: a copy of the pixels tagged with the profile's
    // space, or CCIR 709 / sRGB as the decoder's colour mode calls for.
    std::shared_ptr<platform::Bitmap> genCIImage(const Profile& profile);
    void genImages();
    // The rows of the full image, four samples a pixel; null for thumbnails and failures.
    std::shared_ptr<const uint16_t[]> masterImageBytes() override;
    // The image as float RGBA in the ProPhoto working space.
    std::shared_ptr<platform::Bitmap> getImageTable(const Profile& profile) override;
    std::optional<platform::Dictionary> getParameters() override;

    // Null before the file was parsed.
    std::optional<platform::Dictionary> metaDataDictionary();
    platform::Array metaDataArray();
    // One of the pack's 20 metadata items; empty outside them or before parsing.
    std::string metaDataValue(int index);
    std::string metaDataName(int index);
    // The scanning time in local time, "yyyy:MM:dd HH:mm:ss"; empty when unknown.
    std::string getEXIFDateTime();
    // The decoder's last message (a fallback to a lower level, say); none when empty.
    std::optional<std::string> getErrorString();

    Profile detectScannerProfile() override;
    void setScannerProfile(Profile profile) override;
    Profile bufferProfile() override;

    unsigned ipeStatus() const { return read(ipeStatus_); }
    // The converted image (shared, not copied); null until genImages made one.
    std::shared_ptr<ImageBufferU16> theImage() const { return read(theImage_); }

  protected:
    // Where the decoder comes from, so that a test can watch it.
    virtual std::unique_ptr<pcdDecode> createDecoder();

  private:
    // These expect the wrapper lock to be held.
    bool preProcessLocked();
    bool buildLevelsLocked();
    void genImagesLocked();
    bool convertLocked(const Profile& scanner);
    Profile detectScannerProfileLocked() const;
    std::optional<platform::Dictionary> metaDataDictionaryLocked() const;
    std::string itemLocked(int index, bool wantName) const;
    std::string exifDateTimeLocked() const;
    void failLocked(const std::string& decoderText, std::string_view fallback);

    std::unique_ptr<pcdDecode> decoder_;
    std::shared_ptr<ImageBufferU16> theImage_;
    unsigned ipeStatus_ = kIpeNotWanted;
    bool havePostProcessed_ = false;
    bool buildFailed_ = false;
};
