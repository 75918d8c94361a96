// Inputs that once crashed or hung the decoder (found by fuzzing), each beside a one-line
// file holding the outcome it must keep giving.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "raw/core/BandRunner.h"
#include "tests/support/DecodeBytes.h"

namespace fs = std::filesystem;

namespace {

std::string readLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(RegressionInputs, EachKeepsItsOutcome) {
    const fs::path folder = fs::path(LUMIVAR_CORPUS_DIR) / "regressions" / "fuzz_decoder";
    raw::set_band_threads_enabled(false);
    int replayed = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const fs::path expected = entry.path();
        if (expected.extension() != ".expected") continue;
        const fs::path input = fs::path(expected).replace_extension();
        ASSERT_TRUE(fs::exists(input)) << input;
        const std::vector<uint8_t> bytes = readBytes(input);
        const testsupport::DecodeOutcome out = testsupport::decodeBytes(bytes.data(), bytes.size());
        EXPECT_EQ(out.summary(), readLine(expected)) << input.filename();
        ++replayed;
    }
    raw::set_band_threads_enabled(true);
    if (replayed == 0) GTEST_SKIP() << "no saved inputs yet";
}
