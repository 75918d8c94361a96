// libFuzzer target: arbitrary bytes as the property lists another program or a damaged disk
// may leave us: the catalog (read as a document restoring its entry reads it, profile forms
// rebuilt), a preset file among the seeded ones (read as the preset menu reads the folder),
// and the user defaults (every typed getter, then a change that writes them back).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/core/AppTables.h"
#include "app/core/CatalogStore.h"
#include "app/core/Keys.h"
#include "app/core/PresetManager.h"
#include "app/core/PropertyListStore.h"
#include "fuzz/FuzzScratch.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "settings/Schema.h"

namespace {

void readCatalog(const uint8_t* data, size_t size) {
    const std::filesystem::path folder = platform::paths::applicationSupport() / "Catalog";
    std::error_code ec;
    std::filesystem::remove_all(folder, ec); // a damaged file is set aside there
    fuzzing::scratch().write(
        std::filesystem::relative(folder / "LumivarCatalog.plist", fuzzing::scratch().folder()), data, size);
    PropertyListStore catalog("Catalog");
    const auto entries = catalog.imageData();
    if (!entries) return;
    for (const platform::Value& entry : *entries) {
        const platform::Dictionary* settings = entry.dictionary();
        if (!settings) continue;
        (void)CatalogStore::sharedMultiDataStore().deserializeFromPList(*settings);
        auto uuid = settings->find(settings::UUID.c_str());
        if (uuid != settings->end() && uuid->second.isString()) {
            (void)catalog.getItemForUUID(*uuid->second.string());
            catalog.updateItem(*settings); // merged and written back
        }
    }
}

void readPresets(const uint8_t* data, size_t size) {
    PresetManager& presets = PresetManager::sharedPresetManager();
    const auto folder = presets.presetDirectory(); // made and seeded on first use
    if (!folder) std::abort();
    fuzzing::scratch().write(std::filesystem::relative(*folder / "Fuzzed.plist", fuzzing::scratch().folder()),
                             data, size);
    for (const PresetManager::Preset& preset : presets.presetListForMenu())
        (void)PresetManager::profileUUID(preset);
    (void)presets.presetNamed("Default");
}

void readDefaults(const uint8_t* data, size_t size) {
    const auto file = fuzzing::scratch().write("config/Lumivar.plist", data, size);
    platform::UserDefaults defaults(file);
    app::registerApplicationDefaults(defaults);
    platform::Dictionary keys = app::applicationDefaults();
    for (std::string_view key :
         {app::defaults::LumivarIsRunning, app::defaults::ImageDirectory,
          app::defaults::RawSearchDirectoryBookmark, app::defaults::ImageDirectoryBookmark,
          app::defaults::ExportDirectoryBookmark})
        keys[std::string(key)] = platform::Value();
    for (const auto& [key, value] : keys) {
        (void)defaults.objectForKey(key);
        (void)defaults.stringForKey(key);
        (void)defaults.boolForKey(key);
        (void)defaults.integerForKey(key);
        (void)defaults.doubleForKey(key);
        (void)defaults.dictionaryForKey(key);
        (void)defaults.arrayForKey(key);
    }
    defaults.setInteger(2, app::defaults::BrowserFileSelect); // writes every stored value back
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("LUMIVAR_HOME", fuzzing::scratch().folder().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readCatalog(data, size);
    readPresets(data, size);
    readDefaults(data, size);
    return 0;
}
