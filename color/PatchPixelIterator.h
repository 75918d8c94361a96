#pragma once
// Walks one axis of a colour-checker chart pixel by pixel. As fractions of the length L:
// a margin of 0.04, n patches of width w = (0.92 - 0.02 (n - 1)) / n with gaps of 0.02
// between them, and a margin of 0.04. The first margin is round(0.04 L) pixels; patch d
// ends before pixel floor((0.04 + d (w + 0.02) + w) L) and the gap before it before
// floor((0.04 + d (w + 0.02)) L); the last margin runs to the end.
#include <cstdint>
#include <memory>

class PatchPixelIterator {
  public:
    // Null for fewer than one patch.
    static std::unique_ptr<PatchPixelIterator> create(uint64_t length, int32_t numPatches);

    // Moves to the next pixel; false once past the length.
    bool nextPixel();
    uint64_t thisPixel() const { return curPixel_; }
    // The patch index, or the number of patches in a margin or gap.
    int32_t thisPatch() const { return curPatch_; }

  private:
    PatchPixelIterator(uint64_t length, int32_t numPatches);
    // Enters the stretches that follow until one has pixels left.
    void enterNextStretch();
    uint64_t endOf(double fraction) const;

    uint64_t length_;
    int32_t numPatches_;
    double patchWidth_;
    uint64_t curPixel_ = 0;
    int32_t curPatch_;
    uint64_t curPatchLen_ = 0;
    int32_t lastRealPatch_ = -1;
};
