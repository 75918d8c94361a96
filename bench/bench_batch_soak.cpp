// Soak: the browser's batch export of 200 copies of the real samples that develop, run twice
// in one process, as a photographer exporting one shoot after another. Resident memory after
// the second batch must stay within 10 % of what it was after the first, no file descriptor
// may be left open by either, and every export must read back (djpeg, else libjpeg-turbo).
// Not a CI program: a run takes minutes. LUMIVAR_SOAK_FILES changes the batch size.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <turbojpeg.h>
#include <vector>

#include "app/browser/MyDocumentBatch.h"
#include "app/core/CatalogStore.h"
#include "app/core/PresetManager.h"
#include "platform/MainQueue.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempHome.h"

namespace fs = std::filesystem;
using namespace browser;

namespace {

// Full raw files of the sample set; the header-only ones cannot develop.
constexpr const char* kCandidates[] = {"EOS_D30.CRW",
                                       "PowerShotG2_CRW_0304.CRW",
                                       "DC120_P003908_uncompressed.KDC",
                                       "DC50_DC0008L.KDC",
                                       "Pixel7_small.dng",
                                       "BMPCC_cinemadng_frame.dng",
                                       "synthetic_1024_rggb_uncompressed.dng"};

double residentMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// Descriptor -> what it points at.
std::map<int, std::string> openDescriptors() {
    std::map<int, std::string> fds;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        const int fd = std::stoi(entry.path().filename().string());
        fds[fd] = fs::read_symlink(entry.path(), ec).string();
    }
    return fds;
}

std::optional<platform::Error> runBatch(BatchJob job) {
    BatchExportWorker worker(std::make_shared<MyDocumentBatchFactory>());
    bool done = false;
    std::optional<platform::Error> result;
    worker.start(
        std::move(job), [](const fs::path&) {},
        [&](const std::optional<platform::Error>& e) {
            result = e;
            done = true;
        });
    if (!platform::MainQueue::shared().runUntil([&] { return done; }, std::chrono::hours(2)))
        return platform::Error{"soak", 1, "the batch did not finish"};
    worker.join();
    return result;
}

bool haveDjpeg() { return std::system("command -v djpeg >/dev/null 2>&1") == 0; }

// A JPEG an independent reader decodes whole, without a warning.
bool validJpeg(const fs::path& file, bool djpeg) {
    if (djpeg) {
        const std::string command = "djpeg -outfile /dev/null '" + file.string() + "' 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return false;
        char buffer[256];
        const bool quiet = std::fgets(buffer, sizeof buffer, pipe) == nullptr;
        return pclose(pipe) == 0 && quiet;
    }
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, sub = 0, space = 0;
    bool ok = tjDecompressHeader3(handle, bytes.data(), bytes.size(), &width, &height, &sub, &space) == 0;
    if (ok) {
        std::vector<unsigned char> rgb(size_t(width) * height * 3);
        ok =
            tjDecompress2(handle, bytes.data(), bytes.size(), rgb.data(), width, 0, height, TJPF_RGB, 0) == 0;
    }
    tjDestroy(handle);
    return ok;
}

// Exports of one batch that read back; the folder is emptied afterwards.
int countValid(const fs::path& folder, bool djpeg) {
    int valid = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        valid += validJpeg(entry.path(), djpeg);
    fs::remove_all(folder);
    return valid;
}

void BM_BatchExportSoak(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "bench_batch_soak";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
    testsupport::TempHome home;
    CatalogStore::sharedMultiDataStore().forgetStores();
    PresetManager::sharedPresetManager().forgetPresetDirectory();
    testsupport::TempFolder folder;
    const auto preset = PresetManager::sharedPresetManager().presetNamed("Default");
    const bool djpeg = haveDjpeg();

    // The samples that develop: each exported alone once, which also settles what the
    // program keeps for its whole life (thread pools, profile tables, caches).
    std::vector<fs::path> developing;
    for (const char* sample : kCandidates) {
        const fs::path file = testsupport::samplePath(sample);
        if (!fs::exists(file)) continue;
        BatchJob probe;
        probe.sources = {file};
        probe.preset = preset;
        probe.exportFolder = folder.path() / "probe";
        fs::create_directories(*probe.exportFolder);
        if (!runBatch(probe) && countValid(*probe.exportFolder, djpeg) == 1) developing.push_back(file);
    }
    if (developing.empty()) {
        state.SkipWithError("no sample develops (LUMIVAR_SAMPLES)");
        return;
    }
    const char* count = std::getenv("LUMIVAR_SOAK_FILES");
    const int files = count ? std::atoi(count) : 200;
    BatchJob job;
    job.preset = preset;
    for (int i = 0; i < files; ++i) {
        const fs::path& from = developing[size_t(i) % developing.size()];
        const fs::path to = folder.path() / "sources" / (std::to_string(i) + "_" + from.filename().string());
        fs::create_directories(to.parent_path());
        fs::copy_file(from, to);
        job.sources.push_back(to);
    }

    const auto fdsBefore = openDescriptors();
    double rss[2] = {0, 0};
    int valid[2] = {0, 0};
    double seconds[2] = {0, 0};
    bool failed = false;
    for (auto _ : state) {
        for (int batch = 0; batch < 2; ++batch) {
            job.exportFolder = folder.path() / ("batch" + std::to_string(batch));
            fs::create_directories(*job.exportFolder);
            const auto start = std::chrono::steady_clock::now();
            if (const auto error = runBatch(job)) {
                std::fprintf(stderr, "batch %d: %s\n", batch + 1, error->failureReason.c_str());
                failed = true;
            }
            seconds[batch] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            rss[batch] = residentMiB();
            state.PauseTiming();
            valid[batch] = countValid(*job.exportFolder, djpeg);
            state.ResumeTiming();
        }
    }
    const auto fdsAfter = openDescriptors();
    for (const auto& [fd, target] : fdsAfter)
        if (!fdsBefore.count(fd)) std::fprintf(stderr, "left open: %d -> %s\n", fd, target.c_str());

    state.counters["files"] = files;
    state.counters["samples"] = double(developing.size());
    state.counters["rss1_MiB"] = rss[0];
    state.counters["rss2_MiB"] = rss[1];
    state.counters["rss_growth_pct"] = rss[0] > 0 ? 100.0 * (rss[1] - rss[0]) / rss[0] : 0;
    state.counters["fds_before"] = double(fdsBefore.size());
    state.counters["fds_after"] = double(fdsAfter.size());
    state.counters["valid1"] = valid[0];
    state.counters["valid2"] = valid[1];
    state.counters["batch1_s"] = seconds[0];
    state.counters["batch2_s"] = seconds[1];
    state.SetLabel(djpeg ? "checked by djpeg" : "checked by libjpeg-turbo");
    if (failed || valid[0] != files || valid[1] != files)
        state.SkipWithError("an export failed or did not read back");
    else if (rss[1] > rss[0] * 1.10)
        state.SkipWithError("resident memory grew more than 10 %");
    else if (fdsAfter.size() > fdsBefore.size())
        state.SkipWithError("a file descriptor was left open");
}
BENCHMARK(BM_BatchExportSoak)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
