#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/core/CatalogStore.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "platform/Plist.h"
#include "tests/app/AppHome.h"

namespace fs = std::filesystem;
using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

std::shared_ptr<PropertyListStore> catalog() {
    return CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog");
}

fs::path catalogPath() { return platform::paths::applicationSupport() / "Catalog" / "LumivarCatalog.plist"; }

// An entry "path:marker": the raw file's path and a value telling versions apart.
Dictionary entry(const std::string& spec) {
    const auto colon = spec.find(':');
    return {{"Lumivar_UUID", "/photos/" + spec.substr(0, colon)}, {"marker", spec.substr(colon + 1)}};
}

// What the file holds, read by the property-list reader alone, as "path:marker" items.
std::vector<std::string> onDisk() {
    Value root;
    if (!platform::readPlistFile(catalogPath(), root) || !root.array()) return {"<unreadable>"};
    std::vector<std::string> out;
    for (const Value& e : *root.array())
        out.push_back(e.find("Lumivar_UUID")->stringValue().substr(8) + ":" +
                      e.find("marker")->stringValue());
    return out;
}

void writeCatalog(const std::vector<std::string>& specs) {
    Array items;
    for (const auto& s : specs)
        items.push_back(entry(s));
    fs::create_directories(catalogPath().parent_path());
    ASSERT_TRUE(platform::writePlistFile(catalogPath(), Value(items)));
}

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(Catalog, StoringReplacesEveryEntryOfThePathAndMovesItToTheEnd) {
    enum class Op { Add, Remove, Update };
    struct Case {
        const char* name;
        std::vector<std::string> before;
        Op op;
        std::string item;
        std::vector<std::string> after;
    };
    const std::vector<Case> cases{
        {"a new path appends", {"a:1", "b:1"}, Op::Add, "c:1", {"a:1", "b:1", "c:1"}},
        {"a stored path is replaced at the end",
         {"a:1", "b:1", "c:1"},
         Op::Add,
         "a:2",
         {"b:1", "c:1", "a:2"}},
        {"duplicates collapse", {"a:1", "b:1", "a:0"}, Op::Add, "a:2", {"b:1", "a:2"}},
        {"remove takes every entry of the path", {"a:1", "b:1", "a:0"}, Op::Remove, "a:x", {"b:1"}},
        {"update merges into the entry and moves it", {"a:1", "b:1"}, Op::Update, "a:3", {"b:1", "a:3"}},
        {"update without an entry changes nothing", {"a:1"}, Op::Update, "z:3", {"a:1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        apptest::AppHome home;
        writeCatalog(c.before);
        const Dictionary item = entry(c.item);
        const bool ok = c.op == Op::Add      ? catalog()->addItem(&item)
                        : c.op == Op::Remove ? catalog()->removeItem(item)
                                             : catalog()->updateItem(item);
        EXPECT_TRUE(ok);
        EXPECT_EQ(onDisk(), c.after);
        if (c.op == Op::Add) {
            auto stored = catalog()->getItemForUUID(item.at("Lumivar_UUID").stringValue());
            ASSERT_TRUE(stored);
            EXPECT_EQ(*stored, item);
        }
    }
}

TEST(Catalog, NoFileReadsAsNothingAndTheFirstStoreMakesFolderAndFile) {
    apptest::AppHome home;
    EXPECT_FALSE(catalog()->getItemForUUID("/photos/a"));
    EXPECT_FALSE(catalog()->imageData());
    EXPECT_FALSE(catalog()->imageDataFile());
    fs::remove_all(catalogPath().parent_path());

    const Dictionary first = entry("a:1");
    ASSERT_TRUE(catalog()->addItem(&first));
    EXPECT_EQ(onDisk(), std::vector<std::string>{"a:1"});
    EXPECT_EQ(catalog()->imageData()->size(), 1u);
    EXPECT_EQ(catalog()->imageDataFile()->size(), fs::file_size(catalogPath()));
    EXPECT_FALSE(catalog()->addItem(nullptr));

    EXPECT_TRUE(catalog()->deleteCurrentCatalog());
    EXPECT_FALSE(fs::exists(catalogPath()));
    EXPECT_FALSE(catalog()->getItemForUUID("/photos/a"));
    EXPECT_TRUE(catalog()->deleteCurrentCatalog()) << "nothing left to delete is no failure";
}

TEST(Catalog, ValueKindsSurviveTheFile) {
    apptest::AppHome home;
    Dictionary settings{{"Lumivar_UUID", "/photos/kinds.nef"}, {"Lumivar_JPEGQuality", 10.0},
                        {"Lumivar_ExportFileType", 1},         {"Lumivar_SceneReferred", true},
                        {"Lumivar_Absent", Value()},           {"Lumivar_Nested", Dictionary{{"inner", -3}}}};
    ASSERT_TRUE(catalog()->addItem(&settings));
    CatalogStore::sharedMultiDataStore().forgetStores(); // read the file afresh

    auto back = catalog()->getItemForUUID("/photos/kinds.nef");
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->at("Lumivar_JPEGQuality").isReal());
    EXPECT_EQ(back->at("Lumivar_JPEGQuality"), Value(10.0));
    EXPECT_TRUE(back->at("Lumivar_ExportFileType").isInteger());
    EXPECT_EQ(back->at("Lumivar_SceneReferred"), Value(true));
    EXPECT_EQ(back->at("Lumivar_Nested"), Value(Dictionary{{"inner", -3}}));
    EXPECT_FALSE(back->count("Lumivar_Absent"));
    const std::string xml = bytesOf(catalogPath());
    EXPECT_NE(xml.find("<real>10"), std::string::npos);
    EXPECT_NE(xml.find("<true/>"), std::string::npos);
}

TEST(Catalog, ADamagedCatalogIsSetAsideByteForByte) {
    const std::vector<std::string> damaged{
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><dict><key>Lumivar_UUID</key>",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>", // parses, but no array
        std::string("\x00\x01\xff garbage", 11),
    };
    for (const auto& bytes : damaged) {
        apptest::AppHome home;
        platform::ScopedFixedClock clock(
            std::chrono::system_clock::from_time_t(1704164645)); // 2024-01-02 03:04:05
        fs::create_directories(catalogPath().parent_path());
        std::ofstream(catalogPath(), std::ios::binary) << bytes;

        std::vector<Dictionary> told;
        auto& center = platform::NotificationCenter::defaultCenter();
        const auto token =
            center.addObserver(platform::notification::UserDataSetAside, nullptr,
                               [&](const platform::Notification& n) { told.push_back(n.userInfo); });
        EXPECT_FALSE(catalog()->getItemForUUID("/photos/a"));
        EXPECT_FALSE(catalog()->getItemForUUID("/photos/b")) << "told once, not at every read";
        center.removeObserver(token);
        const fs::path aside = catalogPath().string() + ".damaged-20240102T030405Z";
        ASSERT_TRUE(fs::exists(aside));
        EXPECT_EQ(bytesOf(aside), bytes);
        // The photographer is told which file it was and where it is kept.
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].at("kind"), Value("catalog"));
        EXPECT_EQ(told[0].at("file"), Value(catalogPath().string()));
        EXPECT_EQ(told[0].at("aside"), Value(aside.string()));
        EXPECT_FALSE(told[0].at("reason").stringValue().empty());

        const Dictionary item = entry("a:1");
        EXPECT_TRUE(catalog()->addItem(&item));
        EXPECT_EQ(onDisk(), std::vector<std::string>{"a:1"});
        EXPECT_EQ(bytesOf(aside), bytes) << "the set-aside file is left alone";
    }
}

TEST(Catalog, ACatalogThatCannotBeReadIsNeverWrittenOver) {
    apptest::AppHome home;
    fs::create_directories(catalogPath() / "inside"); // a folder where the file should be
    const Dictionary item = entry("a:1");
    platform::Error error;
    EXPECT_FALSE(catalog()->addItem(&item, &error));
    EXPECT_EQ(error.domain, platform::kPosixErrorDomain);
    EXPECT_TRUE(fs::is_directory(catalogPath() / "inside"));
    EXPECT_FALSE(catalog()->getItemForUUID("/photos/a"));
}

TEST(Catalog, TheKeptCatalogFollowsChangesOfTheFile) {
    apptest::AppHome home;
    writeCatalog({"a:1"});
    EXPECT_EQ(catalog()->getItemForUUID("/photos/a")->at("marker"), Value("1"));
    writeCatalog({"a:2", "b:2"}); // another process stores
    EXPECT_EQ(catalog()->getItemForUUID("/photos/a")->at("marker"), Value("2"));
    const Dictionary c = entry("c:3");
    ASSERT_TRUE(catalog()->addItem(&c));
    EXPECT_EQ(onDisk(), (std::vector<std::string>{"a:2", "b:2", "c:3"}));
}

// A store writes the whole file; killing the writer at any moment leaves a catalog that
// reads whole, holding either the old entries or a later complete set.
TEST(Catalog, AWriterKilledInsideAStoreLeavesTheOldCatalogReadable) {
    apptest::AppHome home;
    std::vector<std::string> before;
    for (int i = 0; i < 400; ++i)
        before.push_back("old" + std::to_string(i) + ":" + std::string(2000, 'x'));
    writeCatalog(before);

    for (int attempt = 0; attempt < 3; ++attempt) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) {
                const Dictionary item = entry("new" + std::to_string(i) + ":" + std::string(2000, 'y'));
                catalog()->addItem(&item);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 70 * attempt));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));

        const auto entries = onDisk();
        ASSERT_NE(entries, std::vector<std::string>{"<unreadable>"});
        EXPECT_GE(entries.size(), before.size());
        EXPECT_EQ(entries.front().substr(0, 5), "old0:");
    }
}

// An entry the reader would refuse (nested deeper than any settings file) would make the
// whole catalog unreadable: it is refused and the catalog stays as it was.
TEST(Catalog, AnEntryThatCouldNotBeReadBackIsRefused) {
    apptest::AppHome home;
    writeCatalog({"a:1"});
    Dictionary deep = entry("a:2");
    for (int i = 0; i < 600; ++i)
        deep = Dictionary{{"Lumivar_UUID", "/photos/a"}, {"nested", deep}};
    platform::Error error;
    EXPECT_FALSE(catalog()->addItem(&deep, &error));
    EXPECT_EQ(error.domain, platform::kPlistErrorDomain);
    EXPECT_EQ(onDisk(), std::vector<std::string>{"a:1"});
}
