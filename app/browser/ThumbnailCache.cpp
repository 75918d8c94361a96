#include "app/browser/ThumbnailCache.h"

#include <functional>

namespace browser {

size_t ThumbnailKeyHash::operator()(const ThumbnailKey& k) const noexcept {
    size_t h = std::hash<std::string>()(k.path);
    h ^= std::hash<uint64_t>()(k.size) + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
    h ^= std::hash<int64_t>()(k.modified) + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
    return h;
}

std::optional<QImage> ThumbnailCache::object(const ThumbnailKey& key) {
    std::lock_guard guard(lock_);
    const auto found = index_.find(key);
    if (found == index_.end()) return {};
    order_.splice(order_.begin(), order_, found->second);
    return found->second->second;
}

bool ThumbnailCache::contains(const ThumbnailKey& key) const {
    std::lock_guard guard(lock_);
    return index_.count(key) != 0;
}

void ThumbnailCache::setObject(QImage image, const ThumbnailKey& key) {
    std::lock_guard guard(lock_);
    if (const auto found = index_.find(key); found != index_.end()) {
        found->second->second = std::move(image);
        order_.splice(order_.begin(), order_, found->second);
        return;
    }
    order_.emplace_front(key, std::move(image));
    index_.emplace(key, order_.begin());
    while (order_.size() > limit_) {
        index_.erase(order_.back().first);
        order_.pop_back();
    }
}

size_t ThumbnailCache::count() const {
    std::lock_guard guard(lock_);
    return order_.size();
}

} // namespace browser
