#pragma once
// Where Lumivar keeps its files. With $LUMIVAR_HOME set, everything lives under it
// (tests point it at a fresh temporary folder so they never touch the user's files).
#include <filesystem>

namespace platform::paths {

// The application-support folder: $XDG_DATA_HOME/Lumivar (~/.local/share/Lumivar).
std::filesystem::path applicationSupport();
// The configuration folder: $XDG_CONFIG_HOME/Lumivar (~/.config/Lumivar).
std::filesystem::path config();
// The app-private temporary folder under $TMPDIR (default /var/tmp), per user.
std::filesystem::path temporary();

// Creates the folder (and its parents) when missing; returns it.
std::filesystem::path ensure(const std::filesystem::path& folder);

} // namespace platform::paths
