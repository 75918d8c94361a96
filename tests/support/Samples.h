#pragma once
// Real camera files live outside the repository; tests skip when one is missing.
#include <filesystem>
#include <string>

namespace testsupport {

inline std::filesystem::path samplePath(const std::string& name) {
    return std::filesystem::path(LUMIVAR_SAMPLES_DIR) / name;
}

} // namespace testsupport

// Skips the current test when the named sample file is absent.
#define LV_REQUIRE_SAMPLE(name)                                                                              \
    do {                                                                                                     \
        if (!std::filesystem::exists(::testsupport::samplePath(name)))                                       \
            GTEST_SKIP() << "sample " << (name) << " not present";                                           \
    } while (0)
