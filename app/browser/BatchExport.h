#pragma once
// Batch export from the browser: the selected files, one document each, developed with a
// preset's settings and exported with its export type. The worker runs on a thread of its
// own per batch and reports on the main queue; the documents come through a factory, so
// this runs with any document class (and with a fake in tests).
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/core/AppTables.h"
#include "app/core/PresetManager.h"
#include "platform/DispatchQueue.h"
#include "platform/Error.h"
#include "platform/Value.h"

namespace browser {

// The highest number tried after the name itself: base_1 ... base_99999.
inline constexpr int kMaxExportNameNumber = 99999;

// Where a file goes: its own folder, or `exportFolder` when given, under its name with the
// export type's extension. Without `overwrite`, a name that exists gives base_1, base_2, ...;
// with it, an existing file is replaced, except the source itself, which is never written
// over. Nothing when every name up to base_99999 is taken.
std::optional<std::filesystem::path>
batchDestination(const std::filesystem::path& source,
                 const std::optional<std::filesystem::path>& exportFolder, const app::ExportType& type,
                 bool overwrite, int maxNumber = kMaxExportNameNumber);

// The progress bar after `done` of `count` files, in percent; 99 when there is no count.
double batchProgress(uint64_t done, uint64_t count);

// The preset submenu: one item per preset titled "<displayName> settings", or the single item
// "Default settings" without a preset when there are none.
struct BatchMenuItem {
    std::string title;
    std::optional<platform::Dictionary> preset;
};
inline constexpr std::string_view kBatchMenuTitle = "Export with...";
inline constexpr std::string_view kBatchSubmenuTitle = "Export to JPEG with...";
std::vector<BatchMenuItem> batchPresetItems(const PresetManager::PresetList& presets);

// One document opened for export only: it never reaches the catalog (closing a document
// whose engine has no delegate stores nothing).
class BatchDocument {
  public:
    virtual ~BatchDocument() = default;
    virtual void addSettingValues(const platform::Dictionary& preset) = 0;
    // The whole image without crop, its images released afterwards.
    virtual bool exportToURL(const std::filesystem::path& destination, std::string_view typeIdentifier,
                             platform::Error* error) = 0;
    virtual void close() = 0;
};

class BatchDocumentFactory {
  public:
    virtual ~BatchDocumentFactory() = default;
    // A document for the file (type "public.image"); null with the error when it cannot open.
    virtual std::unique_ptr<BatchDocument> makeDocument(const std::filesystem::path& source,
                                                        platform::Error* error) = 0;
};

// A file of a batch that was not exported (nothing written for it), and why.
struct BatchFailure {
    std::filesystem::path source;
    platform::Error error;
};

// The one message at the end of a batch with failures: how many of `fileCount` files failed,
// then one line per file, "<name>: <reason>", at most kBatchSummaryFiles of them. Its domain
// and code are the first failure's. None when nothing failed.
inline constexpr size_t kBatchSummaryFiles = 20;
std::optional<platform::Error> batchSummary(const std::vector<BatchFailure>& failures, size_t fileCount);

struct BatchJob {
    std::vector<std::filesystem::path> sources; // in the grid's order
    std::optional<platform::Dictionary> preset; // none: the default item
    bool overwrite = false;                     // "SilentlyOverwrite"
    std::optional<std::filesystem::path> exportFolder;
};

class BatchExportWorker {
  public:
    using Progress = std::function<void(const std::filesystem::path& source)>;
    // With the batch's summary when a file failed (batchSummary).
    using Completion = std::function<void(const std::optional<platform::Error>& summary)>;

    explicit BatchExportWorker(std::shared_ptr<BatchDocumentFactory> documents,
                               platform::DispatchQueue* reportQueue = nullptr); // main queue
    // Cancels a running batch and waits for the file in hand; reports not yet run are dropped.
    ~BatchExportWorker();
    BatchExportWorker(const BatchExportWorker&) = delete;
    BatchExportWorker& operator=(const BatchExportWorker&) = delete;

    // Starts the batch on a new thread; false (and nothing started) while one runs. The job is
    // the worker's own copy: later changes of the export folder do not reach it.
    bool start(BatchJob job, Progress progress, Completion completion);
    // The file in hand finishes (or fails); no further file starts.
    void cancel() { userDidCancel_ = true; }
    bool userDidCancel() const { return userDidCancel_; }
    bool isRunning() const { return running_; }
    // Waits for the thread of the last batch.
    void join();

  private:
    std::vector<BatchFailure> run(const BatchJob& job, const Progress& progress);
    std::optional<platform::Error> exportOne(const BatchJob& job, const std::filesystem::path& source,
                                             const std::filesystem::path& destination, std::string_view type);
    void report(std::function<void()> task);

    std::shared_ptr<BatchDocumentFactory> documents_;
    platform::DispatchQueue* reportQueue_;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    std::atomic<bool> userDidCancel_{false};
    std::atomic<bool> running_{false};
    std::thread thread_;
};

} // namespace browser
