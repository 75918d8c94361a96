#pragma once
// The lumivar command line: lumivar [--automation FILE] [--screenshots DIR] [FILE...]
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct LumivarCommandLine {
    std::optional<std::filesystem::path> automation;
    std::optional<std::filesystem::path> screenshots;
    std::vector<std::filesystem::path> files;
    bool help = false;
    std::string error; // not empty when the arguments make no sense

    static LumivarCommandLine parse(const std::vector<std::string>& arguments);
    static const char* usage();
};
