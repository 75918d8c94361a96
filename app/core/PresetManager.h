#pragma once
// The user's presets: named settings dictionaries, one XML property list each, named by the
// preset's identity (its PresetUUID setting) in applicationSupport()/presets. The folder is made
// and seeded with three presets whenever it is missing on use. Presets are read from disk on
// every request. Each operation holds the manager's lock, so the batch export's worker may
// read while the main thread saves; observers of "presetListForMenu" hear before and after
// every change, and "Tarnwell_PresetsChanged" follows it.
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "platform/Value.h"

class PresetManager {
  public:
    using Preset = platform::Dictionary;
    using PresetList = std::vector<Preset>;
    // Called with the changing key and true before the change, false after it.
    using ChangeObserver = std::function<void(std::string_view key, bool willChange)>;

    static constexpr const char* kPresetListKey = "presetListForMenu";
    static constexpr const char* kMenuPrompt = "Select preset....";

    static PresetManager& sharedPresetManager();
    PresetManager(const PresetManager&) = delete;
    PresetManager& operator=(const PresetManager&) = delete;

    // The preset folder, made and seeded when missing; none (logged) when it cannot be made.
    std::optional<std::filesystem::path> presetDirectory();
    // Forgets the folder, so the next use resolves it again (tests move the
    // application-support folder between cases).
    void forgetPresetDirectory();

    // Rereads the folder: every readable ".plist" file (any case) holding a dictionary, in
    // the order the folder lists them, with its profiles rebuilt. A damaged one is set aside
    // (UserDataSetAside) rather than skipped without a word.
    void iteratePresets();
    // With the menu's prompt entry {"displayName": "Select preset...."} first when asked.
    PresetList presetList(bool forMenu);
    PresetList presetListForMenu() { return presetList(true); }
    // The first preset whose "displayName" is the name (case-sensitive).
    std::optional<Preset> presetNamed(std::string_view name);
    static std::optional<std::string> profileUUID(const Preset& preset);

    // Writes the preset, giving it the identity of the preset of the same name when there
    // is one (so it replaces that preset's file), else a new one; the identity is set in
    // `preset`. No preset only announces. False with the error when the file cannot be written.
    bool addPreset(Preset* preset, platform::Error* error = nullptr);
    // Removes the preset's file. No preset removes nothing and succeeds.
    bool removePreset(const Preset* preset, platform::Error* error = nullptr);
    // Removes the whole folder; the next use makes and seeds it again.
    bool deleteAllPresets(platform::Error* error = nullptr);
    void notifyPresetsChanged();
    static std::string uuidString();

    int addObserver(ChangeObserver observer);
    void removeObserver(int token);

  private:
    PresetManager() = default;
    std::optional<std::filesystem::path> presetDirectoryLocked();
    void iterateLocked();
    bool addLocked(Preset& preset, platform::Error* error);
    bool removeLocked(const Preset& preset, platform::Error* error);
    bool writeLocked(const std::filesystem::path& folder, const Preset& preset, platform::Error* error);
    void seedLocked(const std::filesystem::path& folder);
    bool announcedChange(const std::function<bool()>& work);
    void announce(bool willChange);

    std::mutex lock_;
    std::optional<std::filesystem::path> folder_; // resolved once
    PresetList presetList_;                       // the last list read

    std::mutex observersLock_;
    std::map<int, ChangeObserver> observers_;
    int nextToken_ = 1;
};
