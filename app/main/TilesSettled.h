#pragma once
// Whether the tiles of a view show the last render: every tile in sight has its contents,
// the full answer (a thumbnail is drawn smooth) fetched since the render finished.
#include <QtGlobal>
#include <map>

class Layer;
class TiledImageView;

using StaleTiles = std::map<const Layer*, qint64>;

// The contents the image's tiles show before a new render is handed to the view.
StaleTiles staleTilesOf(const TiledImageView& view);
bool viewTilesSettled(const TiledImageView& view, const StaleTiles& stale);
