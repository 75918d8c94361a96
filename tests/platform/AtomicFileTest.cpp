#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

// Writes of every size, mixed, land byte for byte, whether the folder's file system takes
// writes past the cache (a disk) or not (tmpfs), and a rewind after blocks went out drops them.
TEST(AtomicFile, MixedWritesLandWholeWithOrWithoutTheCache) {
    std::vector<fs::path> folders{fs::path(::testing::TempDir()) / "atomic-file-mixed"};
    if (fs::is_directory("/dev/shm")) folders.push_back("/dev/shm/lumivar-atomic-file-mixed");
    std::string expected;
    for (size_t size :
         {size_t(200), size_t(6'000'017), size_t(1), size_t(4096), size_t(5'000'000), size_t(3)}) {
        std::string piece(size, '\0');
        for (size_t i = 0; i < size; ++i)
            piece[i] = char((expected.size() + i) * 2654435761u >> 13);
        expected += piece;
    }
    for (const fs::path& folder : folders) {
        fs::create_directories(folder);
        const fs::path target = folder / "out.bin";
        for (bool rewound : {false, true}) {
            platform::AtomicFile file(target);
            ASSERT_TRUE(file.open());
            if (rewound) {
                ASSERT_TRUE(file.write(std::string(9'000'000, 'z')));
                ASSERT_TRUE(file.rewind());
            }
            for (size_t at = 0, size = 200; at < expected.size(); at += size, size = size * 7 + 1)
                ASSERT_TRUE(file.write(std::string_view(expected).substr(at, size)));
            ASSERT_TRUE(file.commit());
            EXPECT_EQ(contents(target), expected) << folder << (rewound ? " after a rewind" : "");
        }
        fs::remove_all(folder);
    }
}
