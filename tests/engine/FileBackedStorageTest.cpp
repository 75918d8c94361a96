#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>
#include <vector>

#include "engine/core/FileBackedDataManager.h"
#include "engine/core/FileBackedFactoryNSData.h"
#include "engine/core/ImageBufferU16.h"
#include "platform/Paths.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;

namespace {

// A private temporary folder and, while it lives, a memory ceiling of `ceiling` bytes.
class StorageTest : public ::testing::Test {
  protected:
    void limitMemory(uint64_t ceiling) { manager().setMemoryCeiling(ceiling); }
    void TearDown() override {
        manager().flushReleases();
        manager().setMemoryCeiling(std::nullopt);
    }
    static FileBackedDataManager& manager() { return FileBackedDataManager::sharedFileBackedDataManager(); }

    std::vector<fs::path> tempFiles() const {
        std::vector<fs::path> found;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(platform::paths::temporary(), ec))
            if (entry.path().filename().string().starts_with("lumivartempfile."))
                found.push_back(entry.path());
        return found;
    }

    testsupport::TempHome home;
};

bool allZero(const uint8_t* bytes, uint64_t length) {
    for (uint64_t i = 0; i < length; ++i)
        if (bytes[i]) return false;
    return true;
}

TEST_F(StorageTest, OrdinaryMemoryIsZeroFilledAndMakesNoFile) {
    auto data = FileBackedFactoryNSData::create(1000, false);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->length(), 1000u);
    EXPECT_TRUE(allZero(data->bytes(), 1000));
    EXPECT_EQ(data->bytes(), data->mutableBytes());
    EXPECT_TRUE(tempFiles().empty());
}

TEST_F(StorageTest, RefusedMemoryFallsBackToAMappedFileRemovedOnRelease) {
    limitMemory(1 << 20);
    const uint64_t size = 4 << 20;
    auto data = FileBackedFactoryNSData::create(size, false);
    ASSERT_TRUE(data);
    auto files = tempFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(
        std::regex_match(files[0].filename().string(), std::regex(R"(lumivartempfile\.[A-Za-z0-9]{6})")));
    EXPECT_EQ(fs::file_size(files[0]), size);
    EXPECT_TRUE(allZero(data->bytes(), size));

    // The mapping is the file: what is written shows in it.
    std::memcpy(data->mutableBytes() + 4096, "pixels", 6);
    std::ifstream in(files[0], std::ios::binary);
    in.seekg(4096);
    char back[6];
    in.read(back, 6);
    EXPECT_EQ(std::string(back, 6), "pixels");

    data.reset();
    manager().flushReleases();
    EXPECT_FALSE(fs::exists(files[0]));
}

TEST_F(StorageTest, PreferringVirtualMemoryMapsAtOnce) {
    auto data = FileBackedFactoryNSData::create(64 << 10, true);
    ASSERT_TRUE(data);
    EXPECT_EQ(tempFiles().size(), 1u);
}

TEST_F(StorageTest, NeitherMemoryNorFileGivesNoStorageAndNoBuffer) {
    limitMemory(0);
    // A temporary folder that cannot be made: its parent is a file.
    std::ofstream(home.path() / "blocker") << "x";
    setenv("LUMIVAR_HOME", (home.path() / "blocker").c_str(), 1);
    EXPECT_FALSE(FileBackedFactoryNSData::create(4096, false));
    EXPECT_FALSE(ImageBufferU16::create(16, 16));
}

TEST_F(StorageTest, MappingsFromManyThreadsAreAllRemoved) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 8; ++i) {
                auto data = FileBackedFactoryNSData::create(64 << 10, true);
                ASSERT_TRUE(data);
                data->mutableBytes()[i] = uint8_t(i + 1);
            }
        });
    for (auto& t : threads)
        t.join();
    manager().flushReleases();
    EXPECT_TRUE(tempFiles().empty());
}

TEST_F(StorageTest, AddressesTheManagerDidNotMapAreFreedAsMemory) {
    // Under the address sanitizer a wrong release (unmapping heap memory) would abort.
    void* heap = std::calloc(64, 1);
    manager().deallocVM(heap);
    manager().deallocVM(nullptr);
}

TEST_F(StorageTest, SequentialWriterRefusesToPassTheEnd) {
    auto data = FileBackedFactoryNSData::create(16, false);
    ASSERT_TRUE(data);
    const uint8_t ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_TRUE(data->writeToData(ten, 10));
    EXPECT_FALSE(data->writeToData(ten, 10));
    EXPECT_EQ(std::memcmp(data->bytes(), ten, 10), 0);
    EXPECT_TRUE(allZero(data->bytes() + 10, 6));
    const std::vector<uint8_t> six(6, 0xEE);
    EXPECT_TRUE(data->appendBytes(six));
    EXPECT_EQ(data->bytes()[15], 0xEE);
    EXPECT_FALSE(data->appendBytes(std::vector<uint8_t>(1, 1)));
}

TEST_F(StorageTest, GivingUpStorageTwiceIsSafe) {
    limitMemory(0);
    auto data = FileBackedFactoryNSData::create(8192, false);
    ASSERT_TRUE(data);
    data->setFileName("scratch");
    data->doneWithData();
    data->doneWithData();
    EXPECT_EQ(data->bytes(), nullptr);
    EXPECT_EQ(data->length(), 0u);
    EXPECT_TRUE(data->fileName().empty());
    EXPECT_FALSE(data->writeToData("x", 1));
    manager().flushReleases();
    EXPECT_TRUE(tempFiles().empty());
}

} // namespace
