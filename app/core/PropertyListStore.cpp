#include "app/core/PropertyListStore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <system_error>
#include <vector>

#include "app/core/AppFiles.h"
#include "app/core/Keys.h"
#include "platform/Log.h"
#include "platform/Plist.h"

namespace fs = std::filesystem;
using platform::Array;
using platform::Dictionary;
using platform::Error;
using platform::Value;

namespace {

// The entry exactly as the file will hold it (no nulls, dates in whole seconds), so the kept
// array never differs from what a fresh read would give. None when the entry could not be
// read back, which would make the whole file unreadable.
std::optional<Value> asStored(const Dictionary& item, Error* error) {
    Value back;
    if (platform::readXmlPlist(platform::writeXmlPlist(Value(item)), back, error)) return back;
    return std::nullopt;
}

Error noFolder() { return app::posixError(ENOENT, "The catalog folder is not available"); }

const Value* identityOf(const Dictionary& item) {
    auto it = item.find(std::string(app::keys::UUID));
    return it == item.end() ? nullptr : &it->second;
}

bool hasIdentity(const Value& entry, const Value* uuid) {
    const Value* own = entry.find(app::keys::UUID);
    return uuid && own && *own == *uuid;
}

void removeIdentity(Array& entries, const Value* uuid) {
    std::erase_if(entries, [&](const Value& e) { return hasIdentity(e, uuid); });
}

} // namespace

PropertyListStore::PropertyListStore(std::string storeName) : dataStoreName_(std::move(storeName)) {}

std::optional<fs::path> PropertyListStore::pathToCurrentCatalogDirectory() {
    std::scoped_lock guard(lock_);
    return folderLocked();
}

std::optional<fs::path> PropertyListStore::catalogFile() {
    std::scoped_lock guard(lock_);
    return catalogFileLocked();
}

std::optional<fs::path> PropertyListStore::folderLocked() {
    if (!folder_) folder_ = app::supportFolderPath(dataStoreName_);
    return app::ensureSupportFolder(*folder_);
}

std::optional<fs::path> PropertyListStore::catalogFileLocked() {
    auto folder = folderLocked();
    if (!folder) return std::nullopt;
    return *folder / ("Lumivar" + dataStoreName_ + ".plist");
}

std::optional<platform::Data> PropertyListStore::imageDataFile() {
    std::scoped_lock guard(lock_);
    auto file = catalogFileLocked();
    std::error_code ec;
    if (!file || !fs::is_regular_file(*file, ec)) return std::nullopt;
    std::ifstream in(*file, std::ios::binary);
    if (!in) return std::nullopt;
    return platform::Data(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<Array> PropertyListStore::imageData() {
    std::scoped_lock guard(lock_);
    if (loadLocked(nullptr) != Load::Read) return std::nullopt;
    return *cache_.array();
}

bool PropertyListStore::saveImageData(const Array* array, Error* error) {
    if (!array) return platform::fail(error, app::posixError(EINVAL, "There is no catalog to write"));
    std::scoped_lock guard(lock_);
    forgetCacheLocked(); // read afresh: the array may hold what the file cannot
    auto file = catalogFileLocked();
    if (!file) return platform::fail(error, noFolder());
    return platform::writePlistFile(*file, Value(*array), error);
}

bool PropertyListStore::addItem(const Dictionary* item, Error* error) {
    if (!item) return platform::fail(error, app::posixError(EINVAL, "There is no entry to store"));
    auto stored = asStored(*item, error);
    if (!stored) return false;
    std::scoped_lock guard(lock_);
    if (loadLocked(error) == Load::Unreadable) return false;
    Array& entries = *cache_.array();
    removeIdentity(entries, identityOf(*item));
    entries.push_back(std::move(*stored));
    return saveLocked(error);
}

std::optional<Dictionary> PropertyListStore::getItemForUUID(std::string_view uuid) {
    std::scoped_lock guard(lock_);
    if (loadLocked(nullptr) != Load::Read) return std::nullopt;
    const Value identity{uuid};
    for (const Value& entry : *cache_.array())
        if (hasIdentity(entry, &identity)) return *entry.dictionary();
    return std::nullopt;
}

bool PropertyListStore::removeItem(const Dictionary& item, Error* error) {
    std::scoped_lock guard(lock_);
    if (loadLocked(error) == Load::Unreadable) return false;
    removeIdentity(*cache_.array(), identityOf(item));
    return saveLocked(error);
}

bool PropertyListStore::updateItem(const Dictionary& item, Error* error) {
    const auto update = asStored(item, error);
    if (!update) return false;
    std::scoped_lock guard(lock_);
    if (loadLocked(error) == Load::Unreadable) return false;
    Array& entries = *cache_.array();
    const Value* uuid = identityOf(item);
    auto last =
        std::find_if(entries.rbegin(), entries.rend(), [&](const Value& e) { return hasIdentity(e, uuid); });
    if (last != entries.rend()) {
        Dictionary merged = *last->dictionary();
        for (const auto& [key, value] : *update->dictionary())
            merged[key] = value;
        removeIdentity(entries, uuid);
        entries.push_back(std::move(merged));
    }
    return saveLocked(error);
}

bool PropertyListStore::deleteCurrentCatalog(Error* error) {
    std::scoped_lock guard(lock_);
    forgetCacheLocked();
    auto file = catalogFileLocked();
    if (!file) return platform::fail(error, noFolder());
    std::error_code ec;
    fs::remove(*file, ec);
    if (ec && ec != std::errc::no_such_file_or_directory)
        return platform::fail(error, app::posixError(ec.value(), "Could not remove " + file->string()));
    return true;
}

PropertyListStore::Load PropertyListStore::loadLocked(Error* error) {
    auto file = catalogFileLocked();
    if (!file) return unreadableLocked(error, noFolder());
    int err = 0;
    auto stamp = stampOf(*file, &err);
    if (stamp && stamp == stamp_) return Load::Read;
    forgetCacheLocked();
    if (!stamp && err == ENOENT) return missingLocked();
    if (!stamp) return unreadableLocked(error, app::posixError(err, "Could not read " + file->string()));
    Value parsed;
    Error readError;
    if (!platform::readPlistFile(*file, parsed, &readError)) {
        if (readError.domain != platform::kPosixErrorDomain)
            return setAsideLocked(*file, readError.failureReason, error);
        if (readError.code == ENOENT) return missingLocked(); // removed meanwhile
        return unreadableLocked(error, readError);
    }
    if (!parsed.isArray()) return setAsideLocked(*file, "its top level is not an array", error);
    cache_ = std::move(parsed);
    stamp_ = stamp;
    return Load::Read;
}

PropertyListStore::Load PropertyListStore::missingLocked() {
    cache_ = Array{};
    return Load::Missing;
}

PropertyListStore::Load PropertyListStore::unreadableLocked(Error* error, Error why) {
    LV_LOG("PropertyListStore %s: %s", dataStoreName_.c_str(), why.failureReason.c_str());
    platform::fail(error, std::move(why));
    return Load::Unreadable;
}

// A damaged catalog keeps every earlier edit that can still be recovered by hand: it is
// renamed, never written over.
PropertyListStore::Load PropertyListStore::setAsideLocked(const fs::path& file, const std::string& reason,
                                                          Error* error) {
    Error why;
    if (!app::setDamagedFileAside(file, "catalog", reason, this, &why))
        return unreadableLocked(error, std::move(why));
    return missingLocked();
}

bool PropertyListStore::saveLocked(Error* error) {
    auto file = catalogFileLocked();
    if (!file) {
        forgetCacheLocked();
        return platform::fail(error, noFolder());
    }
    if (!platform::writePlistFile(*file, cache_, error)) {
        forgetCacheLocked(); // the kept array holds what the file does not
        return false;
    }
    stamp_ = stampOf(*file);
    return true;
}

void PropertyListStore::forgetCacheLocked() {
    cache_ = Value();
    stamp_.reset();
}

std::optional<PropertyListStore::FileStamp> PropertyListStore::stampOf(const fs::path& file, int* err) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (err) *err = errno;
        return std::nullopt;
    }
    return FileStamp{uintmax_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                     st.st_ino, st.st_dev};
}
