#include "color/PatchPixelIterator.h"

#include <cmath>

namespace {

constexpr double kMargin = 0.04, kGap = 0.02;

} // namespace

std::unique_ptr<PatchPixelIterator> PatchPixelIterator::create(uint64_t length, int32_t numPatches) {
    if (numPatches < 1) return nullptr; // the patch width would divide by zero
    return std::unique_ptr<PatchPixelIterator>(new PatchPixelIterator(length, numPatches));
}

PatchPixelIterator::PatchPixelIterator(uint64_t length, int32_t numPatches)
    : length_(length), numPatches_(numPatches),
      patchWidth_((1 - 2 * kMargin - kGap * (numPatches - 1)) / numPatches), curPatch_(numPatches) {
    curPatchLen_ = uint64_t(std::llround(kMargin * double(length)));
    if (curPatchLen_ == 0) enterNextStretch();
}

uint64_t PatchPixelIterator::endOf(double fraction) const {
    const double end = std::floor(fraction * double(length_));
    return end > 0 ? uint64_t(end) : 0;
}

void PatchPixelIterator::enterNextStretch() {
    while (curPatchLen_ == 0) {
        uint64_t end = length_;
        if (curPatch_ == numPatches_ && lastRealPatch_ + 1 < numPatches_) {
            curPatch_ = ++lastRealPatch_;
            end = endOf(kMargin + curPatch_ * (patchWidth_ + kGap) + patchWidth_);
        } else if (curPatch_ < numPatches_ && curPatch_ + 1 < numPatches_) {
            curPatch_ = numPatches_;
            end = endOf(kMargin + (lastRealPatch_ + 1) * (patchWidth_ + kGap));
        } else {
            curPatch_ = numPatches_; // the last margin
        }
        curPatchLen_ = end > curPixel_ ? end - curPixel_ : 0;
        if (end >= length_) curPatchLen_ = length_ > curPixel_ ? length_ - curPixel_ : 1;
    }
}

bool PatchPixelIterator::nextPixel() {
    ++curPixel_;
    if (curPixel_ >= length_) return false;
    --curPatchLen_;
    enterNextStretch();
    return true;
}
