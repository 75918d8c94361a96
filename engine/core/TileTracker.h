#pragma once
// The state of one 512 x 512 tile of a stage's output. The state and the pass are read and
// written under the tile's own recursive lock by the workers, and under the map's lock
// while a run is prepared; they are atomic so that map queries never race with a worker.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/Geometry.h"

enum TileState : int32_t { tileIsDirty = 0, tileIsEdgeDirty = 1, tileIsClean = 2 };

class TileTracker {
  public:
    static constexpr int32_t kTileSize = 512;

    explicit TileTracker(const platform::Rect& location) : location_(location) {}
    // A copy of another tracker's location, state and pass, with a lock of its own.
    explicit TileTracker(const TileTracker& other);
    TileTracker& operator=(const TileTracker&) = delete;

    const platform::Rect& location() const { return location_; }
    int32_t column() const { return int32_t(location_.x) / kTileSize; }
    int32_t row() const { return int32_t(location_.y) / kTileSize; }
    int32_t state() const { return state_.load(); }
    void setState(int32_t state) { state_.store(state); }
    int32_t passTrack() const { return passTrack_.load(); }
    void setPassTrack(int32_t pass) { passTrack_.store(pass); }
    bool isClean() const { return state() == tileIsClean; }
    // Dirty again, to be taken in the next pass 0.
    void markDirty(int32_t state = tileIsDirty) {
        setState(state);
        setPassTrack(-1);
    }
    std::recursive_mutex& lock() { return lock_; }

    size_t hash() const { return size_t(int64_t(location_.x)) | (size_t(int64_t(location_.y)) << 12); }
    // Trackers are equal when their locations start at the same integer pixel.
    bool operator==(const TileTracker& other) const {
        return int64_t(location_.x) == int64_t(other.location_.x) &&
               int64_t(location_.y) == int64_t(other.location_.y);
    }

  private:
    platform::Rect location_;
    std::atomic<int32_t> state_{tileIsDirty};
    std::recursive_mutex lock_;
    std::atomic<int32_t> passTrack_{-1};
};
