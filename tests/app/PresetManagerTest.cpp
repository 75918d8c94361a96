#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "app/core/PresetManager.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "platform/Plist.h"
#include "tests/app/AppHome.h"

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;

namespace {

PresetManager& presets() { return PresetManager::sharedPresetManager(); }

std::vector<fs::path> presetFiles() {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(*presets().presetDirectory()))
        files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> names(const PresetManager::PresetList& list) {
    std::vector<std::string> out;
    for (const auto& p : list)
        out.push_back(p.at("displayName").stringValue());
    std::sort(out.begin(), out.end());
    return out;
}

std::string uuidOf(const std::string& name) {
    return *PresetManager::profileUUID(*presets().presetNamed(name));
}

} // namespace

TEST(Presets, FirstUseSeedsThreePresetsInFilesNamedByNewUuids) {
    apptest::AppHome home;
    const auto files = presetFiles();
    ASSERT_EQ(files.size(), 3u);
    const std::regex uuidV4("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    for (const auto& file : files) {
        EXPECT_TRUE(std::regex_match(file.stem().string(), uuidV4)) << file;
        EXPECT_EQ(file.extension(), ".plist");
        Value stored;
        ASSERT_TRUE(platform::readPlistFile(file, stored));
        EXPECT_EQ(stored.find("Lumivar_PresetUUID")->stringValue(), file.stem().string());
    }
    EXPECT_EQ(names(presets().presetList(false)),
              (std::vector<std::string>{"Default", "Default TIFF export", "Zero'd"}));

    const auto standard = presets().presetNamed("Default");
    ASSERT_TRUE(standard);
    EXPECT_EQ(standard->at("Lumivar_Filter_inputIntensity"), Value(1.0));
    EXPECT_EQ(standard->at("Lumivar_SceneReferred"), Value(true));
    EXPECT_EQ(standard->at("Lumivar_ExportFileType"), Value(0));
    EXPECT_EQ(standard->at("Lumivar_JPEGQuality"), Value(10.0));
    const auto zeroed = presets().presetNamed("Zero'd");
    EXPECT_FALSE(zeroed->count("Lumivar_ExportFileType"));
    EXPECT_EQ(zeroed->at("Lumivar_Filter_inputIntensity"), Value(0.0));
    EXPECT_EQ(zeroed->at("Lumivar_MaintainWhites"), Value(false));
    const auto tiff = presets().presetNamed("Default TIFF export");
    EXPECT_EQ(tiff->at("Lumivar_ExportFileType"), Value(1));
    EXPECT_EQ(tiff->at("Lumivar_SceneReferred"), Value(true)) << "carried over from Default";
    EXPECT_FALSE(presets().presetNamed("default")) << "names compare with case";
    EXPECT_EQ(presetFiles(), files) << "seeded once";
}

TEST(Presets, SavingUnderAnExistingNameReplacesThatPreset) {
    apptest::AppHome home;
    const std::string identity = uuidOf("Default");
    Dictionary again{{"displayName", "Default"}, {"Lumivar_Filter_inputEV", 1.5}};
    ASSERT_TRUE(presets().addPreset(&again));
    EXPECT_EQ(*PresetManager::profileUUID(again), identity) << "the caller's preset gets its identity";
    EXPECT_EQ(presetFiles().size(), 3u);
    EXPECT_EQ(presets().presetNamed("Default")->at("Lumivar_Filter_inputEV"), Value(1.5));

    Dictionary mine{{"displayName", "Mine"}};
    ASSERT_TRUE(presets().addPreset(&mine));
    EXPECT_EQ(presetFiles().size(), 4u);
    EXPECT_NE(*PresetManager::profileUUID(mine), identity);
    EXPECT_TRUE(fs::exists(*presets().presetDirectory() / (*PresetManager::profileUUID(mine) + ".plist")));

    ASSERT_TRUE(presets().removePreset(&mine));
    EXPECT_EQ(presetFiles().size(), 3u);
    platform::Error error;
    EXPECT_FALSE(presets().removePreset(&mine, &error)) << "already gone";
    EXPECT_EQ(error.domain, platform::kPosixErrorDomain);
    EXPECT_TRUE(presets().removePreset(nullptr));
}

TEST(Presets, TheMenuListStartsWithItsPrompt) {
    apptest::AppHome home;
    const auto menu = presets().presetListForMenu();
    ASSERT_EQ(menu.size(), 4u);
    EXPECT_EQ(menu.front(), (Dictionary{{"displayName", "Select preset...."}}));
    const auto plain = presets().presetList(false);
    EXPECT_EQ(plain.size(), 3u);
    EXPECT_TRUE(std::none_of(plain.begin(), plain.end(), [](const auto& p) {
        return p.at("displayName") == Value("Select preset....");
    }));
}

// Damaged presets are set aside and told of once; other files are left alone.
TEST(Presets, FilesThatAreNoPresetsAreSkippedAndDamagedOnesSetAside) {
    apptest::AppHome home;
    const fs::path folder = *presets().presetDirectory();
    std::vector<Dictionary> told;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto token =
        center.addObserver(platform::notification::UserDataSetAside, nullptr,
                           [&](const platform::Notification& n) { told.push_back(n.userInfo); });
    const std::string good = platform::writeXmlPlist(Value(Dictionary{{"displayName", "Upper case"}}));
    std::ofstream(folder / "notes.txt")
        << platform::writeXmlPlist(Value(Dictionary{{"displayName", "Text"}}));
    std::ofstream(folder / "broken.plist") << "<?xml version=\"1.0\"?><plist><dict><key>displayName";
    std::ofstream(folder / "list.plist") << platform::writeXmlPlist(Value(platform::Array{1, 2}));
    std::ofstream(folder / "SHOUTING.PLIST") << good;
    fs::create_directory(folder / "folder.plist");
    EXPECT_EQ(names(presets().presetList(false)),
              (std::vector<std::string>{"Default", "Default TIFF export", "Upper case", "Zero'd"}));
    EXPECT_EQ(names(presets().presetList(false)).size(), 4u);
    center.removeObserver(token);

    ASSERT_EQ(told.size(), 2u) << "told once each, not at every listing";
    std::sort(told.begin(), told.end(), [](const Dictionary& a, const Dictionary& b) {
        return a.at("file").stringValue() < b.at("file").stringValue();
    });
    for (size_t n = 0; n < 2; ++n) {
        const fs::path file = folder / (n == 0 ? "broken.plist" : "list.plist");
        EXPECT_EQ(told[n].at("kind"), Value("preset"));
        EXPECT_EQ(told[n].at("file"), Value(file.string()));
        const fs::path aside = told[n].at("aside").stringValue();
        EXPECT_EQ(aside.parent_path(), folder);
        EXPECT_TRUE(aside.filename().string().starts_with(file.filename().string() + ".damaged-")) << aside;
        EXPECT_TRUE(fs::exists(aside));
        EXPECT_FALSE(fs::exists(file));
    }
    EXPECT_TRUE(fs::is_directory(folder / "folder.plist"));
    EXPECT_TRUE(fs::exists(folder / "notes.txt"));
}

TEST(Presets, AfterDeletingAllTheFolderComesBackSeededAndKeepsNewPresets) {
    apptest::AppHome home;
    ASSERT_EQ(presetFiles().size(), 3u);
    ASSERT_TRUE(presets().deleteAllPresets());
    EXPECT_FALSE(fs::exists(platform::paths::applicationSupport() / "presets"));

    Dictionary later{{"displayName", "After reset"}};
    ASSERT_TRUE(presets().addPreset(&later));
    EXPECT_EQ(presetFiles().size(), 4u);
    EXPECT_TRUE(presets().presetNamed("After reset"));
    EXPECT_TRUE(presets().presetNamed("Default"));
}

TEST(Presets, AFailedWriteIsReported) {
    apptest::AppHome home;
    const fs::path folder = *presets().presetDirectory();
    fs::create_directory(folder / "ABCD.plist"); // the preset's file cannot replace a folder
    Dictionary blocked{{"displayName", "Blocked"}, {"Lumivar_PresetUUID", "ABCD"}};
    platform::Error error;
    EXPECT_FALSE(presets().addPreset(&blocked, &error));
    EXPECT_EQ(error.domain, platform::kPosixErrorDomain);
    EXPECT_FALSE(error.failureReason.empty());
    EXPECT_TRUE(fs::is_directory(folder / "ABCD.plist"));
}

// An identity from a hand-edited file names no file outside the preset folder.
TEST(Presets, IdentitiesThatLeadOutOfTheFolderAreNotUsed) {
    apptest::AppHome home;
    const fs::path folder = *presets().presetDirectory();
    const fs::path outside = folder.parent_path() / "escape.plist";
    std::ofstream(outside) << "keep me";
    Dictionary hostile{{"displayName", "Hostile"}, {"Lumivar_PresetUUID", "../escape"}};
    EXPECT_FALSE(presets().removePreset(&hostile));
    ASSERT_TRUE(presets().addPreset(&hostile));
    EXPECT_NE(*PresetManager::profileUUID(hostile), "../escape");
    EXPECT_TRUE(fs::exists(folder / (*PresetManager::profileUUID(hostile) + ".plist")));
    std::ifstream in(outside);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "keep me");
}

TEST(Presets, ChangesAreAnnouncedAroundTheWork) {
    apptest::AppHome home;
    std::vector<std::string> heard;
    const int token = presets().addObserver([&](std::string_view key, bool willChange) {
        heard.push_back(std::string(willChange ? "will " : "did ") + std::string(key) + " " +
                        std::to_string(presets().presetList(false).size()));
    });
    int posted = 0;
    auto observer = platform::NotificationCenter::defaultCenter().addObserver(
        platform::notification::PresetsChanged, &presets(), [&](const platform::Notification&) { ++posted; });

    Dictionary added{{"displayName", "Added"}};
    presets().addPreset(&added);
    presets().removePreset(&added);
    presets().deleteAllPresets();
    presets().removeObserver(token);
    platform::NotificationCenter::defaultCenter().removeObserver(observer);

    EXPECT_EQ(heard, (std::vector<std::string>{"will presetListForMenu 3", "did presetListForMenu 4",
                                               "will presetListForMenu 4", "did presetListForMenu 3",
                                               "will presetListForMenu 3", "did presetListForMenu 3"}))
        << "the list rereads (and reseeds) the folder deleted last";
    EXPECT_EQ(posted, 3);
}
