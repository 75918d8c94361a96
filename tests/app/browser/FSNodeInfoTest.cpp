// Which items a folder shows, by the "BrowserFileSelect" setting and the Pictures rule.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>

#include "app/browser/FSNodeInfo.h"
#include "app/core/AppTables.h"
#include "app/core/Keys.h"
#include "platform/UserDefaults.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using browser::FSNodeInfo;

namespace {

std::set<std::string> listed(const fs::path& folder, std::vector<fs::path> doNotRecurse = {}) {
    std::set<std::string> names;
    const auto root = FSNodeInfo::create(folder, std::move(doNotRecurse));
    for (const auto& node : root->subNodes())
        names.insert(node->lastPathComponent());
    return names;
}

class BrowserFolder : public testing::Test {
  protected:
    void SetUp() override {
        app::registerApplicationDefaults(platform::UserDefaults::standard());
        testsupport::writeFile(folder.path(), "photo.jpg", std::string("not really a JPEG"));
        testsupport::writeFile(folder.path(), "IMG.CR2", std::string("raw"));
        testsupport::writeFile(folder.path(), "notes.txt", std::string("text"));
        testsupport::writeFile(folder.path(), ".hidden.dng", std::string("raw"));
        fs::create_directories(folder / "Folder" / "Inner");
        testsupport::writeFile(folder / "Folder", "inside.dng", std::string("raw"));
    }
    testsupport::TempHome home;
    testsupport::TempFolder folder;
};

TEST_F(BrowserFolder, FileSelectSettingChoosesWhatIsListed) {
    const struct {
        int select;
        std::set<std::string> shown;
    } cases[] = {
        {0, {"IMG.CR2", "Folder"}},
        {1, {"IMG.CR2", "Folder", "photo.jpg"}},
        {2, {"IMG.CR2", "Folder", "photo.jpg", "notes.txt"}},
        {7, {"IMG.CR2", "Folder", "photo.jpg", "notes.txt"}},
    };
    for (const auto& c : cases) {
        platform::UserDefaults::standard().setInteger(c.select, app::defaults::BrowserFileSelect);
        EXPECT_EQ(listed(folder.path()), c.shown) << "BrowserFileSelect " << c.select;
    }
}

TEST_F(BrowserFolder, UnregisteredFileSelectMeansImagesToo) {
    platform::UserDefaults::resetStandardUserDefaults(); // nothing registered, nothing stored
    EXPECT_TRUE(listed(folder.path()).count("photo.jpg"));
}

TEST_F(BrowserFolder, PicturesFolderListsFilesOnlyButItsSubfoldersListFolders) {
    EXPECT_EQ(listed(folder.path(), {folder.path()}), (std::set<std::string>{"IMG.CR2", "photo.jpg"}));
    // The list is inherited, but it names the top folder only.
    const auto root = FSNodeInfo::create(folder.path(), {folder.path()});
    const auto sub = FSNodeInfo::create(root.get(), "Folder");
    std::set<std::string> inner;
    for (const auto& node : sub->subNodes())
        inner.insert(node->lastPathComponent());
    EXPECT_EQ(inner, (std::set<std::string>{"Inner", "inside.dng"}));
    // A link to the Pictures folder is the Pictures folder.
    fs::create_directory_symlink(folder.path(), home.path() / "Pictures");
    EXPECT_FALSE(listed(folder.path(), {home.path() / "Pictures"}).count("Folder"));
}

TEST_F(BrowserFolder, NodeAttributesAndGridTexts) {
    fs::create_symlink(folder / "IMG.CR2", folder / "link.CR2");
    const auto root = FSNodeInfo::create(folder.path(), {});
    const auto& nodes = root->subNodes();
    const auto find = [&](const std::string& name) {
        return *std::find_if(nodes.begin(), nodes.end(),
                             [&](auto& n) { return n->lastPathComponent() == name; });
    };
    const auto raw = find("IMG.CR2");
    EXPECT_FALSE(raw->isLink());
    EXPECT_FALSE(raw->isDirectory());
    EXPECT_TRUE(raw->isReadable());
    EXPECT_EQ(raw->fileSize(), 3u);
    EXPECT_EQ(raw->imageTitle(), "IMG");
    EXPECT_EQ(raw->imageSubtitle(), "CR2");
    EXPECT_EQ(raw->imageUID(), (folder / "IMG.CR2").string());
    EXPECT_EQ(raw->parentNode(), root.get());
    EXPECT_EQ(raw->returnSize(), "3 B");
    EXPECT_TRUE(find("link.CR2")->isLink());
    EXPECT_TRUE(find("Folder")->isDirectory());
    EXPECT_EQ(find("Folder")->fsType(), "Directory");

    // The list is kept until invalidated.
    testsupport::writeFile(folder.path(), "new.nef", std::string("raw"));
    EXPECT_EQ(root->subNodes().size(), nodes.size());
    root->invalidateChildren();
    EXPECT_EQ(root->subNodes().size(), 5u);
}

TEST(FileFilter, RawExtensionsAnyCaseAndReadableTypes) {
    EXPECT_EQ(browser::isImageFile("x/IMG.Cr2", false, 0), true);
    EXPECT_EQ(browser::isImageFile("x/a.png", false, 1), true);
    EXPECT_EQ(browser::isImageFile("x/a.png", false, 0), false);
    EXPECT_EQ(browser::isImageFile("x/noextension", false, 1), false);
}

} // namespace

namespace {

TEST(FolderOrder, ByNameCaseAsideAndNumbersByValue) {
    testsupport::TempHome home;
    testsupport::TempFolder folder;
    app::registerApplicationDefaults(platform::UserDefaults::standard());
    for (const char* name : {"IMG_10.dng", "img_9.dng", "IMG_0100.dng", "b.dng", "A.dng", "IMG_9.DNG"})
        testsupport::writeFile(folder.path(), name, std::string("raw"));
    const auto root = FSNodeInfo::create(folder.path(), {});
    std::vector<std::string> names;
    for (const auto& node : root->subNodes())
        names.push_back(node->lastPathComponent());
    EXPECT_EQ(names, (std::vector<std::string>{"A.dng", "b.dng", "IMG_9.DNG", "img_9.dng", "IMG_10.dng",
                                               "IMG_0100.dng"}));
}

} // namespace
