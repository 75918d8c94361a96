#pragma once
// Reading ICC profile bytes through Little CMS: the header fields and description we
// keep, and file reading with a size cap. Internal to the colour layer.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace icc {

struct HeaderInfo {
    uint32_t classType = 0;
    uint32_t spaceType = 0;
    uint32_t intent = 0;
    std::string description;
};

// Nullopt when Little CMS refuses the bytes as a profile.
std::optional<HeaderInfo> readHeader(const std::vector<uint8_t>& bytes);
std::optional<HeaderInfo> readFileHeader(const std::filesystem::path& path);
// The file's bytes; nullopt (with the reason logged) when it cannot be read or is too
// large to be a profile.
std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path);
// Routes Little CMS's error messages to our log; idempotent.
void installErrorHandler();

} // namespace icc
