#pragma once
// The registry of the named property-list stores (the application uses one, "Catalog") and
// the converter between a settings dictionary and what a store or a preset file holds.
//
// Settings dictionaries hold their camera and ICC profiles as the profiles' property-list
// forms (dictionaries tagged "Class_of_serialized_Object"). Serialising keeps such a form as
// it is; deserialising rebuilds the profile it names and stores the rebuilt profile's form, so
// a profile whose file has gone reads back as the automatic profile, and a form naming an
// unknown class, or an ICC profile that is no longer listed, loses its key.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "app/core/PropertyListStore.h"
#include "platform/Value.h"

class CatalogStore {
  public:
    static constexpr int kDefaultDepth = 2;

    static CatalogStore& sharedMultiDataStore();
    CatalogStore(const CatalogStore&) = delete;
    CatalogStore& operator=(const CatalogStore&) = delete;

    // The store of that name, made on first request and kept.
    std::shared_ptr<PropertyListStore> dataStoreForStore(std::string_view name);
    // Forgets every store, so the next request resolves its folder again (tests move the
    // application-support folder between cases).
    void forgetStores();

    // Converts dictionaries nested up to depthToConvert() levels below the given one.
    platform::Dictionary serializeToPList(const platform::Dictionary& settings) const;
    platform::Dictionary deserializeFromPList(const platform::Dictionary& stored) const;
    platform::Dictionary serializeToPList(const platform::Dictionary& settings, int depth) const;
    platform::Dictionary deserializeFromPList(const platform::Dictionary& stored, int depth) const;

    int depthToConvert() const { return depth_; }
    void setDepthToConvert(int depth) { depth_ = depth; }

  private:
    CatalogStore() = default;

    std::mutex lock_;
    std::map<std::string, std::shared_ptr<PropertyListStore>, std::less<>> dataStoreSet_;
    std::atomic<int> depth_{kDefaultDepth};
};
