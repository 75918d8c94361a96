#include "app/browser/BatchExport.h"

#include <algorithm>
#include <cstdio>

#include "app/core/Keys.h"
#include "app/core/SettingTypes.h"
#include "platform/MainQueue.h"

namespace fs = std::filesystem;

namespace browser {
namespace {

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

platform::Error permissionError(const fs::path& destination) {
    const std::string withoutExtension = fs::path(destination).replace_extension().string();
    return app::errors::Table.error(app::errors::BatchExportFailed, {withoutExtension});
}

} // namespace

std::optional<fs::path> batchDestination(const fs::path& source, const std::optional<fs::path>& exportFolder,
                                         const app::ExportType& type, bool overwrite, int maxNumber) {
    fs::path first = exportFolder ? *exportFolder / source.filename() : source;
    first.replace_extension(std::string(type.extension));
    const fs::path folder = first.parent_path();
    const std::string base = first.stem().string();
    const std::string extension = first.extension().string();
    // A name is usable when nothing is there, or when overwriting and it is not the source.
    auto usable = [&](const fs::path& candidate) {
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(candidate, ec))) return true;
        return overwrite && !sameFile(candidate, source);
    };
    if (usable(first)) return first;
    for (int i = 1; i <= maxNumber; ++i) {
        const fs::path candidate = folder / (base + "_" + std::to_string(i) + extension);
        if (usable(candidate)) return candidate;
    }
    return {};
}

std::optional<platform::Error> batchSummary(const std::vector<BatchFailure>& failures, size_t fileCount) {
    if (failures.empty()) return std::nullopt;
    const size_t count = failures.size(), files = std::max(fileCount, count);
    std::string text = std::to_string(count) + " of " + std::to_string(files) +
                       (files == 1 ? " file" : " files") +
                       (count == 1 ? " could not be exported; nothing was written for it."
                                   : " could not be exported; nothing was written for them.");
    text += "\n";
    for (size_t i = 0; i < count && i < kBatchSummaryFiles; ++i) {
        const BatchFailure& failure = failures[i];
        const std::string name = failure.source.filename().string();
        text += "\n" + (name.empty() ? failure.source.string() : name) + ": " + failure.error.failureReason;
    }
    if (count > kBatchSummaryFiles)
        text += "\n... and " + std::to_string(count - kBatchSummaryFiles) + " more.";
    return platform::Error{failures.front().error.domain, failures.front().error.code, text};
}

double batchProgress(uint64_t done, uint64_t count) {
    if (count == 0) return 99.0;
    return double(done) / double(count + 1) * 100.0;
}

std::vector<BatchMenuItem> batchPresetItems(const PresetManager::PresetList& presets) {
    std::vector<BatchMenuItem> items;
    for (const platform::Dictionary& preset : presets) {
        const auto name = preset.find(std::string(app::keys::DisplayName));
        const std::string title =
            name != preset.end() && name->second.isString() ? *name->second.string() : "";
        items.push_back({title + " settings", preset});
    }
    if (items.empty()) items.push_back({"Default settings", std::nullopt});
    return items;
}

BatchExportWorker::BatchExportWorker(std::shared_ptr<BatchDocumentFactory> documents,
                                     platform::DispatchQueue* reportQueue)
    : documents_(std::move(documents)),
      reportQueue_(reportQueue ? reportQueue : &platform::MainQueue::shared()) {}

BatchExportWorker::~BatchExportWorker() {
    cancel();
    join();
    *alive_ = false;
}

void BatchExportWorker::join() {
    if (thread_.joinable()) thread_.join();
}

bool BatchExportWorker::start(BatchJob job, Progress progress, Completion completion) {
    if (running_) return false;
    join();
    userDidCancel_ = false;
    running_ = true;
    thread_ = std::thread([this, job = std::move(job), progress = std::move(progress),
                           completion = std::move(completion)]() mutable {
        // A preset with a value of the wrong kind ends the batch before any file is written.
        std::optional<platform::Error> summary =
            job.preset ? app::wrongSettingType(*job.preset) : std::nullopt;
        if (!summary) summary = batchSummary(run(job, progress), job.sources.size());
        running_ = false;
        report([completion = std::move(completion), summary = std::move(summary)] { completion(summary); });
    });
    return true;
}

void BatchExportWorker::report(std::function<void()> task) {
    std::weak_ptr<std::atomic<bool>> alive = alive_;
    reportQueue_->async([alive, task = std::move(task)] {
        const auto flag = alive.lock();
        if (flag && *flag) task();
    });
}

// One bad file does not cost the others: each failure is kept for the summary and the batch
// goes on.
std::vector<BatchFailure> BatchExportWorker::run(const BatchJob& job, const Progress& progress) {
    const app::ExportType& type =
        job.preset ? app::exportTypeForSettings(*job.preset) : app::exportTypeForIndex(0);
    std::vector<BatchFailure> failures;
    for (const fs::path& source : job.sources) {
        if (userDidCancel_) break;
        report([progress, source] { progress(source); });
        const std::optional<fs::path> destination =
            batchDestination(source, job.exportFolder, type, job.overwrite);
        if (!destination) {
            fs::path wanted = job.exportFolder ? *job.exportFolder / source.filename() : source;
            failures.push_back(
                {source, permissionError(wanted.replace_extension(std::string(type.extension)))});
            continue;
        }
        if (std::optional<platform::Error> error = exportOne(job, source, *destination, type.typeIdentifier))
            failures.push_back({source, std::move(*error)});
    }
    return failures;
}

std::optional<platform::Error> BatchExportWorker::exportOne(const BatchJob& job, const fs::path& source,
                                                            const fs::path& destination,
                                                            std::string_view type) {
    platform::Error error;
    bool exported = false;
    std::unique_ptr<BatchDocument> document = documents_->makeDocument(source, &error);
    if (document) {
        if (job.preset) document->addSettingValues(*job.preset);
        if (!userDidCancel_) exported = document->exportToURL(destination, type, &error);
        document->close();
    }
    if (exported) return std::nullopt;
    // Only the domain, code and reason leave the document's scope.
    if (!error.domain.empty()) return platform::Error{error.domain, error.code, error.failureReason};
    if (userDidCancel_) return std::nullopt; // skipped, not failed
    return permissionError(destination);
}

} // namespace browser
