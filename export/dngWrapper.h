#pragma once
// The document export's front for DNG and TIFF files: owns one DngTiffWriter and copies the
// image's property dictionary into its EXIF record over a few fixed camera texts.
#include "export/DngTiffWriter.h"
#include "export/MetadataKey.h"
#include "platform/Error.h"
#include "platform/Value.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class dngWrapper {
  public:
    // What the EXIF record says before the image's own make, model and software replace it.
    static constexpr const char* kFixedMake = "Lumivar";
    static constexpr const char* kFixedModel = "Virtual camera";
    static constexpr const char* kFixedSoftware = "Lumivar";

    // A wrapper without a writer when none could be made; its writes then fail with NoDngWriter.
    dngWrapper(int width, int height);
    ~dngWrapper();
    dngWrapper(const dngWrapper&) = delete;
    dngWrapper& operator=(const dngWrapper&) = delete;

    // outputFormat 1: the buffer is a one-plane RGGB mosaic; anything else three-plane linear
    // RGB (width x height x 3 samples). embedFile may be empty. The type names DNG (its text
    // holds "dng") or "public.tiff". False on failure, with the writer's error (see
    // DngTiffWriter), or exporting::errors::NoDngWriter without a writer.
    bool writeToFile(const uint16_t* buffer, int outputFormat, const std::filesystem::path& fileName,
                     const std::filesystem::path& embedFile, const platform::Value& metaData,
                     std::string_view type, platform::Error* error = nullptr);
    // The same, letting the buffer go as soon as the writer holds its own copy of the samples,
    // so the peak of a large export holds one copy fewer.
    bool writeToFile(std::unique_ptr<uint16_t[]> buffer, int outputFormat,
                     const std::filesystem::path& fileName, const std::filesystem::path& embedFile,
                     const platform::Value& metaData, std::string_view type,
                     platform::Error* error = nullptr);

    // Copies {Exif}, {TIFF} and {ExifAux} entries into the writer's EXIF record.
    void addMetaData(const platform::Value& metaData);
    void setEXIFFromMacImageProperty(std::string_view key, const platform::Dictionary& properties);
    static std::optional<std::string> decodeObject(const platform::Dictionary& properties,
                                                   std::string_view key, int32_t* iValue, double* fValue) {
        return decodeMetadataValue(properties, key, iValue, fValue);
    }

    static bool logThisObject() { return false; }

  private:
    // owned, when given, is let go once the writer has read the samples.
    bool write(const uint16_t* buffer, std::unique_ptr<uint16_t[]>* owned, int outputFormat,
               const std::filesystem::path& fileName, const std::filesystem::path& embedFile,
               const platform::Value& metaData, std::string_view type, platform::Error* error);
    void copyGroup(const std::string& group, const platform::Dictionary& properties);
    void copyResolution(const platform::Dictionary& tiff);

    std::unique_ptr<DngTiffWriter> dngWriter_;
};
