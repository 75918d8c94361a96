#include "engine/core/IntermediateProductCache.h"

#include <sys/sysinfo.h>
#include <unistd.h>

#include "engine/core/ImageBuffer.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace {

uint64_t physicalMemory() {
    long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? uint64_t(pages) * uint64_t(size) : 0;
}

} // namespace

IntermediateProductCache& IntermediateProductCache::sharedIntermediateProductCache() {
    static IntermediateProductCache* instance = new IntermediateProductCache;
    return *instance;
}

// The preference and the memory size only change what is logged: the cache works the same.
IntermediateProductCache::IntermediateProductCache() {
    const double megabytes = double(physicalMemory()) / (1024.0 * 1024.0);
    if (platform::UserDefaults::standard().boolForKey("DisableImageCache"))
        LV_LOG("Cache disabled in preferences");
    else if (physicalMemory() >= (uint64_t(1) << 33))
        LV_LOG("Cache enabled - Physical memory %.2fMB", megabytes);
    else
        LV_LOG("Cache disabled - Physical memory %.2fMB", megabytes);
}

void IntermediateProductCache::removeLocked(const std::string& key) {
    items_.remove_if([&](const auto& entry) { return entry.first == key; });
}

void IntermediateProductCache::cacheItem(std::shared_ptr<ImageBuffer> item, const std::string& key) {
    std::shared_ptr<ImageBuffer> evicted; // released after the lock
    std::lock_guard<std::mutex> guard(lock_);
    removeLocked(key);
    if (!item) return;
    items_.emplace_front(key, std::move(item));
    if (items_.size() > kCountLimit) {
        evicted = std::move(items_.back().second);
        items_.pop_back();
    }
}

std::shared_ptr<ImageBuffer> IntermediateProductCache::retrieveItem(const std::string& key) {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (it->first != key) continue;
        items_.splice(items_.begin(), items_, it);
        return items_.front().second;
    }
    return nullptr;
}

void IntermediateProductCache::removeAllObjects() {
    decltype(items_) dropped;
    std::lock_guard<std::mutex> guard(lock_);
    dropped.swap(items_);
}

uint64_t IntermediateProductCache::get_pagesize() {
    if (pagesize_ == 0) pagesize_ = uint64_t(sysconf(_SC_PAGESIZE));
    return pagesize_;
}

namespace {

bool memoryStatistics(struct sysinfo& info) {
    if (sysinfo(&info) == 0) return true;
    LV_LOG("Failed to fetch vm statistics");
    return false;
}

} // namespace

// Linux has no purgeable pages; the buffer memory the kernel gives back on demand is nearest.
uint64_t IntermediateProductCache::get_purgeable_count() {
    struct sysinfo info {};
    if (!memoryStatistics(info)) return 0;
    return uint64_t(info.bufferram) * info.mem_unit / get_pagesize();
}

uint64_t IntermediateProductCache::get_purgeable_size() { return get_purgeable_count() * get_pagesize(); }

uint64_t IntermediateProductCache::get_free_memory() {
    struct sysinfo info {};
    if (!memoryStatistics(info)) return 0;
    return uint64_t(info.freeram) * info.mem_unit;
}
