// Batch export: destination names, progress, the preset menu, and the worker with a fake
// document (open, settings, export, close) that the test scripts per file.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <thread>

#include "app/browser/BatchExport.h"
#include "app/core/Keys.h"
#include "platform/MainQueue.h"
#include "settings/Schema.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
using namespace browser;

namespace {

const app::ExportType& jpeg() { return app::exportTypeForIndex(0); }

TEST(BatchNaming, NumbersTakenNamesAndNeverWritesOverTheSource) {
    testsupport::TempFolder folder;
    for (const char* name : {"a.nef", "a.jpg", "a_1.jpg", "b.dng", "c.dng", "c_1.dng"})
        testsupport::writeFile(folder.path(), name, std::string("x"));
    fs::create_directory(folder / "out");
    const struct {
        const char* source;
        int type;
        bool overwrite;
        bool toFolder;
        const char* expected;
    } cases[] = {
        {"a.nef", 0, false, false, "a_2.jpg"},
        {"a.nef", 0, true, false, "a.jpg"},
        {"a.nef", 4, false, false, "a.exr"},
        {"a.nef", 9, false, false, "a_2.jpg"}, // 9 is no export type: JPEG
        {"a.nef", 1, false, false, "a.tif"},
        {"a.nef", 0, false, true, "out/a.jpg"},
        {"b.dng", 2, false, false, "b_1.dng"},
        {"b.dng", 2, true, false, "b_1.dng"}, // overwriting, but not the source
        {"c.dng", 2, true, false, "c_1.dng"}, // c_1 is another file: overwritten
    };
    for (const auto& c : cases) {
        const auto destination =
            batchDestination(folder / c.source, c.toFolder ? std::optional(folder / "out") : std::nullopt,
                             app::exportTypeForIndex(c.type), c.overwrite);
        ASSERT_TRUE(destination) << c.source;
        EXPECT_EQ(*destination, folder / c.expected) << c.source << " type " << c.type;
    }
    EXPECT_EQ(app::exportTypeForIndex(4).typeIdentifier, "com.ilm.openexr-image");
}

TEST(BatchNaming, AllNumbersTakenFailsInsteadOfOverwriting) {
    testsupport::TempFolder folder;
    for (const char* name : {"a.nef", "a.jpg", "a_1.jpg", "a_2.jpg", "a_3.jpg"})
        testsupport::writeFile(folder.path(), name, std::string("x"));
    EXPECT_FALSE(batchDestination(folder / "a.nef", std::nullopt, jpeg(), false, 3));
    EXPECT_EQ(batchDestination(folder / "a.nef", std::nullopt, jpeg(), false, 4), folder / "a_4.jpg");
}

TEST(BatchProgress, CountsAgainstOneMoreThanTheFiles) {
    EXPECT_NEAR(batchProgress(1, 2), 33.3, 0.05);
    EXPECT_NEAR(batchProgress(2, 2), 66.7, 0.05);
    EXPECT_EQ(batchProgress(1, 0), 99.0);
}

TEST(BatchMenu, PresetItemsAndTheDefaultFallback) {
    const platform::Dictionary portrait{{"displayName", "Portrait"}, {settings::ExportFileType.c_str(), 2}};
    const platform::Dictionary night{{"displayName", "Night"}};
    const auto items = batchPresetItems({portrait, night});
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, "Portrait settings");
    EXPECT_EQ(items[0].preset, portrait);
    EXPECT_EQ(items[1].title, "Night settings");
    const auto fallback = batchPresetItems({});
    ASSERT_EQ(fallback.size(), 1u);
    EXPECT_EQ(fallback[0].title, "Default settings");
    EXPECT_FALSE(fallback[0].preset);
}

// Writes the destination unless the script says otherwise for the file's name.
struct Script {
    std::mutex lock;
    std::set<std::string> failWithError, failSilently, unopenable;
    std::function<void(const fs::path&)> duringExport;
    std::vector<std::string> opened, exported, closed;
    std::vector<std::pair<std::string, std::string>> types; // destination name, type
    std::vector<platform::Dictionary> settings;
};

class FakeDocument : public BatchDocument {
  public:
    FakeDocument(Script& script, fs::path source) : script_(script), source_(std::move(source)) {}
    void addSettingValues(const platform::Dictionary& preset) override {
        std::lock_guard guard(script_.lock);
        script_.settings.push_back(preset);
    }
    bool exportToURL(const fs::path& destination, std::string_view type, platform::Error* error) override {
        if (script_.duringExport) script_.duringExport(source_);
        std::lock_guard guard(script_.lock);
        const std::string name = source_.filename().string();
        script_.types.emplace_back(destination.filename().string(), std::string(type));
        if (script_.failWithError.count(name)) {
            *error = {"RawOpenErrorDomain", -15, "could not decode " + name};
            return false;
        }
        if (script_.failSilently.count(name)) return false;
        testsupport::writeFile(destination.parent_path(), destination.filename().string(),
                               std::string("out"));
        script_.exported.push_back(destination.filename().string());
        return true;
    }
    void close() override {
        std::lock_guard guard(script_.lock);
        script_.closed.push_back(source_.filename().string());
    }

  private:
    Script& script_;
    fs::path source_;
};

class FakeFactory : public BatchDocumentFactory {
  public:
    explicit FakeFactory(Script& script) : script_(script) {}
    std::unique_ptr<BatchDocument> makeDocument(const fs::path& source, platform::Error* error) override {
        std::lock_guard guard(script_.lock);
        script_.opened.push_back(source.filename().string());
        if (script_.unopenable.count(source.filename().string())) {
            *error = {"LumivarErrorDomain", -2, "no decoder"};
            return nullptr;
        }
        return std::make_unique<FakeDocument>(script_, source);
    }

  private:
    Script& script_;
};

class BatchWorker : public testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"one.dng", "two.kdc", "three.nef", "four.crw"}) {
            testsupport::writeFile(folder.path(), name, std::string("raw"));
            job.sources.push_back(folder / name);
        }
    }
    // Runs the batch and waits for its completion on this (the main) thread.
    std::optional<platform::Error> runBatch() {
        bool done = false;
        std::optional<platform::Error> result;
        EXPECT_TRUE(worker.start(
            job, [this](const fs::path& source) { progress.push_back(source.filename().string()); },
            [&](const std::optional<platform::Error>& error) {
                result = error;
                done = true;
                ++completions;
            }));
        EXPECT_TRUE(platform::MainQueue::shared().runUntil([&] { return done; }, std::chrono::seconds(20)));
        worker.join();
        platform::MainQueue::shared().drain();
        return result;
    }
    testsupport::TempFolder folder;
    Script script;
    BatchJob job;
    BatchExportWorker worker{std::make_shared<FakeFactory>(script)};
    std::vector<std::string> progress;
    int completions = 0;
};

TEST_F(BatchWorker, ExportsEveryFileWithThePresetsTypeAndSettings) {
    job.preset = platform::Dictionary{{"displayName", "EXR"}, {settings::ExportFileType.c_str(), 4}};
    EXPECT_FALSE(runBatch());
    EXPECT_EQ(script.exported, (std::vector<std::string>{"one.exr", "two.exr", "three.exr", "four.exr"}));
    EXPECT_EQ(script.types.front().second, "com.ilm.openexr-image");
    EXPECT_EQ(script.settings.size(), 4u);
    EXPECT_EQ(script.closed.size(), 4u);
    EXPECT_EQ(progress, (std::vector<std::string>{"one.dng", "two.kdc", "three.nef", "four.crw"}));
    EXPECT_EQ(completions, 1);
}

TEST_F(BatchWorker, FailingFilesAreSummarisedAndTheOthersExported) {
    script.failWithError = {"three.nef"};
    script.failSilently = {"one.dng"};
    script.unopenable = {"two.kdc"};
    const auto summary = runBatch();
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->domain, "LumivarErrorDomain"); // the first failure's
    EXPECT_EQ(summary->code, -1);
    EXPECT_EQ(summary->failureReason,
              "3 of 4 files could not be exported; nothing was written for them.\n\n"
              "one.dng: Lumivar could not create the export file - may be a permissions problem: " +
                  (folder / "one").string() +
                  "\ntwo.kdc: no decoder"
                  "\nthree.nef: could not decode three.nef");
    EXPECT_EQ(script.exported, std::vector<std::string>{"four.jpg"});
    EXPECT_FALSE(fs::exists(folder / "one.jpg"));
    EXPECT_FALSE(fs::exists(folder / "three.jpg"));
    EXPECT_EQ(script.opened.size(), 4u);
    EXPECT_EQ(script.closed.size(), 3u); // two.kdc never opened
    EXPECT_EQ(progress.size(), 4u);
    EXPECT_EQ(completions, 1);
}

TEST(BatchSummary, CountsNamesAndReasons) {
    const platform::Error decode{"RawOpenErrorDomain", -15, "the file is truncated"};
    const platform::Error full{"LumivarErrorDomain", -11, "Could not write x.jpg: No space left on device"};
    std::vector<BatchFailure> many;
    for (size_t i = 0; i < kBatchSummaryFiles + 2; ++i)
        many.push_back({"/photos/f" + std::to_string(i) + ".nef", decode});
    std::string manyText = "22 of 30 files could not be exported; nothing was written for them.\n";
    for (size_t i = 0; i < kBatchSummaryFiles; ++i)
        manyText += "\nf" + std::to_string(i) + ".nef: the file is truncated";
    manyText += "\n... and 2 more.";
    const struct {
        std::vector<BatchFailure> failures;
        size_t files;
        std::optional<platform::Error> summary;
    } cases[] = {
        {{}, 3, std::nullopt},
        {{{"/p/D7100_truncated.NEF", decode}},
         3,
         platform::Error{"RawOpenErrorDomain", -15,
                         "1 of 3 files could not be exported; nothing was written for it.\n\n"
                         "D7100_truncated.NEF: the file is truncated"}},
        {{{"/p/a.crw", full}, {"/p/b.nef", decode}},
         2,
         platform::Error{"LumivarErrorDomain", -11,
                         "2 of 2 files could not be exported; nothing was written for them.\n\n"
                         "a.crw: Could not write x.jpg: No space left on device\n"
                         "b.nef: the file is truncated"}},
        {{{"/p/only.kdc", decode}},
         1,
         platform::Error{"RawOpenErrorDomain", -15,
                         "1 of 1 file could not be exported; nothing was written for it.\n\n"
                         "only.kdc: the file is truncated"}},
        {many, 30, platform::Error{"RawOpenErrorDomain", -15, manyText}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(batchSummary(c.failures, c.files), c.summary) << c.files;
}

TEST_F(BatchWorker, CancelDuringAFileLetsItFinishAndStartsNoOther) {
    script.duringExport = [this](const fs::path&) { worker.cancel(); };
    EXPECT_FALSE(runBatch());
    EXPECT_EQ(script.exported, std::vector<std::string>{"one.jpg"});
    EXPECT_EQ(script.opened.size(), 1u);
    EXPECT_TRUE(worker.userDidCancel());
}

TEST_F(BatchWorker, JobIsTheWorkersOwnCopyAndOneBatchRunsAtATime) {
    fs::create_directory(folder / "out");
    job.exportFolder = folder / "out";
    std::atomic<bool> release{false};
    script.duringExport = [&](const fs::path&) {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    bool done = false;
    ASSERT_TRUE(worker.start(
        job, [](const fs::path&) {}, [&](const std::optional<platform::Error>&) { done = true; }));
    EXPECT_TRUE(worker.isRunning());
    EXPECT_FALSE(worker.start(
        job, [](const fs::path&) {}, [](const std::optional<platform::Error>&) {}));
    job.exportFolder.reset(); // the user picks "This folder" meanwhile
    release = true;
    ASSERT_TRUE(platform::MainQueue::shared().runUntil([&] { return done; }, std::chrono::seconds(20)));
    worker.join();
    EXPECT_EQ(std::set<std::string>(script.exported.begin(), script.exported.end()).size(), 4u);
    EXPECT_TRUE(fs::exists(folder / "out" / "four.jpg"));
}

TEST(BatchWorkerLifetime, DestroyedDuringABatchJoinsAfterTheCurrentFile) {
    testsupport::TempFolder folder;
    Script script;
    BatchJob job;
    for (const char* name : {"a.dng", "b.dng", "c.dng"})
        job.sources.push_back(testsupport::writeFile(folder.path(), name, std::string("x")));
    std::atomic<bool> inExport{false};
    script.duringExport = [&](const fs::path&) {
        inExport = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the worker goes meanwhile
    };
    bool completed = false;
    {
        BatchExportWorker worker(std::make_shared<FakeFactory>(script));
        worker.start(
            job, [](const fs::path&) {}, [&](const std::optional<platform::Error>&) { completed = true; });
        while (!inExport)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } // like quitting: cancel, wait for the file in hand
    platform::MainQueue::shared().drain();
    EXPECT_EQ(script.exported.size(), 1u);
    EXPECT_FALSE(completed); // nobody is left to tell
}

} // namespace
