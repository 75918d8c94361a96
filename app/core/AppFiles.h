#pragma once
// Folders and files of the application's own. The catalog's and the presets' folders lie
// under the application-support folder; their paths are fixed once per process, the folders
// themselves are made on use, so a folder removed while the program runs comes back.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace app {

// applicationSupport()/name.
std::filesystem::path supportFolderPath(std::string_view name);

// Makes the folder (and the application-support folder) when missing. Logs and gives none
// when either cannot be made; `created` tells whether it had to be made.
std::optional<std::filesystem::path> ensureSupportFolder(const std::filesystem::path& folder,
                                                         bool* created = nullptr);

// ASCII letters in lower case (file extensions, type names).
std::string lowercase(std::string_view text);
// The extension without its dot, in lower case.
std::string lowercaseExtension(const std::filesystem::path& path);

// Renames a damaged file of the user's to "<file>.damaged-<UTC time>" (with "-2", "-3"...
// when taken), so that nothing in it is written over, logs it and posts UserDataSetAside with
// `sender` as the object. The new path, or none with the error when it could not be renamed.
// `kind` names the file for people ("catalog", "preset") and goes into userInfo as "kind".
std::optional<std::filesystem::path> setDamagedFileAside(const std::filesystem::path& file,
                                                         std::string_view kind, const std::string& reason,
                                                         const void* sender,
                                                         platform::Error* error = nullptr);

// A failure in kPosixErrorDomain: "<what>: <strerror>".
platform::Error posixError(int err, const std::string& what);

} // namespace app
