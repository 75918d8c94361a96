#pragma once
// One named store: an XML property list whose top level is an array of settings
// dictionaries, each keyed by its UUID setting (the raw file's path), in the order they
// were last stored. For the store "Catalog" the file is
// applicationSupport()/Catalog/LumivarCatalog.plist.
//
// The file is written through a temporary file renamed into place, so a failed write (or a
// process killed while writing) leaves the previous catalog. A file that exists but does not
// parse is renamed aside ("….damaged-<UTC time>") and announced rather than overwritten. The
// parsed array is kept while the file's size, modification time and inode stay the same.
// Each operation holds the store's lock from start to end.
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "platform/Error.h"
#include "platform/Value.h"

class PropertyListStore {
  public:
    explicit PropertyListStore(std::string storeName);
    PropertyListStore(const PropertyListStore&) = delete;
    PropertyListStore& operator=(const PropertyListStore&) = delete;

    const std::string& dataStoreName() const { return dataStoreName_; }

    // The store's folder, made when missing; none (logged) when it cannot be made.
    std::optional<std::filesystem::path> pathToCurrentCatalogDirectory();
    // The store's file in that folder.
    std::optional<std::filesystem::path> catalogFile();

    // The file's bytes; none when missing or unreadable.
    std::optional<platform::Data> imageDataFile();
    // The file's array; none when missing, unreadable or damaged (then set aside).
    std::optional<platform::Array> imageData();
    // Writes the array over the file; false (with the error) when it could not.
    bool saveImageData(const platform::Array* array, platform::Error* error = nullptr);

    // Stores the dictionary as the entry of its UUID setting, replacing every earlier entry
    // of that identity, at the end. Refuses (false) to replace a file it could not read.
    bool addItem(const platform::Dictionary* item, platform::Error* error = nullptr);
    // The entry whose UUID setting equals the identity.
    std::optional<platform::Dictionary> getItemForUUID(std::string_view uuid);
    // Removes the entries of the dictionary's identity.
    bool removeItem(const platform::Dictionary& item, platform::Error* error = nullptr);
    // Merges the dictionary into the entry of its identity and moves it to the end; without
    // such an entry the file is written unchanged.
    bool updateItem(const platform::Dictionary& item, platform::Error* error = nullptr);
    // Removes the store's file; a missing file counts as removed.
    bool deleteCurrentCatalog(platform::Error* error = nullptr);

  private:
    struct FileStamp {
        uintmax_t size = 0;
        int64_t modified = 0; // nanoseconds
        ino_t inode = 0;
        dev_t device = 0;
        bool operator==(const FileStamp&) const = default;
    };
    enum class Load { Read, Missing, Unreadable };

    std::optional<std::filesystem::path> folderLocked();
    std::optional<std::filesystem::path> catalogFileLocked();
    Load loadLocked(platform::Error* error);
    Load missingLocked();
    Load unreadableLocked(platform::Error* error, platform::Error why);
    Load setAsideLocked(const std::filesystem::path& file, const std::string& reason, platform::Error* error);
    bool saveLocked(platform::Error* error);
    void forgetCacheLocked();
    static std::optional<FileStamp> stampOf(const std::filesystem::path& file, int* err = nullptr);

    std::mutex lock_;
    const std::string dataStoreName_;
    std::optional<std::filesystem::path> folder_; // resolved once
    // The parsed file: an array, valid while the file carries stamp_.
    platform::Value cache_;
    std::optional<FileStamp> stamp_;
};
