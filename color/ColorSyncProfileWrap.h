#pragma once
// One ICC profile with its class, colour space, description and file; or the automatic
// profile (neither profile nor file), which stands for the profile the image calls for.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/BufferProfile.h"
#include "platform/Value.h"

constexpr uint32_t fourCharCode(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
           uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3]));
}

class ColorSyncProfileWrap : public BufferProfile {
  public:
    using Bytes = std::vector<uint8_t>;

    static constexpr uint32_t kClassDisplay = fourCharCode("mntr");
    static constexpr uint32_t kClassOutput = fourCharCode("prtr");
    static constexpr uint32_t kClassInput = fourCharCode("scnr");
    static constexpr uint32_t kClassColorSpace = fourCharCode("spac");
    static constexpr uint32_t kSpaceRGB = fourCharCode("RGB ");
    static constexpr uint32_t kSpaceGray = fourCharCode("GRAY");
    static constexpr uint32_t kSpaceCMYK = fourCharCode("CMYK");
    static constexpr uint32_t kSpace3CLR = fourCharCode("3CLR");

    static constexpr const char* kClassKey = "Class_of_serialized_Object";
    static constexpr const char* kClassName = "ColorSyncProfileWrap";
    static constexpr const char* kDescriptionKey = "ScannerProfileDescription";
    static constexpr const char* kPathKey = "ScannerProfilePath";
    static constexpr const char* kURLKey = "ScannerProfileURL";

    // What iterating the installed profiles yields for one file.
    struct IterateData {
        uint32_t classType = 0;
        uint32_t spaceType = 0;
        std::string description;
        std::filesystem::path path;
    };

    static std::shared_ptr<ColorSyncProfileWrap> createAsAutoProfile();
    static std::shared_ptr<ColorSyncProfileWrap> createWithSRGB();
    static std::shared_ptr<ColorSyncProfileWrap> createWithLAB();
    static std::shared_ptr<ColorSyncProfileWrap> createWithLinearRGB();
    // Null for an empty path, a folder, or a file that is not a readable profile.
    static std::shared_ptr<ColorSyncProfileWrap> createWithCFPath(const std::filesystem::path& path);
    // Null for no bytes or bytes that are not a profile.
    static std::shared_ptr<ColorSyncProfileWrap> createWithBuffer(const uint8_t* bytes, uint32_t size);
    static std::shared_ptr<ColorSyncProfileWrap> createWithIterateData(const IterateData& record);
    // Reads the record of a profile file; nullopt when it is not a readable profile.
    static std::optional<IterateData> iterateDataForFile(const std::filesystem::path& path);

    // Null when a profile saved by description alone is no longer listed.
    static std::shared_ptr<ColorSyncProfileWrap> createFromPList(const platform::Dictionary& plist);
    platform::Dictionary objectSerializeForPList() const;

    // The profile at the path stored under "DefaultRGBProfile" (and so on) in the user defaults.
    static std::shared_ptr<ColorSyncProfileWrap> profileDefaultLAB() { return createWithLAB(); }
    static std::shared_ptr<ColorSyncProfileWrap> profileDefaultRGB();
    static std::shared_ptr<ColorSyncProfileWrap> profileDefaultGray();
    static std::shared_ptr<ColorSyncProfileWrap> profileDefaultCMYK();

    bool isAutoProfile() const;
    // The profile's bytes, read from its file on first use; null when there are none.
    std::shared_ptr<const Bytes> csRef();
    std::shared_ptr<const platform::ColorSpace> cgColorSpace() override;
    // The stored description, else the profile's own.
    std::string description();
    const std::optional<std::filesystem::path>& path() const { return path_; }
    uint32_t classType() const { return class_; }
    uint32_t spaceType() const { return space_; }
    // The rendering intent of the header; perceptual when there is no profile.
    uint32_t renderingIntent();
    void enableLog(bool on) { doLog_ = on; }

    // Of the file name when there is a file, else of the description.
    size_t hash();
    // Profiles are equal when both have files and their paths are equal.
    bool isEqual(const ColorSyncProfileWrap* other) const;

  private:
    ColorSyncProfileWrap() = default;
    static std::shared_ptr<ColorSyncProfileWrap> fromBytes(Bytes bytes);

    std::mutex lock_; // guards the lazily made members below
    std::shared_ptr<const Bytes> ref_;
    uint32_t class_ = 0;
    uint32_t space_ = 0;
    std::shared_ptr<const platform::ColorSpace> colorspace_;
    std::optional<std::string> name_;
    std::optional<std::filesystem::path> path_;
    bool doLog_ = false;
};
