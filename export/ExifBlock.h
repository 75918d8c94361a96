#pragma once
// The EXIF block of a JPEG file, the payload of its APP1 segment: "Exif\0\0" and a TIFF
// structure holding the metadata dictionary's {TIFF} in IFD0, its {Exif} and {ExifAux} in
// the EXIF directory and its {GPS} in the GPS directory, with the fields EXIF 2.3 requires
// of a compressed image. The pixels are written upright, so Orientation is always 1.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Value.h"

struct ExifImageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    bool sRGB = false; // ColorSpace 1; otherwise 65535, and the embedded profile tells
};

// The largest payload of an APP1 segment: its length field counts its own two bytes.
inline constexpr size_t kExifBlockLimit = 65533;

// The block; nullopt, with the reason in *failure, when a value cannot be encoded or the
// block would exceed kExifBlockLimit. Keys the block does not write are passed over.
std::optional<std::vector<uint8_t>> makeExifBlock(const platform::Dictionary& properties,
                                                  const ExifImageInfo& image, std::string* failure = nullptr);

// "Lumivar V<version>", the Software of the files the program writes.
std::string lumivarSoftwareName();
