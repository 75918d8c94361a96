#pragma once
// The document export's front for OpenEXR files: owns one exrWriter, copies the image's
// metadata dictionary into it and picks one of four variants by output format:
// 0 half RGBA, 1 float RGBA, 2 half RGB, 3 float RGB (other values keep the last choice).
#include "export/exrWriter.h"
#include "platform/Error.h"
#include "platform/Value.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class exrWrapper {
  public:
    // A wrapper without a writer when none could be made; its writes then fail with NoExrWriter.
    exrWrapper(int width, int height);
    ~exrWrapper();
    exrWrapper(const exrWrapper&) = delete;
    exrWrapper& operator=(const exrWrapper&) = delete;

    // Writes width x height pixels of four floats (RGBA) to fileName with the metadata of
    // the image's property dictionary (a null value for none). False on failure, with the
    // error in exporting::errors. The type is not used.
    bool writeToFile(const float* buffer, int outputFormat, const std::filesystem::path& fileName,
                     const platform::Value& metaData, std::string_view type,
                     platform::Error* error = nullptr);

    // Copies {TIFF}, {Exif} and {ExifAux} entries into the writer's header.
    void addMetaData(const platform::Value& metaData);
    void setEXIFFromMacImageProperty(std::string_view key, const platform::Dictionary& properties);
    static std::optional<std::string> decodeObject(const platform::Dictionary& properties,
                                                   std::string_view key, int32_t* iValue, double* fValue) {
        return decodeMetadataValue(properties, key, iValue, fValue);
    }

    static bool logThisObject() { return false; }

  private:
    std::unique_ptr<exrWriter> exrWriter_;
};
