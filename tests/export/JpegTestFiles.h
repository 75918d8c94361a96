#pragma once
// Helpers of the JPEG export tests: test bitmaps, and the independent readers that check
// a written file (libturbojpeg for the pixels, libjpeg for the profile, exiftool for the
// metadata).
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Bitmap.h"

namespace jpegtest {

// A width x height bitmap of 16-bit little-endian RGBA whose colours run smoothly across it;
// grey: R = G = B, as the program's renders are.
std::shared_ptr<platform::Bitmap> gradient16(size_t width, size_t height, bool grey = false);
// The 8-bit value a 16-bit sample should become.
inline int expected8(uint16_t v) { return int((v * 255u + 32767u) / 65535u); }

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};
// Nullopt when the decoder fails or warns (corrupt data, a restart marker out of place).
std::optional<DecodedJpeg> decodeJpeg(const std::filesystem::path& path);
std::optional<DecodedJpeg> decodeJpegBytes(std::string_view jpeg);

// The embedded ICC profile as libjpeg reassembles it from its chunks; empty for none.
std::vector<uint8_t> readIccProfile(const std::filesystem::path& path);

bool haveExiftool();
// What exiftool prints for the arguments and the file (standard error included).
std::string exiftool(const std::string& arguments, const std::filesystem::path& path);
// "Group:Tag" -> printed value, from `exiftool -a -G1 -s` (add -n for numbers).
std::map<std::string, std::string> exiftoolTags(const std::filesystem::path& path,
                                                const std::string& extra = "");

} // namespace jpegtest

#define LV_REQUIRE_EXIFTOOL()                                                                                \
    do {                                                                                                     \
        if (!::jpegtest::haveExiftool()) GTEST_SKIP() << "exiftool is not installed";                        \
    } while (0)
