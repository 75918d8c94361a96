#pragma once
// Walks the cells of a grid that an area touches, row by row, each clipped to the area.
#include "dng/dng_point.h"
#include "dng/dng_rect.h"

class dng_tile_iterator {
  public:
    // Cells of tileSize anchored at the area's top-left corner.
    dng_tile_iterator(const dng_point& tileSize, const dng_rect& area);
    // Cells of the size of `grid`, aligned with it.
    dng_tile_iterator(const dng_rect& grid, const dng_rect& area);
    virtual ~dng_tile_iterator() = default;

    virtual bool GetOneTile(dng_rect& tile);

  private:
    void Initialize(const dng_rect& grid, const dng_rect& area);

    dng_rect fArea;
    int64_t fTileWidth = 0;
    int64_t fTileHeight = 0;
    int64_t fLeftPage = 0;
    int64_t fRightPage = -1;
    int64_t fTopPage = 0;
    int64_t fBottomPage = -1;
    int64_t fHorizontalPage = 0;
    int64_t fVerticalPage = 0;
    int64_t fTileLeft = 0;
    int64_t fTileTop = 0;
    int64_t fRowLeft = 0;
};
