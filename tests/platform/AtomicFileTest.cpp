#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

// A writer that finds its first bytes void starts the file again: nothing of them stays,
// whether what follows is longer or shorter.
TEST(AtomicFile, RewindStartsTheFileAgain) {
    const fs::path folder = fs::path(::testing::TempDir()) / "atomic-file-rewind";
    fs::create_directories(folder);
    const fs::path target = folder / "out.bin";
    for (const std::string& second : {std::string("short"), std::string(100'000, 'x')}) {
        platform::AtomicFile file(target);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write(std::string(5'000, 'a')));
        ASSERT_TRUE(file.rewind());
        ASSERT_TRUE(file.write(second));
        ASSERT_TRUE(file.commit());
        EXPECT_EQ(contents(target), second);
    }
    fs::remove_all(folder);
}
