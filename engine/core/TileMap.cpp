#include "engine/core/TileMap.h"

#include <algorithm>
#include <cmath>

#include "platform/Log.h"

namespace {

constexpr double kTile = TileTracker::kTileSize;
// Far beyond any buffer (sides are 16-bit); keeps a hostile size from building millions of trackers.
constexpr int32_t kMaxTilesPerSide = 2048;

int32_t tilesFor(double extent) {
    const double tiles = std::floor((extent + kTile - 1) / kTile);
    if (!(tiles > 0)) return 0;
    return int32_t(std::min(tiles, double(kMaxTilesPerSide)));
}

// The tile index of a pixel coordinate, limited to 0 ... limit.
int32_t tileIndex(double coordinate, int32_t limit) {
    const double index = std::floor(std::max(coordinate / kTile, 0.0));
    return int32_t(std::min(index, double(limit)));
}

} // namespace

TileMap::TileMap(const platform::Size& size)
    : imageSize_(size), xTiles_(tilesFor(size.width)), yTiles_(tilesFor(size.height)) {}

TileMap::TileMap(TileMap& other)
    : imageSize_(other.imageSize_), xTiles_(other.xTiles_), yTiles_(other.yTiles_) {
    std::lock_guard<std::recursive_mutex> guard(other.tileLock_);
    for (const auto& tracker : other.tileMap_)
        tileMap_.push_back(std::make_shared<TileTracker>(*tracker));
}

void TileMap::buildLocked() {
    const platform::Rect image{0, 0, imageSize_.width, imageSize_.height};
    tileMap_.reserve(size_t(xTiles_) * size_t(yTiles_));
    for (int32_t y = 0; y < yTiles_; ++y)
        for (int32_t x = 0; x < xTiles_; ++x)
            tileMap_.push_back(std::make_shared<TileTracker>(
                platform::Rect{x * kTile, y * kTile, kTile, kTile}.intersection(image)));
}

const TileMap::Trackers& TileMap::tileMap() {
    std::lock_guard<std::recursive_mutex> guard(tileLock_);
    if (tileMap_.empty()) buildLocked();
    return tileMap_;
}

void TileMap::resetTiles() {
    std::lock_guard<std::recursive_mutex> guard(tileLock_);
    tileMap_.clear();
}

std::shared_ptr<TileTracker> TileMap::getTileTracker(int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= xTiles_ || y >= yTiles_) return nullptr;
    std::lock_guard<std::recursive_mutex> guard(tileLock_);
    return tileMap()[size_t(x) + size_t(y) * size_t(xTiles_)];
}

// A far edge on a tile boundary, or one pixel before it, also takes the next tile.
TileRegion TileMap::regionForRect(const platform::Rect& rect, int32_t resolution) const {
    if (rect.isEmpty() || rect.isInfinite() || !std::isfinite(rect.maxX()) || !std::isfinite(rect.maxY()))
        return TileRegion::null(resolution);
    TileRegion region{resolution, tileIndex(rect.x, xTiles_), tileIndex(rect.y, yTiles_),
                      tileIndex(rect.maxX() + 1, xTiles_ - 1), tileIndex(rect.maxY() + 1, yTiles_ - 1)};
    // A rectangle that misses the image covers no tile; it must not read as the null region.
    if (rect.maxX() < 0 || rect.maxY() < 0 || region.firstColumn >= xTiles_ || region.firstRow >= yTiles_ ||
        region.lastColumn < 0 || region.lastRow < 0)
        return {resolution, 1, 1, 0, 0};
    return region;
}

platform::Rect TileMap::rectForRegion(const TileRegion& region) const {
    if (region.isNull()) return platform::Rect::null();
    const platform::Rect tiles{region.firstColumn * kTile, region.firstRow * kTile,
                               (region.lastColumn - region.firstColumn + 1) * kTile,
                               (region.lastRow - region.firstRow + 1) * kTile};
    return tiles.intersection({0, 0, imageSize_.width, imageSize_.height});
}

TileMap::Trackers TileMap::dirtyList() {
    std::lock_guard<std::recursive_mutex> guard(tileLock_);
    Trackers dirty;
    for (const auto& tracker : tileMap())
        if (!tracker->isClean()) dirty.push_back(tracker);
    return dirty;
}

bool TileMap::isClean() {
    std::lock_guard<std::recursive_mutex> guard(tileLock_);
    const auto& trackers = tileMap();
    return std::all_of(trackers.begin(), trackers.end(), [](const auto& t) { return t->isClean(); });
}

bool TileMap::isCleanInRect(const platform::Rect& rect) {
    if (rect.isEmpty()) return false;
    std::lock_guard<std::recursive_mutex> guard(tileLock_);
    const TileRegion region = regionForRect(rect, 0);
    for (const auto& tracker : tileMap())
        if (region.contains(tracker->column(), tracker->row()) && !tracker->isClean()) return false;
    return true;
}

int32_t TileMap::dirtyCount() {
    std::lock_guard<std::recursive_mutex> guard(tileLock_);
    int32_t count = 0;
    for (const auto& tracker : tileMap()) {
        if (tracker->state() == tileIsDirty) LV_LOG("tileIsDirty %i %i", tracker->column(), tracker->row());
        if (tracker->state() == tileIsEdgeDirty)
            LV_LOG("tileIsEdgeDirty %i %i", tracker->column(), tracker->row());
        count += tracker->isClean() ? 0 : 1;
    }
    return count;
}

void TileMap::dumpMap() {
    std::lock_guard<std::recursive_mutex> guard(tileLock_);
    for (const auto& tracker : tileMap()) {
        const int32_t x = tracker->column(), y = tracker->row();
        switch (tracker->state()) {
        case tileIsDirty:
            LV_LOG("Tile %i %i state is tileIsDirty", x, y);
            break;
        case tileIsEdgeDirty:
            LV_LOG("Tile %i %i state is tileIsEdgeDirty", x, y);
            break;
        case tileIsClean:
            LV_LOG("Tile %i %i state is tileIsClean", x, y);
            break;
        default:
            LV_LOG("Tile %i %i state is undefined", x, y);
            break;
        }
    }
}
