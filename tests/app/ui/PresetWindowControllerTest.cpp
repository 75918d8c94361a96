#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <thread>

#include "app/core/PresetManager.h"
#include "app/ui/ItemTableWindow.h"
#include "app/ui/PresetWindowController.h"
#include "settings/Schema.h"
#include "tests/app/AppHome.h"

namespace fs = std::filesystem;

namespace {

PresetManager& presets() { return PresetManager::sharedPresetManager(); }

std::vector<std::string> names(const PresetWindowController& c) {
    std::vector<std::string> out;
    for (const auto& row : c.tableContents())
        out.push_back(row.name);
    std::sort(out.begin(), out.end());
    return out;
}

int rowNamed(const PresetWindowController& c, const std::string& name) {
    const auto& rows = c.tableContents();
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == name) return int(i);
    return -1;
}

} // namespace

TEST(PresetWindowController, ListsThePresetsAndFollowsChanges) {
    apptest::AppHome home;
    PresetWindowController controller;
    EXPECT_EQ(names(controller), (std::vector<std::string>{"Default", "Default TIFF export", "Zero'd"}));
    for (const auto& row : controller.tableContents()) {
        EXPECT_EQ(row.shortDescription, "Lumivar Preset");
        EXPECT_FALSE(row.imagePreview.isNull());
        EXPECT_EQ(row.preset.at("displayName").stringValue(), row.name);
    }
    EXPECT_EQ(controller.tableWindow()->table()->rowCount(), 3);

    PresetManager::Preset mine{{"displayName", "Portrait"}, {settings::InputEV.c_str(), 0.5}};
    presets().addPreset(&mine);
    EXPECT_EQ(names(controller).size(), 4u);

    // A change from the batch export's worker reaches the table on the GUI thread.
    std::thread worker([] {
        PresetManager::Preset other{{"displayName", "From the batch"}};
        presets().addPreset(&other);
    });
    worker.join();
    EXPECT_EQ(names(controller).size(), 4u);
    QCoreApplication::processEvents();
    EXPECT_EQ(names(controller).size(), 5u);
}

TEST(PresetWindowController, DeleteRemovesThePresetsFileAndShowsAFailure) {
    apptest::AppHome home;
    PresetWindowController controller;
    std::vector<platform::Error> errors;
    controller.setErrorPresenter([&](QWidget*, const platform::Error& e) { errors.push_back(e); });

    const int zeroed = rowNamed(controller, "Zero'd");
    ASSERT_GE(zeroed, 0);
    const auto file =
        *presets().presetDirectory() /
        (controller.tableContents()[size_t(zeroed)].preset.at(settings::PresetUUID.c_str()).stringValue() +
         ".plist");
    ASSERT_TRUE(fs::exists(file));
    controller.tableWindow()->table()->selectRow(zeroed);
    controller.tableWindow()->deleteButton()->click();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(names(controller), (std::vector<std::string>{"Default", "Default TIFF export"}));
    EXPECT_TRUE(errors.empty());

    // Its file already gone: the removal's error is shown on the window.
    auto stale = controller.tableContents()[0].preset;
    fs::remove(*presets().presetDirectory() /
               (stale.at(settings::PresetUUID.c_str()).stringValue() + ".plist"));
    controller.deleteDisplayedItem(stale);
    EXPECT_EQ(errors.size(), 1u);
}
