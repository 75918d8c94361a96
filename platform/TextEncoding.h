#pragma once
// Conversions between legacy text encodings and UTF-8, on iconv.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The 8-bit encoding legacy text is taken to be in: the locale's when it is a single-byte
// legacy set, otherwise Windows-1252, which cameras and desktop tools write.
std::string defaultLegacyEncoding();

// The encoding used for Japanese JIS X 0208 text (its 8-bit EUC form).
inline constexpr const char* kJISX0208Encoding = "EUC-JP";

// Converts bytes between two iconv encodings; no value when any byte cannot be converted.
std::optional<std::string> convertText(std::string_view bytes, const char* from, const char* to);

} // namespace platform
