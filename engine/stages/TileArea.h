#pragma once
// Tiles stop short of the image's border band; the tiles along the band also own it, so
// that stages which skip edge strips still fill every pixel of their output.
#include <cstdint>

#include "engine/core/ImageBuffer.h"

namespace stages {

struct TileArea {
    int32_t colStart, colEnd, rowStart, rowEnd;

    bool contains(int32_t col, int32_t row) const {
        return col >= colStart && col < colEnd && row >= rowStart && row < rowEnd;
    }
};

inline TileArea withBorderBand(const TileArea& tile, const ImageBuffer& image, int32_t horizontalBorder,
                               int32_t verticalBorder) {
    const int32_t width = image.imageWidth(), height = image.imageHeight();
    TileArea grown = tile;
    if (tile.colStart <= horizontalBorder) grown.colStart = 0;
    if (tile.colEnd >= width - horizontalBorder) grown.colEnd = width;
    if (tile.rowStart <= verticalBorder) grown.rowStart = 0;
    if (tile.rowEnd >= height - verticalBorder) grown.rowEnd = height;
    return grown;
}

} // namespace stages
