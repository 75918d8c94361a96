#pragma once
// The tile states of one stage's output: one tracker per 512 x 512 tile, rows of tiles one
// after another. Built on first use; the map lock is recursive so queries nest in prepare.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/core/TileRegion.h"
#include "engine/core/TileTracker.h"
#include "platform/Geometry.h"

class TileMap {
  public:
    using Trackers = std::vector<std::shared_ptr<TileTracker>>;

    explicit TileMap(const platform::Size& size);
    // A copy of the other map's size and trackers, taken under its lock.
    explicit TileMap(TileMap& other);
    TileMap& operator=(const TileMap&) = delete;

    platform::Size imageSize() const { return imageSize_; }
    int32_t xTiles() const { return xTiles_; }
    int32_t yTiles() const { return yTiles_; }
    std::recursive_mutex& tileLock() { return tileLock_; }

    const Trackers& tileMap();
    // Drops the trackers; fresh dirty ones are built on next use.
    void resetTiles();
    // Null when either index is negative or beyond the grid.
    std::shared_ptr<TileTracker> getTileTracker(int32_t x, int32_t y);

    TileRegion regionForRect(const platform::Rect& rect, int32_t resolution) const;
    platform::Rect rectForRegion(const TileRegion& region) const;

    // The trackers not clean, rows of tiles in order.
    Trackers dirtyList();
    bool isClean();
    // False for a null or empty rectangle.
    bool isCleanInRect(const platform::Rect& rect);
    int32_t dirtyCount();
    void dumpMap();

  private:
    void buildLocked();

    platform::Size imageSize_;
    int32_t xTiles_;
    int32_t yTiles_;
    Trackers tileMap_;
    std::recursive_mutex tileLock_;
};
