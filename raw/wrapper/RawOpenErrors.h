#pragma once
// The errors of the image wrappers, raw and Photo CD alike: failures to develop or give the
// image of a file.
#include <cstdint>
#include <string_view>

#include "platform/Error.h"

namespace raw::errors {

inline constexpr std::string_view Domain = "RawOpenErrorDomain";

enum Code : int64_t {
    // The decoder could not develop the file; its status text is the reason when it has one.
    DecodeFailed = -5,
    // The wrapper has no image to give: a Photo CD file it could not parse or build, or a call
    // raw files do not support. The decoder's text is the reason when it has one.
    NoImage = -15,
};

inline constexpr auto Table =
    platform::errorTable<Code>(Domain, {
                                           {DecodeFailed, "Raw format not recognized."},
                                           {NoImage, "Could not parse Photo CD file"},
                                       });

// The other reasons given with NoImage.
inline constexpr std::string_view BuildFailedText = "Could not build the Photo CD image levels";
inline constexpr std::string_view GetImageTableText = "Invalid function call to getImageTable";

} // namespace raw::errors
