#include "display/DisplayTileCache.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/Log.h"

namespace {

double dimension(const platform::Dictionary& image, const char* key) {
    auto found = image.find(key);
    return found == image.end() ? 0.0 : found->second.doubleValue();
}

} // namespace

DisplayTileCache::DisplayTileCache(int32_t displayToImageTileSizeMultiple, uint64_t tileSize,
                                   int32_t tileCacheSizePerQuad)
    : cacheSize_(tileCacheSizePerQuad), imageTileSize_(tileSize),
      displayTileMultiple_(displayToImageTileSizeMultiple) {}

DisplayTileCache::Generation DisplayTileCache::generation(size_t index) const {
    std::lock_guard guard(lock_);
    return generations_[index];
}

void DisplayTileCache::setGeneration(size_t index, Generation generation) {
    std::lock_guard guard(lock_);
    generations_[index] = std::move(generation);
}

void DisplayTileCache::clearCache() {
    std::lock_guard guard(lock_);
    for (auto& generation : generations_)
        generation.clear();
}

void DisplayTileCache::insertItem(Tile tile) {
    if (!tile) return;
    std::lock_guard guard(lock_);
    Generation& newest = generations_[0];
    newest.erase(tile); // the newer object of a place wins
    newest.insert(std::move(tile));
    if (int64_t(newest.size()) < cacheSize_) return;
    // The oldest goes; each of the others moves one older.
    std::move_backward(generations_.begin(), generations_.end() - 1, generations_.end());
    generations_[0] = Generation();
}

DisplayTileCache::Tile DisplayTileCache::checkCache(int32_t row, int32_t column, int32_t resolution) {
    std::lock_guard guard(lock_);
    const auto key = std::make_shared<DisplayRawTile>(
        uint32_t(row), uint32_t(column), uint32_t(std::llabs(int64_t(resolution))), imageTileSize_);
    for (Generation& generation : generations_) {
        auto found = generation.find(key);
        if (found == generation.end()) continue;
        Tile hit = *found;
        generation.erase(found);
        insertItem(hit);
        return hit;
    }
    return nullptr;
}

DisplayTileCache::Tile DisplayTileCache::tileForDisplayRow(int32_t row, int32_t column, int32_t resolution) {
    Tile tile = checkCache(row, column, resolution);
    if (!tile && outsideImage(row, column, resolution)) {
        std::lock_guard guard(lock_);
        LV_LOG("zero value: { height = %g; width = %g; }", dimension(cacheImage_, "height"),
               dimension(cacheImage_, "width"));
    }
    return tile;
}

void DisplayTileCache::setCacheImage(platform::Dictionary image) {
    std::lock_guard guard(lock_);
    cacheImage_ = std::move(image);
}

// A display tile spans the image tile size times the multiple, doubled for each level below 0.
bool DisplayTileCache::outsideImage(int32_t row, int32_t column, int32_t resolution) const {
    std::lock_guard guard(lock_);
    const double levels = double(std::min<int64_t>(std::llabs(int64_t(resolution)), 62));
    const double span = double(imageTileSize_) * std::max(displayTileMultiple_, 1) * std::exp2(levels);
    return row < 0 || column < 0 || column * span >= dimension(cacheImage_, "width") ||
           row * span >= dimension(cacheImage_, "height");
}
