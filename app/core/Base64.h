#pragma once
// Base64 (RFC 4648, standard alphabet, "=" padding) and hexadecimal text of raw bytes.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace app {

// With a wrap width of 4 or more, CR LF follows every line of the width rounded down to a
// multiple of 4; the padded last group is never followed by a break. Empty data gives "".
std::string base64EncodedString(std::span<const uint8_t> data, int wrapWidth = 0);
// The text's UTF-8 bytes, encoded.
std::string base64EncodedString(std::string_view text, int wrapWidth = 0);

// Every character outside the alphabet (padding, line breaks, spaces) is skipped; a last
// group of 2 or 3 characters gives 1 or 2 bytes. Empty when nothing decodes.
platform::Data dataWithBase64EncodedString(std::string_view text);
// The decoded bytes as UTF-8 text; none when nothing decodes or the bytes are not UTF-8.
std::optional<std::string> stringWithBase64EncodedString(std::string_view text);

// Two lower-case hexadecimal digits per byte, in order.
std::string hexEncodedString(std::span<const uint8_t> data);

} // namespace app
