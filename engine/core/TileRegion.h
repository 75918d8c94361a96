#pragma once
// A resolution and an inclusive range of tile columns and rows; all four tile values -1
// stand for every tile.
#include <cstdint>

struct TileRegion {
    int32_t resolution = 0;
    int32_t firstColumn = -1;
    int32_t firstRow = -1;
    int32_t lastColumn = -1;
    int32_t lastRow = -1;

    static TileRegion null(int32_t resolution = 0) { return {resolution, -1, -1, -1, -1}; }
    bool isNull() const { return firstColumn < 0 || firstRow < 0 || lastColumn < 0 || lastRow < 0; }
    // Whether the tile lies inside; every tile lies inside the null region.
    bool contains(int32_t column, int32_t row) const {
        return isNull() ||
               (column >= firstColumn && column <= lastColumn && row >= firstRow && row <= lastRow);
    }
    friend bool operator==(const TileRegion&, const TileRegion&) = default;
};
