// Photo CD decoding: a synthetic Base image pack (768 x 512) parsed and converted to 16-bit
// RGBA, per chroma interpolation mode (0 replicate, 1 bilinear, 2 edge-directed).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "photocd/pcdDecode.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/PhotoCdBuilder.h"

namespace {

// Written once into a private temporary folder, removed when the program ends.
class SyntheticPack {
  public:
    SyntheticPack() {
        testsupport::PhotoCdBuilder b;
        b.plainLevel(
            2, [](int r, int c) { return uint8_t((r * 3 + c) & 255); },
            [](int r, int c) { return uint8_t(120 + ((r ^ c) & 63)); },
            [](int r, int c) { return uint8_t(110 + ((r + c) & 63)); });
        std::string folder = (std::filesystem::temp_directory_path() / "lv-pcd-bench-XXXXXX").string();
        if (mkdtemp(folder.data())) {
            folder_ = folder;
            path_ = testsupport::writeFile(folder_, "base.pcd", b.data()).string();
        }
    }
    ~SyntheticPack() {
        std::error_code ec;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
    }
    const std::string& path() const { return path_; }

  private:
    std::filesystem::path folder_;
    std::string path_;
};

const std::string& syntheticPack() {
    static const SyntheticPack pack;
    return pack.path();
}

void BM_PhotoCdBase(benchmark::State& state) {
    const std::string& path = syntheticPack();
    std::vector<uint16_t> rgba(size_t(768) * 512 * 4);
    for (auto _ : state) {
        pcdDecode decoder;
        decoder.setInterpolation(static_cast<int>(state.range(0)));
        if (!decoder.parseFile(path, "", 2) || !decoder.buildHigherLevels() ||
            !decoder.read16BitImage(&rgba[0], &rgba[1], &rgba[2], &rgba[3], 4)) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(rgba.data());
    }
    state.SetItemsProcessed(state.iterations() * 768 * 512);
}
BENCHMARK(BM_PhotoCdBase)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace
