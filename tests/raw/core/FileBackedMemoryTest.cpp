#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/Paths.h"
#include "raw/core/FileBackedMemory.h"
#include "tests/support/TempHome.h"

using namespace raw;
namespace fs = std::filesystem;

namespace {

int liveMappings(const DecoderState& s) {
    int n = 0;
    for (auto* r = s.mapping_list; r; r = r->next)
        ++n;
    return n;
}

bool folderHoldsFiles(const fs::path& folder) {
    std::error_code ec;
    return fs::exists(folder, ec) && !fs::is_empty(folder, ec);
}

bool allZero(const void* p, size_t n) {
    auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; i += 4093)
        if (b[i]) return false;
    return b[n - 1] == 0;
}

} // namespace

TEST(FileBackedMemory, OneMebibyteAndMoreIsMappedWhenAllowed) {
    testsupport::TempHome home;
    auto s = std::make_unique<DecoderState>();
    s->use_file_backed_memory = true;
    void* small = file_backed_calloc(*s, 1048575, 1);
    EXPECT_EQ(liveMappings(*s), 0);
    void* big = file_backed_calloc(*s, 1, 1048576);
    void* bigger = file_backed_calloc(*s, 3, 1048576);
    ASSERT_EQ(liveMappings(*s), 2);
    EXPECT_EQ(s->mapping_list->address, big) << "records kept oldest first";
    ASSERT_TRUE(allZero(big, 1048576));
    ASSERT_TRUE(allZero(bigger, 3 * 1048576));
    static_cast<uint8_t*>(bigger)[3 * 1048576 - 1] = 7;

    EXPECT_FALSE(folderHoldsFiles(platform::paths::temporary())) << "mapped files have no name";
    file_backed_free(*s, small); // a heap block while mappings live
    EXPECT_EQ(liveMappings(*s), 2);
    file_backed_free(*s, bigger);
    EXPECT_EQ(liveMappings(*s), 1);
    file_backed_free(*s, big);
    file_backed_free(*s, nullptr);
    EXPECT_EQ(s->mapping_list, nullptr);
}

TEST(FileBackedMemory, HeapWhenNotAllowedOrWhenTheFolderIsUnusable) {
    testsupport::TempHome home;
    auto s = std::make_unique<DecoderState>();
    void* plain = file_backed_calloc(*s, 4, 1048576);
    EXPECT_EQ(liveMappings(*s), 0);
    file_backed_free(*s, plain);

    // A plain file where the temporary folder should be: no mapping can be made.
    std::ofstream(platform::paths::temporary()) << "in the way";
    s->use_file_backed_memory = true;
    void* fallback = file_backed_calloc(*s, 2, 1048576);
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(liveMappings(*s), 0);
    EXPECT_TRUE(allZero(fallback, 2 * 1048576));
    file_backed_free(*s, fallback);
}

TEST(FileBackedMemory, OverflowingSizesGiveNull) {
    auto s = std::make_unique<DecoderState>();
    EXPECT_EQ(file_backed_calloc(*s, UINT64_MAX / 2, 3), nullptr);
    uint64_t bytes = 0;
    EXPECT_FALSE(checked_size(1ull << 33, 1ull << 31, bytes));
    EXPECT_TRUE(checked_size(65535 + 7, 65535ull * 8, bytes));
    EXPECT_EQ(bytes, (65535ull + 7) * 65535 * 8);
}

TEST(FileBackedMemory, ReleaseAllUnmapsLeftovers) {
    testsupport::TempHome home;
    auto s = std::make_unique<DecoderState>();
    s->use_file_backed_memory = true;
    file_backed_calloc(*s, 1, 2 * 1048576);
    file_backed_calloc(*s, 1, 2 * 1048576);
    EXPECT_EQ(liveMappings(*s), 2);
    file_backed_release_all(*s);
    EXPECT_EQ(s->mapping_list, nullptr);
}
