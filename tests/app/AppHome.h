#pragma once
// A fresh application-support folder per test: the stores and the preset manager forget
// the folders they resolved under the previous one.
#include "app/core/CatalogStore.h"
#include "app/core/PresetManager.h"
#include "platform/Paths.h"
#include "tests/support/TempHome.h"

namespace apptest {

class AppHome {
  public:
    AppHome() { forget(); }
    ~AppHome() { forget(); }
    AppHome(const AppHome&) = delete;
    AppHome& operator=(const AppHome&) = delete;

    const std::filesystem::path& path() const { return home_.path(); }
    std::filesystem::path support() const { return platform::paths::applicationSupport(); }

  private:
    static void forget() {
        CatalogStore::sharedMultiDataStore().forgetStores();
        PresetManager::sharedPresetManager().forgetPresetDirectory();
    }
    testsupport::TempHome home_;
};

} // namespace apptest
