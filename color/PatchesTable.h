#pragma once
// A colour-checker chart as an image table: a grid of patches (4 rows of 6 by default)
// with margins and gaps between them, filled with the 24 colours of the classic checker.
#include <array>
#include <cstdint>
#include <memory>

#include "color/CIImageTable.h"

class PatchesTable {
  public:
    // The 24 patches in row order, then the colour of the margins and gaps.
    static constexpr int kEntries = 25;
    static const std::array<std::array<float, 3>, kEntries>& gretagLab();

    // 480 x 320 pixels in the built-in ProPhoto profile.
    PatchesTable() : PatchesTable(480, 320) {}
    PatchesTable(double width, double height);

    // Fewer than one patch on either axis is refused: the grid stays as it was.
    void setNumPatches(int32_t rows, int32_t cols);
    int32_t patchesRows() const { return patchesRows_; }
    int32_t patchesCols() const { return patchesCols_; }
    CIImageTable& imageTable() { return *imageTable_; }

    // Null while the table is invalid.
    platform::Image::Ptr genImage();
    // Paints the grid in `profile` (the listed "ProPhoto" profile, else the built-in one,
    // when null) and relabels the image with it. 0, or CIImageTable::kConversionFailed
    // with the image left as it was. Only a saturation of 1 is done.
    int32_t populateGretag(const CIImageTable::Profile& profile, float saturation);

  private:
    std::unique_ptr<CIImageTable> imageTable_;
    int32_t patchesRows_ = 4;
    int32_t patchesCols_ = 6;
};
