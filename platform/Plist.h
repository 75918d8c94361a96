#pragma once
// XML property lists, byte-compatible with what macOS writes: read and written with libplist.
//
// Limits of the format and the library, kept on purpose:
// - dates are whole seconds, between 1933 and 2069 (libplist holds them as 32-bit seconds
//   since 2001); a date outside is written as the nearest end of that range;
// - strings end at their first NUL character (XML cannot carry one);
// - an integer above the signed 64-bit range reads back wrapped, as the binary form does.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/Value.h"

namespace platform {

inline constexpr std::string_view kPlistErrorDomain = "LumivarPlistErrorDomain";

// File failures come in kPosixErrorDomain with the errno value.
enum class PlistErrorCode : int64_t {
    Malformed = 1, // not a property list
    NullRoot = 2,  // nothing to write
    TooLarge = 3,
    TooDeep = 4, // nested deeper than we accept
};

inline constexpr auto kPlistErrors = errorTable<PlistErrorCode>(
    kPlistErrorDomain, {
                           {PlistErrorCode::Malformed, "The data is not a valid XML property list."},
                           {PlistErrorCode::NullRoot, "There is no value to write to %s."}, // the path
                           {PlistErrorCode::TooLarge, "The property list is too large."},
                           {PlistErrorCode::TooDeep, "The property list is nested too deeply."},
                       });

// The XML text of a property list whose root is `root`. Null values are dropped; a null
// root gives an empty string.
std::string writeXmlPlist(const Value& root);
// Parses an XML property list. On failure returns false and fills `error` when given.
bool readXmlPlist(std::string_view xml, Value& out, Error* error = nullptr);

// Writes through a temporary file in the same folder renamed into place: a failure never
// leaves a truncated file behind. The folder must exist.
bool writePlistFile(const std::filesystem::path& path, const Value& root, Error* error = nullptr);
bool readPlistFile(const std::filesystem::path& path, Value& out, Error* error = nullptr);

} // namespace platform
