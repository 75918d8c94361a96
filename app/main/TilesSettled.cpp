#include "app/main/TilesSettled.h"

#include "display/CropLayerController.h"
#include "display/TileSublayer.h"
#include "display/TiledImageView.h"
#include "display/TiledLayer.h"

namespace {

// Every tile in sight shows what it was last asked for: none waits for a fetch.
bool layerSettled(const TiledLayer* layer, const QRectF& area, const StaleTiles* stale) {
    if (!layer || layer->isHidden()) return true;
    for (const auto& tile : layer->sublayers()) {
        if (tile->isHidden() || !tile->frame().intersects(area)) continue;
        if (!tile->hasContents()) return false;
        if (!stale) continue; // the overlay's tiles draw themselves
        if (static_cast<const TileSublayer&>(*tile).contentIsDirty()) return false;
        // A fetch clears the dirty mark when it starts, not when it ends.
        if (tile->magnificationFilter() != LayerFilter::Nearest) return false;
        auto it = stale->find(tile.get());
        if (it != stale->end() && it->second == tile->contents().cacheKey()) return false;
    }
    return true;
}

} // namespace

StaleTiles staleTilesOf(const TiledImageView& view) {
    StaleTiles stale;
    if (const auto& layer = view.geometryModel().tiledLayer())
        for (const auto& tile : layer->sublayers())
            if (tile->hasContents()) stale[tile.get()] = tile->contents().cacheKey();
    return stale;
}

bool viewTilesSettled(const TiledImageView& view, const StaleTiles& stale) {
    const auto& model = view.geometryModel();
    const auto& layer = model.tiledLayer();
    if (!layer || layer->sublayers().empty()) return false;
    if (!layerSettled(layer.get(), layer->activeArea(), &stale)) return false;
    if (const CropLayerController* crop = model.cropLayerCntrl()) {
        const auto& overlay = crop->ourLayer();
        if (overlay && !layerSettled(overlay.get(), overlay->activeArea(), nullptr)) return false;
    }
    return true;
}
