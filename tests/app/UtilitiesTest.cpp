#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "app/core/Base64.h"
#include "app/core/MacOSStatusHelper.h"
#include "app/core/UrlContainment.h"
#include "app/core/VQDebugLock.h"

namespace {

platform::Data bytes(std::string_view text) { return platform::Data(text.begin(), text.end()); }

std::string text(const platform::Data& data) { return std::string(data.begin(), data.end()); }

} // namespace

TEST(Base64, EncodesInGroupsWithPaddingAndWrapping) {
    struct Case {
        std::string data;
        int wrap;
        std::string encoded;
    };
    const std::vector<Case> cases{
        {"abc", 0, "YWJj"},
        {"a", 0, "YQ=="},
        {"ab", 0, "YWI="},
        {"", 0, ""},
        {"abcdefghijklmnopqrstuvwxyz", 10, "YWJjZGVm\r\nZ2hpamts\r\nbW5vcHFy\r\nc3R1dnd4\r\neXo="},
        {"abcdef", 8, "YWJjZGVm\r\n"}, // complete groups end on a line end
        {"abcdefg", 8, "YWJjZGVm\r\nZw=="},
        {"abcdef", 3, "YWJjZGVm"}, // below 4: no wrapping
        {std::string("\x00\xff\xfe", 3), 0, "AP/+"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        EXPECT_EQ(app::base64EncodedString(bytes(c.data), c.wrap), c.encoded);
        EXPECT_EQ(app::base64EncodedString(std::string_view(c.data), c.wrap), c.encoded);
    }
}

TEST(Base64, DecodingSkipsWhatIsOutsideTheAlphabet) {
    struct Case {
        std::string encoded;
        std::string data;
    };
    const std::vector<Case> cases{
        {"YWJj", "abc"},
        {"YQ==", "a"},
        {"YQ", "a"},
        {"YWI", "ab"},
        {"Y", ""},
        {"YWJjZGVm\r\nZ2hpamts\r\nbW5vcHFy\r\nc3R1dnd4\r\neXo=", "abcdefghijklmnopqrstuvwxyz"},
        {" Y W\tJ j ", "abc"},
        {"YW\xc3\xa9Jj", "abc"}, // non-ASCII characters are skipped
        {"==== \r\n!!", ""},
        {"AP/+", std::string("\x00\xff\xfe", 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoded);
        EXPECT_EQ(text(app::dataWithBase64EncodedString(c.encoded)), c.data);
    }
    EXPECT_EQ(app::stringWithBase64EncodedString("w6lsw6h2ZQ=="), "\xc3\xa9l\xc3\xa8ve");
    EXPECT_FALSE(app::stringWithBase64EncodedString("****"));
    EXPECT_FALSE(app::stringWithBase64EncodedString("/w==")) << "0xFF is no UTF-8 text";
}

TEST(Hex, TwoLowerCaseDigitsPerByte) {
    EXPECT_EQ(app::hexEncodedString(platform::Data{0x00, 0xab}), "00ab");
    EXPECT_EQ(app::hexEncodedString(platform::Data{0xff, 0x10, 0x09}), "ff1009");
    EXPECT_EQ(app::hexEncodedString({}), "");
}

TEST(MacOSStatusHelper, TextsOfStatusCodes) {
    struct Case {
        int32_t status;
        std::string name, description;
    };
    const std::vector<Case> cases{
        {0, "noErr", "No error"},
        {-4, "unimpErr", "Unimplemented core routine"},
        {-25296, "Keychain already exists", "A keychain with the same name already exists."},
        {2, "ENOENT", "No such file or directory"},
        {-123456, "Unknown Error", "Unknown Error"},
        {123456, "Unknown Error", "Unknown Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_EQ(MacOSStatusHelper::getErrorString(c.status), c.name);
        EXPECT_EQ(MacOSStatusHelper::getErrorDescription(c.status), c.description);
        EXPECT_EQ(MacOSStatusHelper::getErrorString(c.status, "Export: "), "Export: " + c.name);
    }
    EXPECT_EQ(MacOSStatusHelper::getLogString(-4, "save"),
              "Application Error save unimpErr: Unimplemented core routine");
    EXPECT_EQ(MacOSStatusHelper::getLogString(-4, "save", "Oops "),
              "Oops save unimpErr: Unimplemented core routine");

    testing::internal::CaptureStderr();
    MacOSStatusHelper::outputLogString(0, "quiet");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    MacOSStatusHelper::outputLogString(-25296, "keychain");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Keychain already exists"), std::string::npos);
}

TEST(VQDebugLock, LogsEachLockAndUnlock) {
    VQDebugLock lock;
    testing::internal::CaptureStderr();
    { std::scoped_lock guard(lock); }
    const std::string log = testing::internal::GetCapturedStderr();
    const auto locked = log.find("-[VQDebugLock lock]"), unlocked = log.find("-[VQDebugLock unlock]");
    ASSERT_NE(locked, std::string::npos);
    ASSERT_NE(unlocked, std::string::npos);
    EXPECT_LT(locked, unlocked);
}

TEST(UrlContainment, WholeComponentsWithoutRegardToCase) {
    struct Case {
        const char* folder;
        const char* other;
        bool contains, containsOrIs;
    };
    const std::vector<Case> cases{
        {"/Volumes/Disk/Photos", "/volumes/disk/photos/2020/a.nef", true, true},
        {"/Volumes/Disk/Photos", "/Volumes/Disk/Photos", false, true},
        {"/Volumes/Disk/Photo", "/Volumes/Disk/Photos/a.nef", false, false},
        {"/a/b/", "/a/b", false, true},
        {"/a/b", "/a/b/", false, true},
        {"/a/b", "/a/b/c/../../b/d", true, true},
        {"/a/./b", "/a/b/c", true, true},
        {"/a/b/c", "/a/b", false, false},
        {"/", "/anything", true, true},
        {"/", "/", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " / " + c.other);
        EXPECT_EQ(app::containsURL(c.folder, c.other), c.contains);
        EXPECT_EQ(app::containsOrIsURL(c.folder, c.other), c.containsOrIs);
    }
    const auto here = std::filesystem::current_path();
    EXPECT_TRUE(app::containsURL(here, "relative/file"))
        << "relative paths are taken from the working folder";
}
