#include "app/ui/DocumentController.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>
#include <QTextBrowser>

#include "app/core/CatalogStore.h"
#include "app/core/PresetManager.h"
#include "app/core/PropertyListStore.h"
#include "app/ui/WindowChoosers.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "settings/Schema.h"
#include "tests/app/ui/WindowTestSupport.h"
#include "tests/support/TempHome.h"

namespace {

struct Choosers {
    Choosers() : saved(WindowChoosers::shared()) {
        WindowChoosers::shared().alert = [this](QWidget*, const QString& m, const QString& t) {
            alerts.push_back(m + ": " + t);
        };
        WindowChoosers::shared().openUrl = [this](const QString& url) {
            urls.push_back(url);
            return true;
        };
    }
    ~Choosers() { WindowChoosers::shared() = saved; }
    WindowChoosers saved;
    std::vector<QString> alerts;
    std::vector<QString> urls;
};

} // namespace

TEST(DocumentController, ABatchLeavesOnlyQuitAndAboutEnabled) {
    windowtest::app();
    testsupport::TempHome home;
    DocumentController controller;
    QMainWindow window;
    controller.installMenus(&window);
    auto& center = platform::NotificationCenter::defaultCenter();
    center.post(platform::notification::DisableMenus);
    ASSERT_TRUE(windowtest::waitFor([&] { return !controller.menusActive(); }));
    std::vector<std::string> enabled;
    for (QAction* action : window.menuBar()->findChildren<QAction*>())
        if (!action->menu() && !action->isSeparator() && action->isEnabled())
            enabled.push_back(action->objectName().toStdString());
    std::sort(enabled.begin(), enabled.end());
    EXPECT_EQ(enabled, (std::vector<std::string>{"about", "quit"}));
    center.post(platform::notification::EnableMenus);
    ASSERT_TRUE(windowtest::waitFor([&] { return controller.menusActive(); }));
    EXPECT_TRUE(window.menuBar()->findChild<QAction*>("reset")->isEnabled());
}

TEST(DocumentController, ResetAsksFirstAndThenDeletesPresetsAndCatalog) {
    windowtest::app();
    testsupport::TempHome home;
    Choosers choosers;
    DocumentController controller;
    auto& presets = PresetManager::sharedPresetManager();
    presets.forgetPresetDirectory();
    const auto folder = presets.presetDirectory();
    ASSERT_TRUE(folder);
    auto store = CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog");
    platform::Array entries{
        platform::Value(platform::Dictionary{{settings::UUID.c_str(), platform::Value("x")}})};
    ASSERT_TRUE(store->saveImageData(&entries));
    const auto catalog = store->catalogFile();
    ASSERT_TRUE(catalog && std::filesystem::exists(*catalog));

    bool asked = false;
    WindowChoosers::shared().confirm = [&](QWidget*, const QString& message, const QString&,
                                           const QString& cancel, const QString& act) {
        asked = true;
        EXPECT_EQ(message, "Warning: resetting can't be undone");
        EXPECT_EQ(cancel, "Cancel");
        EXPECT_EQ(act, "Go ahead and reset");
        return false;
    };
    controller.resetLumivar();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(std::filesystem::exists(*folder));
    EXPECT_TRUE(std::filesystem::exists(*catalog));

    WindowChoosers::shared().confirm = [](QWidget*, const QString&, const QString&, const QString&,
                                          const QString&) { return true; };
    controller.resetLumivar();
    EXPECT_FALSE(std::filesystem::exists(*folder));
    EXPECT_FALSE(std::filesystem::exists(*catalog));
    EXPECT_TRUE(choosers.alerts.empty());
    presets.forgetPresetDirectory();
}

TEST(DocumentController, HelpItemsFollowTheirAddressesAndMailIsEscaped) {
    windowtest::app();
    testsupport::TempHome home;
    Choosers choosers;
    DocumentController controller;
    QMainWindow bare;
    controller.installMenus(&bare);
    EXPECT_FALSE(bare.menuBar()->findChild<QAction*>("contact")->isVisible()); // no invented address

    controller.showQuickReference();
    EXPECT_TRUE(controller.quickReferenceLoaded());
    QString shown;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* text = qobject_cast<QTextBrowser*>(top)) shown = text->toPlainText();
    EXPECT_TRUE(shown.contains("Lumivar quick reference")) << shown.toStdString();

    controller.setHelpAddresses({"https://example.org/", "https://example.org/help", "help@example.org"});
    QMainWindow window;
    controller.installMenus(&window);
    ASSERT_TRUE(window.menuBar()->findChild<QAction*>("contact")->isVisible());
    controller.showContactUs();
    ASSERT_EQ(choosers.urls.size(), 1u);
    EXPECT_EQ(choosers.urls[0], "mailto:help@example.org?SUBJECT=Lumivar%20support");
}
