#include "dng/dng_ifd.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
uint32_t DivideUp64(uint64_t a, uint64_t b) { return b == 0 ? 0 : uint32_t((a + b - 1) / b); }

// Rounded up to a multiple of `cell`, as the tile and strip layouts want their sides.
uint32_t RoundUpToCell(uint32_t w, uint32_t cell) {
    const uint64_t t = uint64_t(cell) + w - 1;
    return uint32_t(t - t % cell);
}
} // namespace

dng_ifd::dng_ifd() { std::memset(fCFAPattern, 255, sizeof(fCFAPattern)); }

dng_ifd* dng_ifd::Clone() const {
    return dng_guard_allocation([&] { return new dng_ifd(*this); });
}

uint32_t dng_ifd::TileByteCount(const dng_rect& area) const {
    if (fCompression != 1) return 0;
    const uint32_t w = area.W();
    const uint32_t h = area.H();
    if (fPlanarConfiguration == 1) return ((w * fBitsPerSample[0] * fSamplesPerPixel + 7) / 8) * h;
    uint32_t bytes = ((w * fBitsPerSample[0] + 7) / 8) * h;
    if (fPlanarConfiguration == kRowInterleaved) bytes *= fSamplesPerPixel;
    return bytes;
}

uint32_t dng_ifd::PixelType() const {
    if (fSampleFormat[0] == 3) return ttFloat;
    if (fBitsPerSample[0] <= 8) return ttByte;
    if (fBitsPerSample[0] <= 16) return ttShort;
    return ttLong;
}

bool dng_ifd::IsBaselineJPEG() const {
    if (fBitsPerSample[0] != 8 || fSampleFormat[0] != 1) return false;
    if (fCompression == 34892) return true;
    if (fCompression != 7) return false;
    if (fPhotometricInterpretation == 6) return fSamplesPerPixel == 3 && fPlanarConfiguration == 1;
    if (fPhotometricInterpretation == 1) return fSamplesPerPixel == 1;
    return false;
}

uint32_t dng_ifd::TilesAcross() const { return DivideUp64(fImageWidth, fTileWidth); }

uint32_t dng_ifd::TilesDown() const { return DivideUp64(fImageLength, fTileLength); }

uint32_t dng_ifd::TilesPerImage() const {
    uint32_t total = TilesAcross() * TilesDown();
    if (fPlanarConfiguration == 2) total *= fSamplesPerPixel;
    return total;
}

dng_rect dng_ifd::TileArea(uint32_t rowIndex, uint32_t colIndex) const {
    dng_rect r;
    r.t = int32_t(rowIndex * fTileLength);
    r.l = int32_t(colIndex * fTileWidth);
    r.b = r.t + int32_t(fTileLength);
    r.r = r.l + int32_t(fTileWidth);
    if (fUsesStrips && r.b > int32_t(fImageLength)) r.b = int32_t(fImageLength);
    return r;
}

void dng_ifd::SetSingleStrip() {
    fTileWidth = fImageWidth;
    fTileLength = fImageLength;
    fUsesStrips = true;
}

void dng_ifd::FindTileSize(uint32_t bytesPerTile, uint32_t cellH, uint32_t cellV) {
    const uint32_t bytesPerPixel = BytesPerPixel();
    if (bytesPerPixel == 0 || cellH == 0 || cellV == 0)
        ThrowProgramError("Bad arguments to dng_ifd::FindTileSize");
    const uint32_t pixelsPerTile = bytesPerTile / bytesPerPixel;
    const uint32_t side = uint32_t(std::sqrt(double(pixelsPerTile)) + 0.5);
    fTileWidth = std::min(fImageWidth, side);
    if (fTileWidth == 0) ThrowProgramError("Bad number of tiles across in dng_ifd::FindTileSize");
    const uint32_t across = DivideUp64(fImageWidth, fTileWidth);
    fTileWidth = RoundUpToCell(DivideUp64(fImageWidth, across), cellH);

    const uint32_t rows = std::max(1u, std::min(pixelsPerTile / fTileWidth, fImageLength));
    const uint32_t down = DivideUp64(fImageLength, rows);
    fTileLength = RoundUpToCell(DivideUp64(fImageLength, down), cellV);
    fUsesStrips = false;
    fUsesTiles = true;
}

void dng_ifd::FindStripSize(uint32_t bytesPerStrip, uint32_t cellV) {
    const uint32_t bytesPerPixel = BytesPerPixel();
    if (fImageWidth == 0 || bytesPerPixel == 0 || cellV == 0)
        ThrowProgramError("Bad arguments to dng_ifd::FindStripSize");
    const uint32_t pixels = bytesPerStrip / bytesPerPixel;
    fTileWidth = fImageWidth;
    const uint32_t rows = std::max(1u, std::min(pixels / fImageWidth, fImageLength));
    const uint32_t strips = DivideUp64(fImageLength, rows);
    fTileLength = RoundUpToCell(DivideUp64(fImageLength, strips), cellV);
    fUsesStrips = true;
    fUsesTiles = false;
}
