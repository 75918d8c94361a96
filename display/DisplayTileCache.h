#pragma once
// A cache of display tiles in four generations: tiles go into the newest; when it is full
// the generations shift, the oldest dropped. A tile found moves to the newest generation.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "display/DisplayRawTile.h"
#include "platform/Value.h"

class DisplayTileCache {
  public:
    using Tile = std::shared_ptr<DisplayRawTile>;
    struct TileHash {
        size_t operator()(const Tile& tile) const { return tile->hash(); }
    };
    struct SamePlace {
        bool operator()(const Tile& a, const Tile& b) const { return *a == *b; }
    };
    using Generation = std::unordered_set<Tile, TileHash, SamePlace>;

    DisplayTileCache(int32_t displayToImageTileSizeMultiple, uint64_t tileSize, int32_t tileCacheSizePerQuad);

    // Copies, taken under the cache's lock: the newest generation first, cacheN the oldest.
    Generation cache0() const { return generation(0); }
    Generation cache1() const { return generation(1); }
    Generation cache2() const { return generation(2); }
    Generation cacheN() const { return generation(3); }
    void setCache0(Generation g) { setGeneration(0, std::move(g)); }
    void setCache1(Generation g) { setGeneration(1, std::move(g)); }
    void setCache2(Generation g) { setGeneration(2, std::move(g)); }
    void setCacheN(Generation g) { setGeneration(3, std::move(g)); }
    void clearCache();

    void insertItem(Tile tile);
    // The cached tile of that place (the resolution's sign ignored), or null.
    Tile checkCache(int32_t row, int32_t column, int32_t resolution);
    // The same, noting a request for a place outside the image; no tile is made.
    Tile tileForDisplayRow(int32_t row, int32_t column, int32_t resolution);

    // "width" and "height" of the image the tiles come from.
    void setCacheImage(platform::Dictionary image);
    int32_t cacheSize() const { return cacheSize_; }

  private:
    Generation generation(size_t index) const;
    void setGeneration(size_t index, Generation generation);
    bool outsideImage(int32_t row, int32_t column, int32_t resolution) const;

    mutable std::recursive_mutex lock_;
    std::array<Generation, 4> generations_;
    platform::Dictionary cacheImage_;
    int32_t cacheSize_;
    uint64_t imageTileSize_;
    int32_t displayTileMultiple_;
};
