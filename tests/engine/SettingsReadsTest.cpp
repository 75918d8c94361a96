// The schema's readers against what each step of the engine really asks the settings for: a
// stage that reads a setting whose row does not name it fails, and so does a row naming a
// stage that no longer reads it (beyond the few the stage only takes up).
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "color/ColorSyncProfileWrap.h"
#include "dng/DNGCameraProfileAbstract.h"
#include "engine/stages/CoreTiledEngine.h"
#include "engine/stages/MeanTiledEngine.h"
#include "engine/stages/MedianTiledEngine.h"
#include "engine/stages/RawCombineTiledEngine.h"
#include "engine/stages/SharpeningTiledEngine.h"
#include "engine/stages/ThreadedImageEngine.h"
#include "settings/Reads.h"
#include "settings/Schema.h"

namespace {

using Keys = std::set<std::string_view>;

class Recorder : public settings::ReadWatcher {
  public:
    Recorder() { settings::watchReads(this); }
    ~Recorder() override { settings::watchReads(nullptr); }
    void settingRead(const settings::Setting& setting) override {
        std::lock_guard<std::mutex> guard(lock_);
        read_.insert(setting.key);
    }
    Keys read() {
        std::lock_guard<std::mutex> guard(lock_);
        return read_;
    }

  private:
    std::mutex lock_;
    Keys read_;
};

// Every row with a value of its kind, so no read is skipped for a missing or odd value.
platform::Dictionary everySetting() {
    platform::Dictionary all;
    for (const settings::Setting* setting : settings::kAll) {
        platform::Value value;
        switch (setting->type) {
        case settings::Type::Number:
            value = 0.5;
            break;
        case settings::Type::Boolean:
            value = true;
            break;
        case settings::Type::Text:
            value = "text";
            break;
        case settings::Type::ProfileForm:
            value = *setting == settings::CameraProfile
                        ? DNGCameraProfileAbstract::createAsAutoProfile()->objectSerializeForPList()
                        : ColorSyncProfileWrap::createAsAutoProfile()->objectSerializeForPList();
            break;
        }
        all[std::string(setting->key)] = std::move(value);
    }
    return all;
}

Keys rowsNaming(settings::Reader reader) {
    Keys keys;
    for (const settings::Setting* setting : settings::kAll)
        if (setting->readBy(reader)) keys.insert(setting->key);
    return keys;
}

std::string listed(const Keys& keys) {
    std::string text;
    for (std::string_view key : keys)
        text += std::string(text.empty() ? "" : ", ") + std::string(key);
    return text.empty() ? "none" : text;
}

template <class Stage> void takeUpEverySetting() {
    auto stage = std::make_shared<Stage>(platform::Size{16, 16}, "", false);
    stage->setParameters(std::nullopt, everySetting());
}

struct Case {
    const char* step;
    settings::Reader reader;
    std::function<void()> run;
    // Keys the step takes up (it runs again for them) without reading them.
    Keys takenUpOnly;
};

TEST(SettingsSchema, EachStepReadsExactlyTheSettingsWhoseRowsNameIt) {
    const Case cases[] = {
        {"decode",
         settings::DecodeStep,
         [] {
             auto engine = ThreadedImageEngine::create(
                 std::make_shared<ImageWrapper>("/nonexistent/reads.dng", "reads", false), true);
             engine->setImageParameters(everySetting());
             engine->processStage0();
         },
         {}},
        {"raw combine",
         settings::RawCombineStage,
         takeUpEverySetting<RawCombineTiledEngine>,
         {settings::MonochromeSensor.key}},
        {"median", settings::MedianStage, takeUpEverySetting<MedianTiledEngine>, {}},
        {"mean", settings::MeanStage, takeUpEverySetting<MeanTiledEngine>, {settings::KodakProcessing.key}},
        {"sharpening", settings::SharpeningStage, takeUpEverySetting<SharpeningTiledEngine>, {}},
        {"output",
         settings::OutputStage,
         [] {
             auto stage = std::make_shared<CoreTiledEngine>(platform::Size{16, 16}, "", false);
             // With camera parameters the tables are built whole, reading every input.
             stage->setCameraParameters(platform::Dictionary{});
             stage->setParameters(std::nullopt, everySetting());
             stage->waitForTables();
         },
         {settings::InputSaturation.key, settings::InputAngle.key}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        Keys read;
        {
            Recorder recorder;
            c.run();
            read = recorder.read();
        }
        const Keys named = rowsNaming(c.reader);
        Keys unlisted, unread;
        for (std::string_view key : read)
            if (!named.count(key)) unlisted.insert(key);
        for (std::string_view key : named)
            if (!read.count(key)) unread.insert(key);
        EXPECT_TRUE(unlisted.empty()) << "read, but their rows do not name the step: " << listed(unlisted);
        EXPECT_EQ(unread, c.takenUpOnly) << "named by their rows, but not read: " << listed(unread);
    }
}

} // namespace
