#include "app/core/CatalogStore.h"

#include <optional>
#include <strings.h>

#include "app/core/Keys.h"
#include "color/ColorSyncProfileWrap.h"
#include "dng/DNGCameraProfileAbstract.h"

namespace {

const std::string* serializedClass(const platform::Value& value) {
    const platform::Value* tag = value.find(app::keys::SerializedClass);
    return tag ? tag->string() : nullptr;
}

// The stored form of the profile a tagged dictionary names, as rebuilt now; none when the
// class is unknown or the profile cannot be had.
std::optional<platform::Dictionary> rebuiltForm(const std::string& className,
                                                const platform::Dictionary& form) {
    if (strcasecmp(className.c_str(), DNGCameraProfileAbstract::kClassName) == 0)
        return DNGCameraProfileAbstract::createFromPList(form)->objectSerializeForPList();
    if (className == ColorSyncProfileWrap::kClassName) {
        if (auto profile = ColorSyncProfileWrap::createFromPList(form))
            return profile->objectSerializeForPList();
    }
    return std::nullopt;
}

} // namespace

CatalogStore& CatalogStore::sharedMultiDataStore() {
    static CatalogStore* shared = new CatalogStore(); // never freed
    return *shared;
}

std::shared_ptr<PropertyListStore> CatalogStore::dataStoreForStore(std::string_view name) {
    std::scoped_lock guard(lock_);
    auto it = dataStoreSet_.find(name);
    if (it == dataStoreSet_.end())
        it = dataStoreSet_.emplace(std::string(name), std::make_shared<PropertyListStore>(std::string(name)))
                 .first;
    return it->second;
}

void CatalogStore::forgetStores() {
    std::scoped_lock guard(lock_);
    dataStoreSet_.clear();
}

platform::Dictionary CatalogStore::serializeToPList(const platform::Dictionary& settings) const {
    return serializeToPList(settings, depth_);
}

platform::Dictionary CatalogStore::deserializeFromPList(const platform::Dictionary& stored) const {
    return deserializeFromPList(stored, depth_);
}

platform::Dictionary CatalogStore::serializeToPList(const platform::Dictionary& settings, int depth) const {
    platform::Dictionary out;
    for (const auto& [key, value] : settings) {
        if (value.isNull()) continue; // a property list has no null: an absent value stays absent
        const platform::Dictionary* nested = value.dictionary();
        if (nested && depth >= 1 && !serializedClass(value))
            out.emplace(key, serializeToPList(*nested, depth - 1));
        else
            out.emplace(key, value);
    }
    return out;
}

platform::Dictionary CatalogStore::deserializeFromPList(const platform::Dictionary& stored, int depth) const {
    platform::Dictionary out;
    for (const auto& [key, value] : stored) {
        const platform::Dictionary* nested = value.dictionary();
        if (nested && nested->count(std::string(app::keys::SerializedClass))) {
            const std::string* className = serializedClass(value);
            if (!className) continue;
            if (auto form = rebuiltForm(*className, *nested)) out.emplace(key, std::move(*form));
        } else if (nested && depth > 0) {
            out.emplace(key, deserializeFromPList(*nested, depth - 1));
        } else {
            out.emplace(key, value);
        }
    }
    return out;
}
