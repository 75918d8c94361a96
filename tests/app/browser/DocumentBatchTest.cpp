// Batch export over the application's documents: the default preset on real files gives
// monochrome JPEGs at the renders' sizes and leaves the catalog alone; a file that cannot be
// developed is named with its reason and the others are exported.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

#include "app/browser/MyDocumentBatch.h"
#include "app/core/PresetManager.h"
#include "engine/core/TiledEngine.h"
#include "platform/MainQueue.h"
#include "tests/app/AppHome.h"
#include "tests/export/JpegTestFiles.h"
#include "tests/support/DocumentHarness.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
using namespace browser;

namespace {

const fs::path kChart = fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng";

// Every file under the application-support folder but the presets, with its bytes.
std::map<std::string, std::string> storedFiles(const fs::path& support) {
    std::map<std::string, std::string> files;
    if (!fs::exists(support)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(support))
        if (entry.is_regular_file() && entry.path().string().find("/presets/") == std::string::npos) {
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    return files;
}

class DocumentBatch : public testing::Test {
  protected:
    fs::path copy(const fs::path& from) {
        const fs::path to = folder / from.filename();
        fs::copy_file(from, to);
        return to;
    }
    // The render's size, from a document shown as the editing window would.
    platform::Rect renderExtent(const fs::path& file) {
        auto document = MyDocument::create();
        EXPECT_TRUE(
            testsupport::showDocument(*document, file.string(), std::make_shared<testsupport::FakeWindow>()));
        EXPECT_TRUE(testsupport::runUntilProcessed(*document));
        const platform::Rect extent = document->outputImage()->extent();
        document->close();
        return extent;
    }
    std::optional<platform::Error> run(BatchJob job) {
        BatchExportWorker worker(std::make_shared<MyDocumentBatchFactory>());
        bool done = false;
        std::optional<platform::Error> result;
        EXPECT_TRUE(worker.start(
            std::move(job), [](const fs::path&) {},
            [&](const std::optional<platform::Error>& e) {
                result = e;
                done = true;
            }));
        EXPECT_TRUE(platform::MainQueue::shared().runUntil([&] { return done; }, std::chrono::seconds(120)));
        return result;
    }
    apptest::AppHome home;
    testsupport::TempFolder folder;
};

TEST_F(DocumentBatch, DefaultSettingsGiveMonochromeJpegsAndLeaveTheCatalog) {
    BatchJob job;
    job.sources.push_back(copy(kChart));
    for (const char* name : {"Pixel7_small.dng", "DC120_P003908_uncompressed.KDC"})
        if (fs::exists(testsupport::samplePath(name)))
            job.sources.push_back(copy(testsupport::samplePath(name)));
    job.preset = PresetManager::sharedPresetManager().presetNamed("Default");
    ASSERT_TRUE(job.preset);
    const auto before = storedFiles(home.support());

    EXPECT_FALSE(run(job));
    EXPECT_EQ(storedFiles(home.support()), before);
    for (const fs::path& source : job.sources) {
        SCOPED_TRACE(source.filename().string());
        const auto jpeg = jpegtest::decodeJpeg(fs::path(source).replace_extension(".jpg"));
        ASSERT_TRUE(jpeg);
        const platform::Rect extent = renderExtent(source);
        EXPECT_EQ(jpeg->width, int(extent.width));
        EXPECT_EQ(jpeg->height, int(extent.height));
        int worst = 0;
        for (size_t i = 0; i + 2 < jpeg->rgb.size(); i += 3)
            worst = std::max({worst, std::abs(jpeg->rgb[i] - jpeg->rgb[i + 1]),
                              std::abs(jpeg->rgb[i + 1] - jpeg->rgb[i + 2])});
        EXPECT_LE(worst, 2);
    }
}

TEST_F(DocumentBatch, UndevelopableFileIsNamedWithTheDecodersReasonAndTheRestExported) {
    LV_REQUIRE_SAMPLE("Nikon.nef");
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    BatchJob job;
    const fs::path second = folder / "second.dng";
    fs::copy_file(kChart, second);
    job.sources = {copy(kChart), second, copy(testsupport::samplePath("Nikon.nef")),
                   copy(testsupport::samplePath("Pixel7_small.dng"))};
    const auto summary = run(job);
    ASSERT_TRUE(summary);
    const std::string& text = summary->failureReason;
    EXPECT_EQ(text.rfind("1 of 4 files could not be exported; nothing was written for it.\n\nNikon.nef: ", 0),
              0u)
        << text;
    EXPECT_EQ(text.find("finalCGImage"), std::string::npos) << text;
    EXPECT_NE(summary->domain, "LumivarErrorDomain") << text; // the decoder's own
    EXPECT_TRUE(fs::exists(folder / "lumivar-chart.jpg"));
    EXPECT_TRUE(fs::exists(folder / "second.jpg"));
    EXPECT_FALSE(fs::exists(folder / "Nikon.jpg"));
    EXPECT_TRUE(fs::exists(folder / "Pixel7_small.jpg"));
}

} // namespace
