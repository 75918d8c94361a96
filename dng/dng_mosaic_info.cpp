#include "dng/dng_mosaic_info.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_image.h"
#include "dng/dng_negative.h"
#include "dng/dng_rational.h"

#include <algorithm>
#include <cmath>
#include <utility>

void dng_mosaic_info::PrepareFromNegative(dng_host&, dng_negative& negative) {
    const dng_image* stage2 = negative.Stage2Image();
    if (stage2) fSrcSize = dng_point(int32_t(stage2->Height()), int32_t(stage2->Width()));
    fCroppedSize = dng_point(dng_clamped_int32(std::round(negative.DefaultCropSizeV().AsDouble())),
                             dng_clamped_int32(std::round(negative.DefaultCropSizeH().AsDouble())));
    const double scaleV = negative.DefaultScaleV().AsDouble();
    fAspectRatio = scaleV != 0.0 ? negative.DefaultScaleH().AsDouble() / scaleV : 1.0;
}

dng_point dng_mosaic_info::FullScale() const {
    switch (fCFALayout) {
    case 2:
    case 3:
        return dng_point(2, 1);
    case 4:
    case 5:
        return dng_point(1, 2);
    default:
        return dng_point(1, 1);
    }
}

void dng_mosaic_info::ValidatePattern() const {
    const dng_point& size = fCFAPatternSize;
    if (size.v < 1 || size.h < 1 || size.v > int32_t(kMaxCFAPattern) || size.h > int32_t(kMaxCFAPattern))
        ThrowBadFormat("CFA pattern size out of range");
    if (fColorPlanes < 1 || fColorPlanes > kMaxColorPlanes)
        ThrowBadFormat("CFA colour plane count out of range");
    for (uint32_t plane = 0; plane < fColorPlanes; ++plane) {
        bool found = false;
        for (int32_t row = 0; row < size.v && !found; ++row)
            for (int32_t col = 0; col < size.h && !found; ++col)
                found = fCFAPattern[row][col] == fCFAPlaneColor[plane];
        if (!found) ThrowBadFormat("CFA plane colour missing from the pattern");
    }
}

// ---- Bilinear pattern kernels.

void dng_pattern_kernel::Add(const dng_point& delta, float weight) {
    if (!(weight > 0.0f)) return;
    for (uint32_t i = 0; i < fCount; ++i)
        if (fDelta[i] == delta) {
            fWeight32[i] += weight;
            return;
        }
    if (fCount == kMaxCount) ThrowProgramError("Too many entries in a pattern kernel");
    fDelta[fCount] = delta;
    fWeight32[fCount] = weight;
    ++fCount;
}

void dng_pattern_kernel::Finalize(const dng_point& scale, uint32_t patRow, uint32_t patCol, int32_t rowStep,
                                  int32_t colStep) {
    for (uint32_t i = 0; i < fCount; ++i) {
        if (scale.v == 2) fDelta[i].v = int32_t(std::floor((fDelta[i].v + int32_t(patRow & 1)) / 2.0));
        if (scale.h == 2) fDelta[i].h = int32_t(std::floor((fDelta[i].h + int32_t(patCol & 1)) / 2.0));
    }
    // Sorted by row, then column, so the kernel reads memory forwards.
    for (uint32_t i = 1; i < fCount; ++i)
        for (uint32_t j = i; j > 0 && (fDelta[j].v < fDelta[j - 1].v ||
                                       (fDelta[j].v == fDelta[j - 1].v && fDelta[j].h < fDelta[j - 1].h));
             --j) {
            std::swap(fDelta[j], fDelta[j - 1]);
            std::swap(fWeight32[j], fWeight32[j - 1]);
        }
    uint32_t total = 0;
    uint32_t largest = 0;
    for (uint32_t i = 0; i < fCount; ++i) {
        fOffset[i] = fDelta[i].v * rowStep + fDelta[i].h * colStep;
        fWeight16[i] = uint16_t(std::max(0.0f, fWeight32[i] * 256.0f + 0.5f));
        total += fWeight16[i];
        if (fWeight16[i] > fWeight16[largest]) largest = i;
    }
    if (fCount) fWeight16[largest] = uint16_t(fWeight16[largest] + (256 - int32_t(total)));
    for (uint32_t i = 0; i < fCount; ++i)
        fWeight32[i] = float(fWeight16[i]) / 256.0f;
}

namespace {
int32_t Wrap(int32_t x, int32_t n) { return ((x % n) + n) % n; }
} // namespace

bool dng_mosaic_info::HasKey(uint8_t key, int32_t row, int32_t col) const {
    return fCFAPattern[Wrap(row, fCFAPatternSize.v)][Wrap(col, fCFAPatternSize.h)] == key;
}

bool dng_mosaic_info::RowHasKey(uint8_t key, int32_t row) const {
    for (int32_t col = 0; col < fCFAPatternSize.h; ++col)
        if (HasKey(key, row, col)) return true;
    return false;
}

bool dng_mosaic_info::ColumnHasKey(uint8_t key, int32_t col) const {
    for (int32_t row = 0; row < fCFAPatternSize.v; ++row)
        if (HasKey(key, row, col)) return true;
    return false;
}

namespace {
// The smallest distance d >= 0 (at most `limit` - 1) at which `has` holds one way from the start.
template <typename Has> int32_t Nearest(int32_t limit, int32_t sign, Has has) {
    for (int32_t d = 0; d < limit; ++d)
        if (has(sign * d)) return d;
    ThrowBadFormat("CFA key missing from the pattern");
}

// Shares `weight` between the two sides by the opposite distance.
void Split(float weight, int32_t before, int32_t after, float& first, float& second) {
    if (before + after == 0) {
        first = weight;
        second = 0.0f;
        return;
    }
    first = weight * float(after) / float(before + after);
    second = weight * float(before) / float(before + after);
}
} // namespace

// Half the weight from the nearest rows holding the key, half from the nearest columns. Every
// search is bounded by the pattern size; ValidatePattern has made sure each one succeeds.
void dng_mosaic_info::AddGeneralKernel(dng_pattern_kernel& kernel, uint8_t key, int32_t row,
                                       int32_t col) const {
    const int32_t m = fCFAPatternSize.v;
    const int32_t n = fCFAPatternSize.h;
    for (const bool vertical : {true, false}) {
        const int32_t lines = vertical ? m : n;
        const int32_t cells = vertical ? n : m;
        const int32_t at = vertical ? row : col;
        const int32_t along = vertical ? col : row;
        const auto lineHas = [&](int32_t line) {
            return vertical ? RowHasKey(key, line) : ColumnHasKey(key, line);
        };
        const auto cellHas = [&](int32_t line, int32_t cell) {
            return vertical ? HasKey(key, line, cell) : HasKey(key, cell, line);
        };
        const int32_t up = Nearest(lines, -1, [&](int32_t d) { return lineHas(at + d); });
        const int32_t down = Nearest(lines, 1, [&](int32_t d) { return lineHas(at + d); });
        float lineWeight[2];
        Split(0.5f, up, down, lineWeight[0], lineWeight[1]);
        const int32_t lineDelta[2] = {-up, down};
        for (int side = 0; side < 2; ++side) {
            const int32_t line = at + lineDelta[side];
            const int32_t left = Nearest(cells, -1, [&](int32_t d) { return cellHas(line, along + d); });
            const int32_t right = Nearest(cells, 1, [&](int32_t d) { return cellHas(line, along + d); });
            float w[2];
            Split(lineWeight[side], left, right, w[0], w[1]);
            const int32_t cellDelta[2] = {-left, right};
            for (int k = 0; k < 2; ++k) {
                const dng_point delta = vertical ? dng_point(lineDelta[side], cellDelta[k])
                                                 : dng_point(cellDelta[k], lineDelta[side]);
                kernel.Add(delta, w[k]);
            }
        }
    }
}

dng_pattern_kernel dng_mosaic_info::PatternKernel(uint32_t plane, int32_t row, int32_t col) const {
    if (fCFALayout < 1 || fCFALayout > 9) ThrowProgramError("Bad CFA layout");
    if (fCFALayout != 1) ThrowNotYetImplemented("Staggered CFA layouts");
    ValidatePattern();
    if (plane >= fColorPlanes) ThrowProgramError("Bad CFA plane");
    const uint8_t key = fCFAPlaneColor[plane];
    const auto has = [&](int32_t dv, int32_t dh) { return HasKey(key, row + dv, col + dh); };
    const bool up = has(-1, 0), down = has(1, 0), left = has(0, -1), right = has(0, 1);
    const bool ul = has(-1, -1), ur = has(-1, 1), dl = has(1, -1), dr = has(1, 1);
    dng_pattern_kernel k;
    if (has(0, 0)) {
        k.Add({0, 0}, 1.0f);
    } else if (up && down && left && right) {
        for (const dng_point d : {dng_point(-1, 0), dng_point(0, -1), dng_point(0, 1), dng_point(1, 0)})
            k.Add(d, 0.25f);
    } else if (up && down) {
        k.Add({-1, 0}, 0.5f);
        k.Add({1, 0}, 0.5f);
    } else if (left && right) {
        k.Add({0, -1}, 0.5f);
        k.Add({0, 1}, 0.5f);
    } else if (up && dl && dr) {
        k.Add({-1, 0}, 0.5f);
        k.Add({1, -1}, 0.25f);
        k.Add({1, 1}, 0.25f);
    } else if (down && ul && ur) {
        k.Add({-1, -1}, 0.25f);
        k.Add({-1, 1}, 0.25f);
        k.Add({1, 0}, 0.5f);
    } else if (left && ur && dr) {
        k.Add({0, -1}, 0.5f);
        k.Add({-1, 1}, 0.25f);
        k.Add({1, 1}, 0.25f);
    } else if (right && ul && dl) {
        k.Add({0, 1}, 0.5f);
        k.Add({-1, -1}, 0.25f);
        k.Add({1, -1}, 0.25f);
    } else if (ul && ur && dl && dr) {
        for (const dng_point d : {dng_point(-1, -1), dng_point(-1, 1), dng_point(1, -1), dng_point(1, 1)})
            k.Add(d, 0.25f);
    } else if (ul && dr) {
        k.Add({-1, -1}, 0.5f);
        k.Add({1, 1}, 0.5f);
    } else if (ur && dl) {
        k.Add({-1, 1}, 0.5f);
        k.Add({1, -1}, 0.5f);
    } else {
        AddGeneralKernel(k, key, row, col);
    }
    return k;
}
