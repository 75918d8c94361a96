#pragma once
// Failures of the DNG/TIFF and OpenEXR export fronts that are not the DNG code's own (those
// come in kDngErrorDomain with the DNG error code) nor the JPEG destination's.
#include <cstdint>
#include <string_view>

#include "platform/Error.h"

namespace exporting::errors {

inline constexpr std::string_view Domain = "LumivarExportErrorDomain";

enum Code : int64_t {
    NoDngWriter = 1,
    NoExrWriter = 2,
    ExrBadSize = 3,
    ExrNoImage = 4,
    ExrLibraryFailed = 5, // the library's own message is the reason
};

inline constexpr auto Table = platform::errorTable<Code>(
    Domain, {
                {NoDngWriter, "No dngWriter object"},
                {NoExrWriter, "No exrWriter object"},
                {ExrBadSize, "Cannot write an image of %s x %s pixels"}, // width, height
                {ExrNoImage, "No image or no file name to write"},
                {ExrLibraryFailed, "The OpenEXR file could not be written"},
            });

} // namespace exporting::errors
