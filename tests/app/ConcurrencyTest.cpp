#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/core/CatalogStore.h"
#include "app/core/PresetManager.h"
#include "settings/Schema.h"
#include "tests/app/AppHome.h"

// Batch export reads the catalog and presets on its worker while the main thread stores.
TEST(StoresUnderThreads, FourWritersAndAPresetReaderLoseNothing) {
    apptest::AppHome home;
    auto catalog = CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog");
    constexpr int kThreads = 4, kPaths = 200;
    std::atomic<int> lookupsFailed{0}, listsShort{0};
    std::atomic<bool> writing{true};

    std::thread reader([&] {
        while (writing)
            if (PresetManager::sharedPresetManager().presetList(false).size() != 3) ++listsShort;
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < kPaths; ++i) {
                const std::string path =
                    "/photos/t" + std::to_string(t) + "/IMG_" + std::to_string(i) + ".CR2";
                const platform::Dictionary settings{{settings::UUID.c_str(), path},
                                                    {settings::InputEV.c_str(), 0.1 * i}};
                if (!catalog->addItem(&settings)) ++lookupsFailed;
                auto back = catalog->getItemForUUID(path);
                if (!back || *back != settings) ++lookupsFailed;
            }
        });
    for (auto& w : writers)
        w.join();
    writing = false;
    reader.join();

    EXPECT_EQ(lookupsFailed, 0);
    EXPECT_EQ(listsShort, 0);
    CatalogStore::sharedMultiDataStore().forgetStores();
    auto entries = CatalogStore::sharedMultiDataStore().dataStoreForStore("Catalog")->imageData();
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), size_t(kThreads * kPaths));
}
