#include "app/core/FileManagerOps.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
using namespace app;
using testsupport::TempFolder;

namespace {

// Makes the files (and their folders) named relative to the folder.
void makeFiles(const fs::path& folder, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        fs::create_directories((folder / name).parent_path());
        std::ofstream(folder / name) << name;
    }
}

// The found file relative to the folder, or "" for none.
std::string found(const fs::path& folder, const std::optional<fs::path>& file) {
    return file ? file->lexically_relative(folder).string() : "";
}

// Sets the immutable flag, which even root cannot remove past; cleared when it goes.
class ImmutableFile {
  public:
    explicit ImmutableFile(fs::path path) : path_(std::move(path)) { set_ = setFlag(true); }
    ~ImmutableFile() {
        if (set_) setFlag(false);
    }
    bool isSet() const { return set_; }

  private:
    bool setFlag(bool on) {
        int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return ok;
    }
    fs::path path_;
    bool set_ = false;
};

} // namespace

TEST(FileManagerOps, ParseToBaseNameReadsEditSuffixesAndCopyMarks) {
    const std::pair<const char*, const char*> cases[] = {
        {"IMG_1234_v2", "IMG_1234"},
        {"IMG_1234-1", "IMG_1234"},
        {"IMG_1234 2", "IMG_1234"},
        {"IMG_1234-edited", "IMG_1234"},
        {"IMG_1234-edit", "IMG_1234"},
        {"IMG_1234.EDIT", "IMG_1234"},
        {"IMG_1234", "IMG"},
        {"img_1234_V12", "img_1234"},
        {"IMG_1234-edit-2", "IMG_1234"},
        {"IMG_1234 v3", "IMG_1234"},
        {"DSC01234", nullptr},
        {"A-1", nullptr},
        {"IMG_12a4", nullptr},
        {"IMG_1234_x", nullptr},
        {"-edit", nullptr},
        {"", nullptr},
    };
    for (auto [name, base] : cases) {
        SCOPED_TRACE(name);
        auto parsed = parseToBaseName(name);
        if (base) {
            EXPECT_EQ(parsed, std::optional<std::string>(base));
        } else {
            EXPECT_EQ(parsed, std::nullopt);
        }
    }
}

TEST(FileManagerOps, ThePriorityTableRanksRawFilesFirstAndProxiesNever) {
    const ExtensionPriorities table = extensionPriorities();
    const std::pair<const char*, int64_t> cases[] = {{"cr2", 0},  {"nef", 0},   {"cr3", 0},  {"dng", 1},
                                                     {"tif", 98}, {"tiff", 98}, {"jpg", 99}, {"jpeg", 99},
                                                     {"xmp", 99}, {"vg", 99}};
    for (auto [ext, priority] : cases)
        EXPECT_EQ(table.at(ext), priority) << ext;
    EXPECT_EQ(table.count("psd"), 0u);
}

TEST(FileManagerOps, SearchDirectoryTakesTheBestExtensionBelowTheProxies) {
    struct Case {
        const char* name;
        std::initializer_list<const char*> files;
        const char* expected;
    } cases[] = {
        {"CR2 beats DNG and TIF", {"IMG_1234.tif", "IMG_1234.dng", "IMG_1234.CR2"}, "IMG_1234.CR2"},
        {"DNG beats TIF", {"IMG_1234.tif", "IMG_1234.dng"}, "IMG_1234.dng"},
        {"TIF beats the JPEG proxy", {"IMG_1234.tif", "IMG_1234.jpg"}, "IMG_1234.tif"},
        {"a proxy alone finds nothing", {"IMG_1234.jpg", "IMG_1234.xmp"}, ""},
        {"an unknown extension ranks between", {"IMG_1234.psd", "IMG_1234.tif"}, "IMG_1234.psd"},
        {"case is ignored", {"img_1234.DNG"}, "img_1234.DNG"},
        {"the whole name must match", {"IMG_12345.dng", "IMG_123.dng", "IMG_1234-edit.dng"}, ""},
        {"sub-folders are searched", {"2024/07/IMG_1234.nef", "IMG_1234.tif"}, "2024/07/IMG_1234.nef"},
        {"hidden folders are not", {".cache/IMG_1234.CR2", "IMG_1234.tif"}, "IMG_1234.tif"},
    };
    const ExtensionPriorities table = extensionPriorities();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        makeFiles(folder.path(), c.files);
        EXPECT_EQ(found(folder.path(), searchDirectory(folder.path(), "IMG_1234", table)), c.expected);
    }
}

TEST(FileManagerOps, SearchDirectoryNeedsAFolderAndDoesNotFollowLinksToFolders) {
    TempFolder outside, folder;
    makeFiles(outside.path(), {"IMG_1234.CR2"});
    fs::create_directory_symlink(outside.path(), folder / "linked");
    const ExtensionPriorities table = extensionPriorities();
    EXPECT_EQ(searchDirectory(folder.path(), "IMG_1234", table), std::nullopt);
    EXPECT_EQ(searchDirectory(folder / "missing", "IMG_1234", table), std::nullopt);
    makeFiles(folder.path(), {"IMG_1234.dng"});
    EXPECT_EQ(searchDirectory(folder / "IMG_1234.dng", "IMG_1234", table), std::nullopt)
        << "a file is no folder";
    // A link to a raw file is a file like any other.
    fs::create_symlink(outside / "IMG_1234.CR2", folder / "IMG_1234.cr3");
    EXPECT_EQ(found(folder.path(), searchDirectory(folder.path(), "IMG_1234", table)), "IMG_1234.cr3");
}

TEST(FileManagerOps, AProxyFindsTheRawFileOfItsWholeNameBeforeItsParsedName) {
    struct Case {
        const char* name;
        std::initializer_list<const char*> files; // in the search folder
        const char* proxy;                        // relative to the search folder
        const char* expected;
    } cases[] = {
        {"IMG.dng no longer captures IMG_1234",
         {"IMG.dng", "IMG_1234.dng"},
         "../IMG_1234.jpg",
         "IMG_1234.dng"},
        {"nor does IMG.CR2", {"IMG.CR2", "IMG_1234.dng"}, "../IMG_1234.jpg", "IMG_1234.dng"},
        {"the parsed name when the whole one finds nothing", {"IMG.dng"}, "../IMG_1234.jpg", "IMG.dng"},
        {"an edit suffix", {"IMG_1234.dng", "IMG_1234.tif"}, "../IMG_1234-edit.jpg", "IMG_1234.dng"},
        {"a TIFF of the proxy's name gives way to the raw file",
         {"IMG_1234.CR2", "IMG_1234-edit.tif"},
         "../IMG_1234-edit.jpg",
         "IMG_1234.CR2"},
        {"a TIFF proxy inside the search folder never finds itself",
         {"IMG_1234-edit.tif"},
         "IMG_1234-edit.tif",
         ""},
        {"nothing at all", {"DSC_0001.nef"}, "../IMG_1234-edit.jpg", ""},
    };
    const ExtensionPriorities table = extensionPriorities();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder top;
        const fs::path folder = top / "raw";
        makeFiles(folder, c.files);
        makeFiles(folder, {c.proxy});
        const fs::path proxy = folder / c.proxy;
        EXPECT_EQ(found(folder, rawFileForProxy(folder, proxy, table)), c.expected);
    }
}

TEST(FileManagerOps, CleanDirectoryEmptiesTheFolderWithoutFollowingLinks) {
    TempFolder outside, folder;
    makeFiles(outside.path(), {"keep.txt"});
    makeFiles(folder.path(), {"a.tmp", ".hidden", "sub/deeper/b.tmp"});
    fs::create_directory_symlink(outside.path(), folder / "link");
    cleanDirectory(folder.path());
    EXPECT_TRUE(fs::is_directory(folder.path()));
    EXPECT_TRUE(folder.entries().empty());
    EXPECT_TRUE(fs::exists(outside / "keep.txt")) << "the link went, not what it points to";

    cleanDirectory(folder / "missing"); // nothing to do, and no failure
    makeFiles(folder.path(), {"file"});
    cleanDirectory(folder / "file");
    EXPECT_TRUE(fs::exists(folder / "file")) << "a file is no folder to clean";
}

TEST(FileManagerOps, CleanDirectoryGoesOnPastAFailure) {
    TempFolder folder;
    makeFiles(folder.path(), {"a.tmp", "locked/stuck.tmp", "locked/free.tmp", "z/z.tmp"});
    ImmutableFile stuck(folder / "locked" / "stuck.tmp");
    if (!stuck.isSet()) GTEST_SKIP() << "this file system or user cannot make a file immutable";
    cleanDirectory(folder.path());
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"locked"});
    EXPECT_TRUE(fs::exists(folder / "locked" / "stuck.tmp"));
    EXPECT_FALSE(fs::exists(folder / "locked" / "free.tmp"));
}
