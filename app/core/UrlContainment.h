#pragma once
// Whether one location lies inside another, by whole path components compared without
// regard to case: the browser asks whether a folder lies inside the one the user granted.
// Both paths are made absolute and lexically normal first; a trailing separator adds no
// component, so "/a/b/" is "/a/b".
#include <filesystem>

namespace app {

// True when `folder` is a strict ancestor of `other`.
bool containsURL(const std::filesystem::path& folder, const std::filesystem::path& other);
// True when `folder` is `other` or an ancestor of it.
bool containsOrIsURL(const std::filesystem::path& folder, const std::filesystem::path& other);

} // namespace app
