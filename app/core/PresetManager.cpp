#include "app/core/PresetManager.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "app/core/AppFiles.h"
#include "app/core/CatalogStore.h"
#include "app/core/Keys.h"
#include "app/core/PresetSeeds.h"
#include "app/core/Uuid.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Notifications.h"
#include "platform/Plist.h"

namespace fs = std::filesystem;
using platform::Error;
using platform::Value;

namespace {

// An identity names a file in the preset folder: one that reaches elsewhere ("../x", "a/b")
// came from a hand-edited or hostile file and is never used as a name.
bool isUsableIdentity(const std::string& id) {
    return !id.empty() && id != "." && id != ".." && id.find('/') == std::string::npos &&
           id.find('\0') == std::string::npos;
}

std::optional<std::string> usableIdentity(const PresetManager::Preset& preset) {
    auto id = PresetManager::profileUUID(preset);
    if (id && isUsableIdentity(*id)) return id;
    return std::nullopt;
}

fs::path presetFile(const fs::path& folder, const std::string& id) { return folder / (id + ".plist"); }

// A file that cannot be parsed, or holds no dictionary, is set aside so that the
// photographer hears of it once; one that cannot be read at all (permissions) is only skipped.
std::optional<PresetManager::Preset> readPreset(const fs::path& file, const void* manager) {
    Value parsed;
    Error error;
    if (!platform::readPlistFile(file, parsed, &error)) {
        if (error.domain == platform::kPosixErrorDomain)
            LV_LOG("PresetManager: %s", error.failureReason.c_str());
        else
            app::setDamagedFileAside(file, "preset", error.failureReason, manager);
        return std::nullopt;
    }
    if (!parsed.dictionary()) {
        app::setDamagedFileAside(file, "preset", "it holds no dictionary", manager);
        return std::nullopt;
    }
    return CatalogStore::sharedMultiDataStore().deserializeFromPList(*parsed.dictionary());
}

} // namespace

PresetManager& PresetManager::sharedPresetManager() {
    static PresetManager* shared = new PresetManager(); // never freed
    return *shared;
}

std::optional<fs::path> PresetManager::presetDirectory() {
    std::scoped_lock guard(lock_);
    return presetDirectoryLocked();
}

void PresetManager::forgetPresetDirectory() {
    std::scoped_lock guard(lock_);
    folder_.reset();
    presetList_.clear();
}

std::optional<fs::path> PresetManager::presetDirectoryLocked() {
    if (!folder_) folder_ = app::supportFolderPath("presets");
    bool created = false;
    auto folder = app::ensureSupportFolder(*folder_, &created);
    if (folder && created) seedLocked(*folder);
    return folder;
}

void PresetManager::seedLocked(const fs::path& folder) {
    for (Preset& preset : app::seededPresets()) {
        preset[std::string(app::keys::PresetUUID)] = uuidString();
        Error error;
        if (!writeLocked(folder, preset, &error))
            LV_LOG("PresetManager::%s Could not write a preset: %s", __func__, error.failureReason.c_str());
    }
}

void PresetManager::iteratePresets() {
    std::scoped_lock guard(lock_);
    iterateLocked();
}

void PresetManager::iterateLocked() {
    presetList_.clear();
    auto folder = presetDirectoryLocked();
    if (!folder) return;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(*folder, ec)) {
        if (app::lowercaseExtension(entry.path()) != "plist" || !entry.is_regular_file(ec)) continue;
        if (auto preset = readPreset(entry.path(), this)) presetList_.push_back(std::move(*preset));
    }
}

PresetManager::PresetList PresetManager::presetList(bool forMenu) {
    std::scoped_lock guard(lock_);
    iterateLocked();
    PresetList list;
    if (forMenu) list.push_back({{std::string(app::keys::DisplayName), kMenuPrompt}});
    list.insert(list.end(), presetList_.begin(), presetList_.end());
    return list;
}

std::optional<PresetManager::Preset> PresetManager::presetNamed(std::string_view name) {
    const Value wanted{name};
    for (Preset& preset : presetList(false)) {
        auto it = preset.find(std::string(app::keys::DisplayName));
        if (it != preset.end() && it->second == wanted) return std::move(preset);
    }
    return std::nullopt;
}

std::optional<std::string> PresetManager::profileUUID(const Preset& preset) {
    auto it = preset.find(std::string(app::keys::PresetUUID));
    if (it == preset.end() || !it->second.string()) return std::nullopt;
    return *it->second.string();
}

bool PresetManager::addPreset(Preset* preset, Error* error) {
    return announcedChange([&] { return !preset || addLocked(*preset, error); });
}

bool PresetManager::addLocked(Preset& preset, Error* error) {
    auto folder = presetDirectoryLocked();
    if (!folder) return platform::fail(error, app::posixError(ENOENT, "The preset folder is not available"));
    iterateLocked();
    const std::string idKey(app::keys::PresetUUID);
    auto name = preset.find(std::string(app::keys::DisplayName));
    for (const Preset& existing : presetList_) {
        auto other = existing.find(std::string(app::keys::DisplayName));
        if (name == preset.end() || other == existing.end() || other->second != name->second) continue;
        if (auto id = usableIdentity(existing)) {
            preset[idKey] = *id;
            break;
        }
    }
    if (!usableIdentity(preset)) preset[idKey] = uuidString();
    return writeLocked(*folder, preset, error);
}

bool PresetManager::writeLocked(const fs::path& folder, const Preset& preset, Error* error) {
    const platform::Dictionary stored = CatalogStore::sharedMultiDataStore().serializeToPList(preset);
    return platform::writePlistFile(presetFile(folder, *usableIdentity(preset)), Value(stored), error);
}

bool PresetManager::removePreset(const Preset* preset, Error* error) {
    return announcedChange([&] { return !preset || removeLocked(*preset, error); });
}

bool PresetManager::removeLocked(const Preset& preset, Error* error) {
    auto folder = presetDirectoryLocked();
    if (!folder) return platform::fail(error, app::posixError(ENOENT, "The preset folder is not available"));
    auto id = usableIdentity(preset);
    if (!id) return platform::fail(error, app::posixError(ENOENT, "The preset has no file"));
    const fs::path file = presetFile(*folder, *id);
    std::error_code ec;
    if (!fs::remove(file, ec))
        return platform::fail(error,
                              app::posixError(ec ? ec.value() : ENOENT, "Could not remove " + file.string()));
    return true;
}

bool PresetManager::deleteAllPresets(Error* error) {
    return announcedChange([&] {
        if (!folder_) folder_ = app::supportFolderPath("presets");
        presetList_.clear();
        std::error_code ec;
        fs::remove_all(*folder_, ec);
        return !ec ||
               platform::fail(error, app::posixError(ec.value(), "Could not remove " + folder_->string()));
    });
}

// The work runs under the lock; the announcements outside it, since an observer usually
// rereads the list.
bool PresetManager::announcedChange(const std::function<bool()>& work) {
    announce(true);
    bool ok = false;
    {
        std::scoped_lock guard(lock_);
        ok = work();
    }
    announce(false);
    notifyPresetsChanged();
    return ok;
}

void PresetManager::notifyPresetsChanged() {
    platform::NotificationCenter::defaultCenter().post(platform::notification::PresetsChanged, this);
}

std::string PresetManager::uuidString() { return app::uuidString(); }

int PresetManager::addObserver(ChangeObserver observer) {
    std::scoped_lock guard(observersLock_);
    observers_.emplace(nextToken_, std::move(observer));
    return nextToken_++;
}

void PresetManager::removeObserver(int token) {
    std::scoped_lock guard(observersLock_);
    observers_.erase(token);
}

void PresetManager::announce(bool willChange) {
    std::vector<ChangeObserver> observers;
    {
        std::scoped_lock guard(observersLock_);
        for (const auto& [token, observer] : observers_)
            observers.push_back(observer);
    }
    for (const auto& observer : observers)
        observer(kPresetListKey, willChange);
}
