#pragma once
// One display tile of a tile cache, known by its row, column and level of detail, and the
// bitmap resizing such tiles were meant to be made with.
#include <QSize>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Bitmap.h"

class DisplayRawTile {
  public:
    DisplayRawTile(uint32_t row, uint32_t column, uint32_t resolution, uint64_t tileSize)
        : imageTileSize_(tileSize), rowLocal_(row), columnLocal_(column), resolutionLocal_(resolution) {}

    uint64_t width() const { return width_; }
    void setWidth(uint64_t width) { width_ = width; }
    uint64_t height() const { return height_; }
    void setHeight(uint64_t height) { height_ = height; }
    uint64_t imageTileSize() const { return imageTileSize_; }
    uint32_t rowLocal() const { return rowLocal_; }
    uint32_t columnLocal() const { return columnLocal_; }
    uint32_t resolutionLocal() const { return resolutionLocal_; }

    size_t hash() const {
        return (size_t(columnLocal_) << 12) | rowLocal_ | (size_t(resolutionLocal_) << 24);
    }
    // The same place: row, column and level of detail agree.
    bool operator==(const DisplayRawTile& other) const {
        return rowLocal_ == other.rowLocal_ && columnLocal_ == other.columnLocal_ &&
               resolutionLocal_ == other.resolutionLocal_;
    }

    // The image drawn onto a new bitmap of the whole new size with its own sample layout
    // and colour space, into a width-for-height exchanged rectangle when `drawTransposed`;
    // null for layouts that cannot be drawn.
    static std::shared_ptr<platform::Bitmap> createResizedImage(const platform::Bitmap& image, QSize newSize,
                                                                bool drawTransposed,
                                                                bool smoothInterpolation);

  private:
    uint64_t width_ = 0;
    uint64_t height_ = 0;
    uint64_t imageTileSize_;
    uint32_t rowLocal_;
    uint32_t columnLocal_;
    uint32_t resolutionLocal_;
};
