// The external-editor exchange as a photo application drives it: it exports a proxy with an
// edit suffix into its library, runs the program on the proxy and watches its folder; the
// program develops the raw file of the same name from the search folder and writes over the proxy.
#include <gtest/gtest.h>

#include <fstream>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/Keys.h"
#include "platform/UserDefaults.h"
#include "tests/app/AppHome.h"
#include "tests/export/JpegTestFiles.h"
#include "tests/support/DocumentHarness.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
namespace keys = app::keys;
using testsupport::FakeWindow;

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The names of the files moved into the folder since the watch began.
class FolderWatch {
  public:
    explicit FolderWatch(const fs::path& folder) : fd_(inotify_init1(IN_NONBLOCK)) {
        if (fd_ >= 0) inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO);
    }
    ~FolderWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    std::vector<std::string> movedIn() {
        std::vector<std::string> names;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; fd_ >= 0 && (n = ::read(fd_, buffer, sizeof buffer)) > 0;)
            for (char* p = buffer; p < buffer + n;) {
                auto* event = reinterpret_cast<inotify_event*>(p);
                if ((event->mask & IN_MOVED_TO) && event->len) names.emplace_back(event->name);
                p += sizeof(inotify_event) + event->len;
            }
        return names;
    }

  private:
    int fd_;
};

class ExternalEditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        search_ = root_.path() / "raw";
        library_ = root_.path() / "library";
        fs::create_directories(search_ / ".cache");
        fs::create_directories(library_);
        writeFile(search_ / "IMG_1234.tif", "decoy");
        writeFile(search_ / ".cache" / "IMG_1234.CR2", "decoy");
        writeFile(search_ / "IMG.dng", "decoy");
        if (fs::exists(testsupport::samplePath("Pixel7_small.dng")))
            fs::copy_file(testsupport::samplePath("Pixel7_small.dng"), search_ / "IMG_1234.dng");
        setSearchFolder(search_.string());
    }
    void TearDown() override {
        if (document_) document_->close();
        platform::MainQueue::shared().drain();
        platform::UserDefaults::standard().removeObjectForKey(app::defaults::RawSearchDirectoryBookmark);
    }
    static void setSearchFolder(const platform::Value& value) {
        platform::UserDefaults::standard().setObject(value, app::defaults::RawSearchDirectoryBookmark);
    }
    fs::path proxy(const std::string& name, mode_t mode = 0640) {
        const fs::path path = library_ / name;
        writeFile(path, "the host's proxy");
        ::chmod(path.c_str(), mode);
        return path;
    }
    platform::Error readFails(const fs::path& location) {
        platform::Error error;
        EXPECT_FALSE(MyDocument::create()->read(location.string(), &error));
        EXPECT_EQ(error.domain, app::errors::Domain);
        return error;
    }

    apptest::AppHome home_;
    testsupport::TempFolder root_;
    fs::path search_, library_;
    std::shared_ptr<MyDocument> document_;
};

TEST_F(ExternalEditorTest, UpdateReplacesTheJpegProxyInOneRename) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    const fs::path jpeg = proxy("IMG_1234-edit.jpg");
    FolderWatch watch(library_);
    document_ = MyDocument::create();
    platform::Error error;
    ASSERT_TRUE(testsupport::showDocument(*document_, jpeg.string(), std::make_shared<FakeWindow>(), &error))
        << error.failureReason;
    EXPECT_EQ(document_->valueForKey(keys::UUID), platform::Value((search_ / "IMG_1234.dng").string()));
    EXPECT_TRUE(document_->openedFromExternal());
    EXPECT_EQ(document_->extEditorURL(), jpeg);
    ASSERT_TRUE(testsupport::runUntilProcessed(*document_));

    ASSERT_TRUE(document_->updateExternalEditor(&error)) << error.failureReason;
    EXPECT_EQ(watch.movedIn(), std::vector<std::string>{"IMG_1234-edit.jpg"});
    auto written = jpegtest::decodeJpeg(jpeg);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->width, 382);
    EXPECT_EQ(written->height, 510);
    int worst = 0;
    for (size_t i = 0; i + 2 < written->rgb.size(); i += 3)
        worst = std::max({worst, std::abs(written->rgb[i] - written->rgb[i + 1]),
                          std::abs(written->rgb[i + 1] - written->rgb[i + 2])});
    EXPECT_LE(worst, 2); // monochrome
    EXPECT_EQ(fs::status(jpeg).permissions() & fs::perms::mask, fs::perms(0640));
    EXPECT_EQ(fs::directory_iterator(library_)->path(), jpeg);
    EXPECT_EQ(std::distance(fs::directory_iterator(library_), fs::directory_iterator()), 1);
}

TEST_F(ExternalEditorTest, TiffProxyWaitsForTheTiffWriterAndStaysAsItWas) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    const fs::path tiff = proxy("IMG_1234_v2.tif");
    document_ = MyDocument::create();
    ASSERT_TRUE(testsupport::showDocument(*document_, tiff.string(), std::make_shared<FakeWindow>()));
    EXPECT_EQ(document_->valueForKey(keys::UUID), platform::Value((search_ / "IMG_1234.dng").string()));
    ASSERT_TRUE(testsupport::runUntilProcessed(*document_));
    platform::Error error;
    EXPECT_FALSE(document_->updateExternalEditor(&error));
    EXPECT_EQ(error.code, app::errors::WriterFailed);
    EXPECT_EQ(readFile(tiff), "the host's proxy");
}

TEST_F(ExternalEditorTest, LookupFailures) {
    const fs::path jpeg = proxy("DSC_0042-edit.jpg");
    platform::Error missing = readFails(jpeg);
    EXPECT_EQ(missing.code, app::errors::RawFileNotFound);
    EXPECT_EQ(missing.failureReason,
              "Could not find the raw file corresponding to DSC_0042 in search location " + search_.string() +
                  ". Set the search location in Preferences to the folder containing "
                  "your raw image files.");
    for (const platform::Value& folder :
         {platform::Value(), platform::Value("relative/raw"), platform::Value(3)}) {
        setSearchFolder(folder);
        platform::Error none = readFails(jpeg);
        EXPECT_EQ(none.code, app::errors::NoRawSearchLocation);
        EXPECT_EQ(none.failureReason, app::errors::NoRawSearchLocationText);
    }
}

TEST_F(ExternalEditorTest, ASecondProxyReadStartsAfresh) {
    writeFile(search_ / "IMG_2000.CR2", "raw");
    auto document = MyDocument::create();
    ASSERT_TRUE(document->read(proxy("IMG_2000-edit.jpg").string()));
    ASSERT_TRUE(document->read(proxy("IMG_2000 2.jpeg").string()));
    EXPECT_EQ(document->valueForKey(keys::UUID), platform::Value((search_ / "IMG_2000.CR2").string()));
    EXPECT_EQ(document->extEditorURL(), library_ / "IMG_2000 2.jpeg");
}

} // namespace
