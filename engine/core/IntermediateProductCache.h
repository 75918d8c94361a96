#pragma once
// A small process-wide cache for the output buffers of the render chain's stages, so that
// the process as a whole keeps at most two such intermediate products in memory. An evicted
// product is simply rebuilt by its stage.
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

class ImageBuffer;

class IntermediateProductCache {
  public:
    static constexpr size_t kCountLimit = 2;

    static IntermediateProductCache& sharedIntermediateProductCache();
    IntermediateProductCache(const IntermediateProductCache&) = delete;
    IntermediateProductCache& operator=(const IntermediateProductCache&) = delete;

    // Stores the item under the key, evicting the least recently used item beyond the
    // limit; a null item removes the key's item.
    void cacheItem(std::shared_ptr<ImageBuffer> item, const std::string& key);
    // The stored item, or null when there is none or it was evicted.
    std::shared_ptr<ImageBuffer> retrieveItem(const std::string& key);
    void removeAllObjects();

    uint64_t get_pagesize();
    // Memory statistics of the host; 0 (after a log line) when they cannot be read.
    uint64_t get_purgeable_count();
    uint64_t get_purgeable_size();
    uint64_t get_free_memory();
    bool logThisObject() const { return false; }

  private:
    IntermediateProductCache();
    void removeLocked(const std::string& key);

    std::mutex lock_;
    // Most recently used first.
    std::list<std::pair<std::string, std::shared_ptr<ImageBuffer>>> items_;
    uint64_t pagesize_ = 0;
};
