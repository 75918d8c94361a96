#include "dng/dng_tile_iterator.h"

#include "dng/dng_exceptions.h"

#include <algorithm>

namespace {
// Floor division, so areas above or left of the grid origin still find their cells.
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
} // namespace

dng_tile_iterator::dng_tile_iterator(const dng_point& tileSize, const dng_rect& area) {
    if (area.IsEmpty()) return;
    dng_rect grid = area;
    grid.b = int32_t(std::min<int64_t>(int64_t(area.t) + tileSize.v, area.b));
    grid.r = int32_t(std::min<int64_t>(int64_t(area.l) + tileSize.h, area.r));
    Initialize(grid, area);
}

dng_tile_iterator::dng_tile_iterator(const dng_rect& grid, const dng_rect& area) { Initialize(grid, area); }

void dng_tile_iterator::Initialize(const dng_rect& grid, const dng_rect& area) {
    fArea = area;
    if (area.IsEmpty()) return;
    if (grid.IsEmpty()) ThrowProgramError();
    fTileWidth = grid.Width();
    fTileHeight = grid.Height();
    fLeftPage = FloorDiv(int64_t(area.l) - grid.l, fTileWidth);
    fRightPage = FloorDiv(int64_t(area.r) - 1 - grid.l, fTileWidth);
    fTopPage = FloorDiv(int64_t(area.t) - grid.t, fTileHeight);
    fBottomPage = FloorDiv(int64_t(area.b) - 1 - grid.t, fTileHeight);
    fHorizontalPage = fLeftPage;
    fVerticalPage = fTopPage;
    fTileLeft = grid.l + fTileWidth * fLeftPage;
    fTileTop = grid.t + fTileHeight * fTopPage;
    fRowLeft = fTileLeft;
}

bool dng_tile_iterator::GetOneTile(dng_rect& tile) {
    if (fVerticalPage > fBottomPage) return false;
    tile.t = fVerticalPage == fTopPage ? fArea.t : int32_t(fTileTop);
    tile.b = fVerticalPage == fBottomPage ? fArea.b : int32_t(fTileTop + fTileHeight);
    tile.l = fHorizontalPage == fLeftPage ? fArea.l : int32_t(fTileLeft);
    tile.r = fHorizontalPage == fRightPage ? fArea.r : int32_t(fTileLeft + fTileWidth);
    if (fHorizontalPage < fRightPage) {
        ++fHorizontalPage;
        fTileLeft += fTileWidth;
    } else {
        ++fVerticalPage;
        fTileTop += fTileHeight;
        fHorizontalPage = fLeftPage;
        fTileLeft = fRowLeft;
    }
    return true;
}
