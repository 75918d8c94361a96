#pragma once
// The browser's thumbnails, kept across folder changes. An entry belongs to one version of a
// file (path, size and modification time), so a file rewritten on disk misses and gets a new
// thumbnail. At most `limit` entries; the least recently used goes first. Thread-safe: the
// icon queue writes while the main thread reads.
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include <QImage>

namespace browser {

struct ThumbnailKey {
    std::string path;
    uint64_t size = 0;
    int64_t modified = 0; // nanoseconds of the file clock

    bool operator==(const ThumbnailKey&) const = default;
};

struct ThumbnailKeyHash {
    size_t operator()(const ThumbnailKey& k) const noexcept;
};

class ThumbnailCache {
  public:
    static constexpr size_t kDefaultLimit = 1000;

    explicit ThumbnailCache(size_t limit = kDefaultLimit) : limit_(limit) {}

    std::optional<QImage> object(const ThumbnailKey& key);
    bool contains(const ThumbnailKey& key) const;
    void setObject(QImage image, const ThumbnailKey& key);
    size_t count() const;
    size_t countLimit() const { return limit_; }

  private:
    using Entry = std::pair<ThumbnailKey, QImage>;
    const size_t limit_;
    mutable std::mutex lock_;
    std::list<Entry> order_; // most recent first
    std::unordered_map<ThumbnailKey, std::list<Entry>::iterator, ThumbnailKeyHash> index_;
};

} // namespace browser
