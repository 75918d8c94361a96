#include "dng/dng_linearize_image.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_negative.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_utils.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

int32_t RoundToInt(double x) { return int32_t(x < 0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5)); }

bool IsSmall(uint32_t pixelType) { return pixelType == ttByte || pixelType == ttShort; }

const double* Deltas(const std::unique_ptr<dng_memory_block>& block) {
    return block ? block->Buffer_real64() : nullptr;
}

} // namespace

dng_linearize_plane::dng_linearize_plane(dng_host&, const dng_linearization_info& info,
                                         uint16_t dstBlackLevel, bool clipBlacks, const dng_image& srcImage,
                                         dng_image& dstImage, uint32_t plane)
    : fSrcImage(srcImage), fDstImage(dstImage), fPlane(plane), fActiveArea(info.fActiveArea),
      fSrcPixelType(srcImage.PixelType()), fDstPixelType(dstImage.PixelType()) {
    const uint32_t s = fSrcPixelType, d = fDstPixelType;
    if ((s != ttByte && s != ttShort && s != ttLong && s != ttFloat) || (d != ttShort && d != ttFloat) ||
        (s == ttFloat && d != ttFloat))
        ThrowProgramError("Unsupported pixel types for linearization");
    fReal32 = s == ttLong || d == ttFloat;

    const double white = info.fWhiteLevel[plane];
    const double black = info.MaxBlackLevel(plane);
    if (white - black <= 0) ThrowBadFormat("White level not above the black level");
    const double g = 1.0 / (white - black);
    fScale = float(g);
    const double B = dstBlackLevel;
    const double R = 65535.0 - B;

    const uint32_t repeatRows =
        std::clamp(info.fBlackLevelRepeatRows, 1u, dng_linearization_info::kMaxBlackPattern);
    const uint32_t repeatCols =
        std::clamp(info.fBlackLevelRepeatCols, 1u, dng_linearization_info::kMaxBlackPattern);
    const uint32_t colDeltas = info.ColumnDeltaCount();
    const uint32_t rowDeltas = info.RowDeltaCount();
    const double* deltaH = Deltas(info.fBlackDeltaH);
    const double* deltaV = Deltas(info.fBlackDeltaV);
    // Deltas shorter than the active area would be read past their end.
    if (colDeltas && colDeltas < fActiveArea.W())
        ThrowBadFormat("BlackLevelDeltaH shorter than the active area");
    if (rowDeltas && rowDeltas < fActiveArea.H())
        ThrowBadFormat("BlackLevelDeltaV shorter than the active area");

    auto store = [&](double value, std::vector<int32_t>& ints, std::vector<float>& floats) {
        if (fReal32)
            floats.push_back(float(value));
        else
            ints.push_back(RoundToInt(value * R * 256.0));
    };

    if (colDeltas) {
        fBlack2DRows = repeatRows;
        fBlack2DCols = fActiveArea.W();
    } else if (repeatCols >= 2) {
        fBlack2DRows = repeatRows;
        fBlack2DCols = repeatCols;
    }
    dng_guard_allocation([&] {
        for (uint32_t i = 0; i < fBlack2DRows; ++i)
            for (uint32_t j = 0; j < fBlack2DCols; ++j)
                store((info.fBlackLevel[i][j % repeatCols][plane] + (colDeltas ? deltaH[j] : 0.0)) * g,
                      fBlack2DInt, fBlack2DFloat);
    });

    const bool has2D = fBlack2DRows != 0;
    if (rowDeltas)
        fBlack1DRows = fActiveArea.H();
    else if (!has2D && (repeatRows > 1 || !IsSmall(s)))
        fBlack1DRows = repeatRows;
    dng_guard_allocation([&] {
        for (uint32_t i = 0; i < fBlack1DRows; ++i)
            store(
                ((has2D ? 0.0 : info.fBlackLevel[i % repeatRows][0][plane]) + (rowDeltas ? deltaV[i] : 0.0)) *
                    g,
                fBlack1DInt, fBlack1DFloat);
    });
    const bool all0 =
        std::all_of(fBlack1DInt.begin(), fBlack1DInt.end(), [](int32_t v) { return v == 0; }) &&
        std::all_of(fBlack1DFloat.begin(), fBlack1DFloat.end(), [](float v) { return v == 0.0f; });
    if (fBlack1DRows && all0) {
        fBlack1DRows = 0;
        fBlack1DInt.clear();
        fBlack1DFloat.clear();
    }

    if (!IsSmall(s)) return;
    const uint32_t tableCount = info.LinearizationTableEntries();
    const uint16_t* table = info.fLinearizationTable ? info.fLinearizationTable->Buffer_uint16() : nullptr;
    auto L = [&](uint32_t v) -> double {
        return table && tableCount ? table[std::min(v, tableCount - 1)] : double(v);
    };
    if (fBlack1DRows || fBlack2DRows) {
        fLookupCount = 65536;
        fLookup.resize(size_t(fLookupCount) * 4);
        for (uint32_t v = 0; v < fLookupCount; ++v) {
            if (fReal32) {
                const float f = float(L(v) * g);
                std::memcpy(&fLookup[size_t(v) * 4], &f, 4);
            } else {
                const int32_t i = RoundToInt((L(v) * g * R + B) * 256.0);
                std::memcpy(&fLookup[size_t(v) * 4], &i, 4);
            }
        }
        return;
    }
    fLookupCount = s == ttByte ? 256 : 65536;
    const double black00 = info.fBlackLevel[0][0][plane];
    fLookup.resize(size_t(fLookupCount) * (d == ttShort ? 2 : 4));
    for (uint32_t v = 0; v < fLookupCount; ++v) {
        double y = (L(v) - black00) * g;
        if (clipBlacks) y = std::clamp(y, 0.0, 1.0);
        if (d == ttShort) {
            const uint16_t out = uint16_t(std::clamp(RoundToInt(y * R + B), 0, 65535));
            std::memcpy(&fLookup[size_t(v) * 2], &out, 2);
        } else {
            const float f = float(y);
            std::memcpy(&fLookup[size_t(v) * 4], &f, 4);
        }
    }
}

double dng_linearize_plane::Black1D(int32_t row) const {
    if (!fBlack1DRows) return 0.0;
    const size_t i = size_t(row % int32_t(fBlack1DRows));
    return fReal32 ? fBlack1DFloat[i] : fBlack1DInt[i];
}

double dng_linearize_plane::Black2D(int32_t row, int32_t col) const {
    if (!fBlack2DRows) return 0.0;
    const size_t i = size_t(row % int32_t(fBlack2DRows)) * fBlack2DCols + size_t(col % int32_t(fBlack2DCols));
    return fReal32 ? fBlack2DFloat[i] : fBlack2DInt[i];
}

template <typename S>
void dng_linearize_plane::ProcessSmall(const dng_rect& dstArea, const void* src, int32_t srcRowStep,
                                       void* dst, int32_t dstRowStep) {
    const uint32_t width = dstArea.W();
    const bool tables = fBlack1DRows || fBlack2DRows;
    for (int32_t y = dstArea.t; y < dstArea.b; ++y) {
        const S* s = static_cast<const S*>(src) + int64_t(y - dstArea.t) * srcRowStep;
        if (!tables) {
            if (fDstPixelType == ttShort) {
                const uint16_t* lut = reinterpret_cast<const uint16_t*>(fLookup.data());
                uint16_t* d = static_cast<uint16_t*>(dst) + int64_t(y - dstArea.t) * dstRowStep;
                for (uint32_t x = 0; x < width; ++x)
                    d[x] = lut[s[x]];
            } else {
                const float* lut = reinterpret_cast<const float*>(fLookup.data());
                float* d = static_cast<float*>(dst) + int64_t(y - dstArea.t) * dstRowStep;
                for (uint32_t x = 0; x < width; ++x)
                    d[x] = lut[s[x]];
            }
            continue;
        }
        const int32_t* b2 =
            fBlack2DRows ? fBlack2DInt.data() + size_t(y % int32_t(fBlack2DRows)) * fBlack2DCols : nullptr;
        const float* f2 = fBlack2DRows && fReal32
                              ? fBlack2DFloat.data() + size_t(y % int32_t(fBlack2DRows)) * fBlack2DCols
                              : nullptr;
        if (!fReal32) {
            const int32_t* lut = reinterpret_cast<const int32_t*>(fLookup.data());
            const int32_t b1 = fBlack1DRows ? fBlack1DInt[size_t(y % int32_t(fBlack1DRows))] : 0;
            uint16_t* d = static_cast<uint16_t*>(dst) + int64_t(y - dstArea.t) * dstRowStep;
            uint32_t col = fBlack2DRows ? uint32_t(dstArea.l) % fBlack2DCols : 0;
            for (uint32_t x = 0; x < width; ++x) {
                int64_t v = int64_t(lut[s[x]]) - b1 + 128;
                if (b2) {
                    v -= b2[col];
                    if (++col == fBlack2DCols) col = 0;
                }
                d[x] = v < 0 ? 0 : v >= 16777216 ? 65535 : uint16_t(v >> 8);
            }
        } else {
            const float* lut = reinterpret_cast<const float*>(fLookup.data());
            const float b1 = fBlack1DRows ? fBlack1DFloat[size_t(y % int32_t(fBlack1DRows))] : 0.0f;
            float* d = static_cast<float*>(dst) + int64_t(y - dstArea.t) * dstRowStep;
            uint32_t col = fBlack2DRows ? uint32_t(dstArea.l) % fBlack2DCols : 0;
            for (uint32_t x = 0; x < width; ++x) {
                float v = lut[s[x]] - b1;
                if (f2) {
                    v -= f2[col];
                    if (++col == fBlack2DCols) col = 0;
                }
                d[x] = std::clamp(v, 0.0f, 1.0f);
            }
        }
    }
}

template <typename S>
void dng_linearize_plane::ProcessWide(const dng_rect& dstArea, const void* src, int32_t srcRowStep, void* dst,
                                      int32_t dstRowStep) {
    const uint32_t width = dstArea.W();
    const bool isFloat = fSrcPixelType == ttFloat;
    for (int32_t y = dstArea.t; y < dstArea.b; ++y) {
        const S* s = static_cast<const S*>(src) + int64_t(y - dstArea.t) * srcRowStep;
        const float b1 = fBlack1DRows ? fBlack1DFloat[size_t(y % int32_t(fBlack1DRows))] : 0.0f;
        const float* f2 =
            fBlack2DRows ? fBlack2DFloat.data() + size_t(y % int32_t(fBlack2DRows)) * fBlack2DCols : nullptr;
        uint32_t col = fBlack2DRows ? uint32_t(dstArea.l) % fBlack2DCols : 0;
        for (uint32_t x = 0; x < width; ++x) {
            float v = float(s[x]) * fScale - b1;
            if (f2) {
                v -= f2[col];
                if (++col == fBlack2DCols) col = 0;
            }
            if (!isFloat) v = std::clamp(v, 0.0f, 1.0f);
            if (fDstPixelType == ttFloat)
                (static_cast<float*>(dst) + int64_t(y - dstArea.t) * dstRowStep)[x] = v;
            else
                (static_cast<uint16_t*>(dst) + int64_t(y - dstArea.t) * dstRowStep)[x] =
                    uint16_t(v * 65535.0f + 0.5f);
        }
    }
}

void dng_linearize_plane::Process(const dng_rect& srcTile) {
    const dng_rect dstArea(srcTile.t - fActiveArea.t, srcTile.l - fActiveArea.l, srcTile.b - fActiveArea.t,
                           srcTile.r - fActiveArea.l);
    const uint32_t w = srcTile.W(), h = srcTile.H();
    if (w == 0 || h == 0) return;
    const uint32_t srcSize = TagTypeSize(fSrcPixelType);
    const uint32_t dstSize = TagTypeSize(fDstPixelType);
    std::vector<uint8_t> srcData(size_t(w) * h * srcSize);
    std::vector<uint8_t> dstData(size_t(w) * h * dstSize);
    dng_pixel_buffer srcBuffer(srcTile, fPlane, 1, fSrcPixelType, dng_pixel_buffer::interleaved,
                               srcData.data());
    fSrcImage.Get(srcBuffer);
    const int32_t step = int32_t(w);
    switch (fSrcPixelType) {
    case ttByte:
        ProcessSmall<uint8_t>(dstArea, srcData.data(), step, dstData.data(), step);
        break;
    case ttShort:
        ProcessSmall<uint16_t>(dstArea, srcData.data(), step, dstData.data(), step);
        break;
    case ttLong:
        ProcessWide<uint32_t>(dstArea, srcData.data(), step, dstData.data(), step);
        break;
    default:
        ProcessWide<float>(dstArea, srcData.data(), step, dstData.data(), step);
        break;
    }
    dng_pixel_buffer dstBuffer(dstArea, fPlane, 1, fDstPixelType, dng_pixel_buffer::interleaved,
                               dstData.data());
    fDstImage.Put(dstBuffer);
}

dng_linearize_image::dng_linearize_image(dng_host& host, const dng_linearization_info& info,
                                         uint16_t dstBlackLevel, bool clipBlacks, const dng_image& srcImage,
                                         dng_image& dstImage)
    : dng_area_task("dng_linearization_image"), fActiveArea(info.fActiveArea) {
    fMaxTileSize = dng_point(1024, 1024);
    const uint32_t planes = std::min(srcImage.Planes(), dng_linearization_info::kMaxPlanes);
    for (uint32_t p = 0; p < planes; ++p)
        fPlanes.push_back(std::make_unique<dng_linearize_plane>(host, info, dstBlackLevel, clipBlacks,
                                                                srcImage, dstImage, p));
}

void dng_linearize_image::ProcessArea(uint32_t, const dng_rect& tile, dng_abort_sniffer*) {
    for (auto& plane : fPlanes)
        plane->Process(tile);
}

void dng_linearization_info::Linearize(dng_host& host, dng_negative& negative, const dng_image& srcImage,
                                       dng_image& dstImage) {
    if ((fActiveArea & srcImage.Bounds()) != fActiveArea || fActiveArea.IsEmpty())
        ThrowBadFormat("Active area outside the raw image");
    dng_linearize_image task(host, *this, negative.Stage3BlackLevel(), true, srcImage, dstImage);
    host.PerformAreaTask(task, fActiveArea);
}
