// Settings keys are written once, in the schema: a quoted key under the settings prefix
// anywhere else in the code is a second copy that can drift (a typo there fails silently).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "settings/Schema.h"

namespace fs = std::filesystem;

namespace {

// Files that may spell keys out, each for its reason.
const std::map<std::string, std::string> kAllowed{
    // Not a setting: the decoder's error text merely starts with the prefix.
    {"raw/fuji/FujiCompressed.h", "the compressed-file decoder's error text"},
    {"tests/raw/fuji/FujiCompressedTest.cpp", "the compressed-file decoder's error text"},
    // Tests that pin the stored names: the files and tables written before must still read.
    {"tests/engine/ThreadedImageEngineTest.cpp", "the engine's stage of each stored key"},
    {"tests/app/DocumentTest.cpp", "a new document's defaults by stored key"},
    {"tests/app/CatalogTest.cpp", "catalog files"},
    {"tests/app/PresetManagerTest.cpp", "preset files"},
    {"tests/app/SettingTypesTest.cpp", "the kinds of stored preset values"},
    {"tests/app/ProfileFormsTest.cpp", "settings through a property-list file"},
    {"tests/platform/PlistTest.cpp", "a settings dictionary through a property list"},
    {"tests/render/RenderFileSamplesTest.cpp", "settings files the render program reads"},
    {"tests/app/main/AutomationScriptTest.cpp", "automation scripts name settings by stored key"},
    {"fuzz/make_parser_seeds.cpp", "seed catalog and preset files as stored"},
};

bool isBuildFolder(const fs::path& folder) { return fs::exists(folder / "CMakeCache.txt"); }

// Each line of the file holding a quote followed by the prefix, as "line: text".
std::vector<std::string> quotedKeys(const fs::path& file) {
    const std::string needle = "\"" + std::string(settings::Prefix);
    std::vector<std::string> found;
    std::ifstream in(file);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number)
        if (line.find(needle) != std::string::npos) found.push_back(std::to_string(number) + ": " + line);
    return found;
}

TEST(SettingsLiterals, KeysAreSpelledOutOnlyInTheSchema) {
    const fs::path root = LUMIVAR_SOURCE_DIR;
    ASSERT_TRUE(fs::is_directory(root / "settings"));
    std::set<std::string> allowedSeen;
    size_t files = 0;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& path = it->path();
        if (it->is_directory()) {
            const std::string name = path.filename().string();
            if (name.starts_with(".") || isBuildFolder(path) || path == root / "settings")
                it.disable_recursion_pending();
            continue;
        }
        const std::string extension = path.extension().string();
        if (extension != ".cpp" && extension != ".h") continue;
        ++files;
        const std::string relative = path.lexically_relative(root).generic_string();
        const auto lines = quotedKeys(path);
        if (lines.empty()) continue;
        if (kAllowed.count(relative)) {
            allowedSeen.insert(relative);
            continue;
        }
        for (const std::string& line : lines)
            ADD_FAILURE() << relative << ":" << line
                          << "\n  name the schema's row (settings/Schema.h) instead";
    }
    EXPECT_GT(files, 500u) << "the scan missed the source tree";
    for (const auto& [file, reason] : kAllowed)
        EXPECT_TRUE(allowedSeen.count(file)) << file << " (" << reason << ") no longer spells a key out: "
                                             << "take it off the list";
}

} // namespace
