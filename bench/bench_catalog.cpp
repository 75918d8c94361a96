// The catalog is stored on the main thread each time a document closes, and read when one
// opens: with 10,000 images (about 3 KB of settings each) a store should stay under 0.5 s
// and a lookup in the kept catalog under 5 ms. The first read of the file parses it whole.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "app/core/CatalogStore.h"
#include "app/core/PresetManager.h"
#include "platform/Plist.h"
#include "settings/Schema.h"
#include "tests/support/TempHome.h"

namespace {

constexpr int kEntries = 10000;

std::string pathOf(int i) {
    return "/home/photographer/Pictures/2023/Trip to the coast/IMG_" + std::to_string(i) + ".CR3";
}

// What a document stores when it closes: its defaults, white balance, crop, orientation,
// the preset it came from and both profile forms.
platform::Dictionary documentSettings(int i) {
    platform::Dictionary s{
        {settings::UUID.c_str(), pathOf(i)},
        {settings::CameraProfile.c_str(),
         platform::Dictionary{{"Class_of_serialized_Object", "DNGCameraProfileAbstract"}}},
        {settings::IccProfile.c_str(),
         platform::Dictionary{{"Class_of_serialized_Object", "ColorSyncProfileWrap"}}},
        {settings::MaintainWhites.c_str(), true},
        {settings::MonochromeSensor.c_str(), false},
        {settings::IRUVSensor.c_str(), false},
        {settings::KodakProcessing.c_str(), true},
        {settings::SceneReferred.c_str(), true},
        {settings::ExportFileType.c_str(), 0},
        {settings::JPEGQuality.c_str(), 10.0},
        {settings::ImageOrientation.c_str(), 6.0},
        {settings::PresetUUID.c_str(), "6B29FC40-CA47-4C6E-9C2D-0E1F3D6A9B21"},
        {"displayName", "Default"},
    };
    for (const char* key : {"inputRadius", "inputIntensity", "inputEV", "inputContrast", "inputBrightness",
                            "inputFillLight", "inputHighLight", "inputKneeHigh", "inputKneeLow",
                            "inputSaturation", "inputAngle", "inputTemperature", "inputTint", "monochromeRed",
                            "monochromeYellow", "monochromeGreen", "monochromeCyan", "monochromeBlue"})
        s[std::string(settings::FilterPrefix) + key] = 0.8 + 0.001 * (i % 97);
    for (const char* key :
         {"ArtifactSuppression", "ChromaArtifactSuppression", "ettrAdjust", "toneCurveAdjust",
          "ArtifactFilter", "CropRect_x", "CropRect_y", "CropRect_width", "CropRect_height"})
        s[std::string(settings::Prefix) + key] = 0.333333333 * (i % 7);
    return s;
}

class Catalog {
  public:
    Catalog() {
        CatalogStore::sharedMultiDataStore().forgetStores();
        platform::Array entries;
        for (int i = 0; i < kEntries; ++i)
            entries.push_back(documentSettings(i));
        store()->saveImageData(&entries);
        const auto file = *store()->catalogFile();
        bytesPerEntry_ = double(std::filesystem::file_size(file)) / kEntries;
    }
    ~Catalog() { CatalogStore::sharedMultiDataStore().forgetStores(); }
    static std::shared_ptr<PropertyListStore> store() {
        return CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog");
    }
    double bytesPerEntry() const { return bytesPerEntry_; }

  private:
    testsupport::TempHome home_;
    double bytesPerEntry_ = 0;
};

void BM_CatalogStore(benchmark::State& state) {
    Catalog catalog;
    catalog.store()->getItemForUUID(pathOf(0)); // the document read it when it opened
    int i = 0;
    for (auto _ : state) {
        const platform::Dictionary settings = documentSettings(i++ % kEntries);
        benchmark::DoNotOptimize(catalog.store()->addItem(&settings));
    }
    state.counters["bytes_per_entry"] = catalog.bytesPerEntry();
}
BENCHMARK(BM_CatalogStore)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_CatalogCachedLookup(benchmark::State& state) {
    Catalog catalog;
    catalog.store()->getItemForUUID(pathOf(0));
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(catalog.store()->getItemForUUID(pathOf((i += 7919) % kEntries)));
}
BENCHMARK(BM_CatalogCachedLookup)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CatalogUncachedParse(benchmark::State& state) {
    Catalog catalog;
    for (auto _ : state) {
        CatalogStore::sharedMultiDataStore().forgetStores();
        benchmark::DoNotOptimize(Catalog::store()->getItemForUUID(pathOf(kEntries - 1)));
    }
}
BENCHMARK(BM_CatalogUncachedParse)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace
