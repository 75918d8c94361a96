#include <gtest/gtest.h>

#include <QWidget>
#include <chrono>
#include <fstream>
#include <thread>

#include "app/core/CatalogStore.h"
#include "app/core/PresetManager.h"
#include "app/ui/UserDataAlerts.h"
#include "app/ui/WindowChoosers.h"
#include "tests/app/AppHome.h"
#include "tests/app/ui/WindowTestSupport.h"

namespace fs = std::filesystem;

namespace {

struct Alert {
    QWidget* window;
    QString message, text;
};

class UserDataAlertsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        windowtest::app();
        saved_ = WindowChoosers::shared();
        WindowChoosers::shared().alert = [this](QWidget* window, const QString& message,
                                                const QString& text) {
            alerts.push_back({window, message, text});
        };
    }
    void TearDown() override { WindowChoosers::shared() = saved_; }

    WindowChoosers saved_;
    std::vector<Alert> alerts;
    QWidget front;
};

} // namespace

// A damaged catalog found when a photo opens: the alert comes on the window in front and
// names the file, why, and where it is kept.
TEST_F(UserDataAlertsTest, ADamagedCatalogIsToldOnTheWindowInFront) {
    apptest::AppHome home;
    UserDataAlerts alertsOn([this] { return &front; });
    auto catalog = CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog");
    const fs::path file = *catalog->catalogFile();
    std::ofstream(file) << "<?xml version=\"1.0\"?><plist><array><dict>";
    EXPECT_FALSE(catalog->getItemForUUID("/photos/a.nef"));
    EXPECT_TRUE(alerts.empty()) << "told once the event loop runs, never from inside the store";
    ASSERT_TRUE(windowtest::waitFor([&] { return !alerts.empty(); }, std::chrono::seconds(5)));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].window, &front);
    EXPECT_EQ(alerts[0].message, "The catalog was damaged and has been set aside");
    EXPECT_TRUE(alerts[0].text.startsWith(
        QString::fromStdString("Lumivar could not read its catalog " + file.string() +
                               ": The data is not a valid XML property list.\n")))
        << alerts[0].text.toStdString();
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(file.parent_path()))
        aside.push_back(e.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(aside[0].filename().string().starts_with("LumivarCatalog.plist.damaged-"));
    EXPECT_TRUE(alerts[0].text.contains(QString::fromStdString(aside[0].string())))
        << alerts[0].text.toStdString();
}

// The batch export reads presets on its worker: the alert still comes on the main thread.
TEST_F(UserDataAlertsTest, ADamagedPresetFoundOnAWorkerIsToldOnTheMainThread) {
    apptest::AppHome home;
    UserDataAlerts alertsOn([] { return nullptr; });
    const fs::path folder = *PresetManager::sharedPresetManager().presetDirectory();
    std::ofstream(folder / "broken.plist") << "not a property list";
    std::thread worker([] { PresetManager::sharedPresetManager().presetList(false); });
    worker.join();
    EXPECT_TRUE(alerts.empty());
    ASSERT_TRUE(windowtest::waitFor([&] { return !alerts.empty(); }, std::chrono::seconds(5)));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].window, nullptr);
    EXPECT_EQ(alerts[0].message, "A preset was damaged and has been set aside");
    EXPECT_TRUE(alerts[0].text.contains(QString::fromStdString((folder / "broken.plist").string())));
    EXPECT_TRUE(alerts[0].text.contains(QString::fromStdString((folder / "broken.plist.damaged-").string())));
}
