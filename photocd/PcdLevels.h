#pragma once
// The six resolution levels of an image pack.
#include <cstdint>

namespace photocd {

constexpr int kSectorSize = 2048;
constexpr int kHeaderSize = 3 * kSectorSize;
constexpr int kLevelCount = 6;
constexpr int kBaseLevel = 2;
constexpr int k4BaseLevel = 3;
constexpr int k16BaseLevel = 4;
constexpr int k64BaseLevel = 5;

struct PcdLevel {
    const char* name;
    int lumaWidth;
    int lumaHeight;
    int plainSector; // where the plain planes start; 0 for the residual levels
};

inline constexpr PcdLevel kLevels[kLevelCount] = {
    {"Base/16", 192, 128, 4}, {"Base/4", 384, 256, 23},  {"Base", 768, 512, 96},
    {"4Base", 1536, 1024, 0}, {"16Base", 3072, 2048, 0}, {"64Base", 6144, 4096, 0},
};

// The header and the smallest level's plain planes (luma, then both chroma planes at half
// size): no image pack that holds an image is shorter.
constexpr uint64_t kMinimumPackSize = uint64_t(kLevels[0].plainSector) * kSectorSize +
                                      uint64_t(kLevels[0].lumaWidth) * kLevels[0].lumaHeight * 3 / 2;

constexpr uint64_t k4BaseTableOffset = 388ull * kSectorSize;
constexpr uint64_t k4BaseDataOffset = 389ull * kSectorSize;

} // namespace photocd
