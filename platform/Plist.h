#pragma once
// XML property lists, byte-compatible with what macOS writes: read and written with libplist.
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/Value.h"

namespace platform {

// The XML text of a property list whose root is `root`. Null values are dropped.
std::string writeXmlPlist(const Value& root);
// Parses an XML property list. On failure returns false and fills `error` when given.
bool readXmlPlist(std::string_view xml, Value& out, Error* error = nullptr);

// Writes through a temporary file in the same folder renamed into place: a failure never
// leaves a truncated file behind.
bool writePlistFile(const std::filesystem::path& path, const Value& root, Error* error = nullptr);
bool readPlistFile(const std::filesystem::path& path, Value& out, Error* error = nullptr);

} // namespace platform
