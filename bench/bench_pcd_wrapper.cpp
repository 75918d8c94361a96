// The Photo CD image wrapper: a browser thumbnail (Base/16 into 16-bit RGBA, no colour
// matching) and a full Base image colour-matched into the linear ProPhoto working space,
// each from a fresh wrapper over a synthetic pack.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "photocd/wrapper/PhotoCdImageWrapper.h"
#include "platform/UserDefaults.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/PhotoCdBuilder.h"

namespace {

// The pack and the preferences live in a private temporary folder, removed at the end.
class BenchDisc {
  public:
    BenchDisc() {
        std::string folder = (std::filesystem::temp_directory_path() / "lv-pcdwrap-bench-XXXXXX").string();
        if (!mkdtemp(folder.data())) return;
        folder_ = folder;
        setenv("LUMIVAR_HOME", folder.c_str(), 1);
        platform::UserDefaults::resetStandardUserDefaults();
        testsupport::PhotoCdBuilder b;
        for (int level = 0; level < 3; ++level)
            b.plainLevel(
                level, [](int r, int c) { return uint8_t((r * 3 + c) & 255); },
                [](int r, int c) { return uint8_t(120 + ((r ^ c) & 63)); },
                [](int r, int c) { return uint8_t(110 + ((r + c) & 63)); });
        pack_ = testsupport::writeFile(folder_ / "IMAGES", "IMG0001.PCD", b.data());
    }
    ~BenchDisc() {
        std::error_code ec;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
    }
    const std::filesystem::path& pack() const { return pack_; }

  private:
    std::filesystem::path folder_, pack_;
};

const BenchDisc& disc() {
    static const BenchDisc d;
    return d;
}

void BM_PcdThumbnailImageRep(benchmark::State& state) {
    const auto& pack = disc().pack();
    for (auto _ : state) {
        PhotoCdImageWrapper wrapper(pack, "uuid", true);
        auto rep = wrapper.getImageRep(nullptr);
        if (!rep) {
            state.SkipWithError("no thumbnail");
            break;
        }
        benchmark::DoNotOptimize(rep->data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PcdThumbnailImageRep)->Unit(benchmark::kMillisecond);

void BM_PcdFullBaseMatched(benchmark::State& state) {
    const auto& pack = disc().pack();
    platform::UserDefaults::standard().setInteger(2, "ResolutionSelect");
    for (auto _ : state) {
        PhotoCdImageWrapper wrapper(pack, "uuid", false);
        auto bytes = wrapper.masterImageBytes();
        if (!bytes) {
            state.SkipWithError("no image");
            break;
        }
        benchmark::DoNotOptimize(bytes.get());
    }
    state.SetItemsProcessed(state.iterations() * 768 * 512);
}
BENCHMARK(BM_PcdFullBaseMatched)->Unit(benchmark::kMillisecond);

} // namespace
