// Documents over real files, copied to a scratch folder: opening, rendering, the as-shot
// balance, the eyedropper, a file the decoder cannot develop, and a document dropped mid-render.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "app/core/Keys.h"
#include "platform/Log.h"
#include "tests/app/AppHome.h"
#include "tests/support/DocumentHarness.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
namespace keys = app::keys;
using testsupport::FakeWindow;

const fs::path kChart = fs::path(LUMIVAR_SOURCE_DIR) / "samples" / "lumivar-chart.dng";

class DocumentFilesTest : public ::testing::Test {
  protected:
    void TearDown() override { platform::MainQueue::shared().drain(); }

    std::string copy(const fs::path& from) {
        const fs::path to = folder_ / from.filename().string();
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        return to.string();
    }
    std::string sample(const std::string& name) { return copy(testsupport::samplePath(name)); }

    apptest::AppHome home_;
    testsupport::TempFolder folder_;
};

TEST_F(DocumentFilesTest, RealFilesRenderWithTheirAsShotTemperature) {
    std::vector<std::string> files{copy(kChart)};
    if (fs::exists(testsupport::samplePath("Pixel7_small.dng"))) files.push_back(sample("Pixel7_small.dng"));
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        auto document = MyDocument::create();
        auto window = std::make_shared<FakeWindow>();
        platform::Error error;
        ASSERT_TRUE(testsupport::showDocument(*document, file, window, &error)) << error.failureReason;
        ASSERT_TRUE(testsupport::runUntilProcessed(*document));
        auto temperature = document->valueForKey(keys::InputTemperature);
        ASSERT_TRUE(temperature);
        EXPECT_GE(temperature->doubleValue(), 1000);
        EXPECT_LE(temperature->doubleValue(), 14000);
        const auto defaults = document->getDefaultsDictionary();
        EXPECT_EQ(*temperature, defaults.at(std::string(keys::InputTemperature)));
        EXPECT_EQ(*document->valueForKey(keys::InputTint), defaults.at(std::string(keys::InputTint)));
        EXPECT_NE(document->pixelValueString(100, 100), "-");
        EXPECT_TRUE(document->valueForKey(keys::MetaDataPrefix));
        document->close();
    }
}

TEST_F(DocumentFilesTest, EyedropperOnRedGivesALowerTemperatureThanOnBlue) {
    auto document = MyDocument::create();
    ASSERT_TRUE(testsupport::showDocument(*document, copy(kChart), std::make_shared<FakeWindow>()));
    ASSERT_TRUE(testsupport::runUntilProcessed(*document));
    // The chart's patch row: red first, blue fifth, at 60 % of the height.
    const auto temperatureAt = [&](double x, double y) {
        document->setWBFromPoint(x, y);
        return document->valueForKey(keys::InputTemperature)->doubleValue();
    };
    const double red = temperatureAt(30, 144), blue = temperatureAt(270, 144);
    EXPECT_LT(red, blue);
    const double before = temperatureAt(270, 144);
    document->setWBFromPoint(5000, 5000); // outside: logged, nothing changes
    EXPECT_EQ(document->valueForKey(keys::InputTemperature)->doubleValue(), before);
    document->close();
}

TEST_F(DocumentFilesTest, UndevelopableFileIsPresentedOnceAndClosesItsWindows) {
    LV_REQUIRE_SAMPLE("Nikon.nef");
    testsupport::RecordingPresenter presenter;
    auto document = MyDocument::create();
    auto window = std::make_shared<FakeWindow>();
    ASSERT_TRUE(testsupport::showDocument(*document, sample("Nikon.nef"), window));
    ASSERT_TRUE(testsupport::runMainUntil([&] { return window->closeRequests > 0; }));
    platform::MainQueue::shared().runUntil([] { return false; }, std::chrono::milliseconds(200));
    ASSERT_EQ(presenter.errors.size(), 1u);
    EXPECT_EQ(presenter.errors[0].domain, "RawOpenErrorDomain");
    EXPECT_EQ(window->closeRequests, 1);
    EXPECT_FALSE(document->valueForKey(keys::InputTemperature));
    document->close();
}

TEST_F(DocumentFilesTest, DocumentDroppedWhileItsEngineRenders) {
    const std::string file =
        fs::exists(testsupport::samplePath("Pixel7_small.dng")) ? sample("Pixel7_small.dng") : copy(kChart);
    std::vector<std::weak_ptr<ThreadedImageEngine>> engines;
    for (int delayMs : {0, 5, 50}) {
        auto document = MyDocument::create();
        ASSERT_TRUE(testsupport::showDocument(*document, file, std::make_shared<FakeWindow>()));
        engines.push_back(document->displayEngine());
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        document.reset();
        platform::MainQueue::shared().runUntil([] { return false; }, std::chrono::milliseconds(100));
    }
    // Whatever the engines still do, they no longer reach a document, and they end.
    EXPECT_TRUE(testsupport::runMainUntil([&] {
        return std::all_of(engines.begin(), engines.end(), [](const auto& e) { return e.expired(); });
    }));
    platform::MainQueue::shared().drain();
}

} // namespace
