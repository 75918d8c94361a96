// The catalog is read whole when a document opens and written whole when it closes; tile
// work goes through dispatch groups. These show what both cost as they grow.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>

#include "platform/DispatchGroup.h"
#include "platform/Plist.h"
#include "settings/Schema.h"

namespace {

platform::Value catalog(int entries) {
    platform::Array items;
    for (int i = 0; i < entries; ++i) {
        platform::Dictionary settings{
            {settings::UUID.c_str(), "/photos/2023/IMG_" + std::to_string(i) + ".CR3"},
            {settings::MaintainWhites.c_str(), true},
            {settings::ExportFileType.c_str(), 0}};
        for (int k = 0; k < 25; ++k)
            settings[std::string(settings::FilterPrefix) + "key" + std::to_string(k)] = 0.25 * k;
        items.push_back(std::move(settings));
    }
    return items;
}

void BM_CatalogWriteAndRead(benchmark::State& state) {
    platform::Value root = catalog(int(state.range(0)));
    for (auto _ : state) {
        std::string xml = platform::writeXmlPlist(root);
        platform::Value back;
        platform::readXmlPlist(xml, back);
        benchmark::DoNotOptimize(back);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CatalogWriteAndRead)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_GroupOfSmallTasks(benchmark::State& state) {
    std::atomic<int64_t> sum{0};
    for (auto _ : state) {
        platform::DispatchGroup group;
        for (int64_t i = 0; i < state.range(0); ++i)
            group.async([&sum, i] { sum += i; });
        group.wait();
    }
    benchmark::DoNotOptimize(sum.load());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GroupOfSmallTasks)->Arg(16)->Arg(256)->Unit(benchmark::kMicrosecond);

} // namespace
