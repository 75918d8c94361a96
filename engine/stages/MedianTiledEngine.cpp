#include "engine/stages/MedianTiledEngine.h"

#include <cstdio>
#include <utility>

#include "engine/stages/StageParameters.h"
#include "engine/stages/TileArea.h"

namespace {

constexpr int32_t kAlpha = 3;

int32_t medianOfNine(int32_t* p) {
    static constexpr std::pair<int, int> kSteps[] = {{1, 2}, {4, 5}, {7, 8}, {0, 1}, {3, 4}, {6, 7}, {1, 2},
                                                     {4, 5}, {7, 8}, {0, 3}, {5, 8}, {4, 7}, {3, 6}, {1, 4},
                                                     {2, 5}, {4, 7}, {4, 2}, {6, 4}, {4, 2}};
    for (const auto& [a, b] : kSteps)
        if (p[a] > p[b]) std::swap(p[a], p[b]);
    return p[4];
}

} // namespace

std::string MedianTiledEngine::engineName() const {
    char name[96];
    std::snprintf(name, sizeof name, "LumivarMedianEngine_%p_%i", static_cast<const void*>(this),
                  colorToProcess_);
    return name;
}

void MedianTiledEngine::setParameters(const std::optional<std::string>& key,
                                      const platform::Dictionary& parameters) {
    if (stages::concerns(key, settings::MedianStage)) {
        static constexpr int32_t kPasses[] = {0, 2, 4, 6, 6, 6, 6};
        const auto n = int32_t(6.0f * stages::floatSetting(parameters, settings::ArtifactFilter));
        medianFilterPasses_ = n >= 1 && n <= 6 ? kPasses[n] : 0;
        setNumberOfPasses(medianFilterPasses_ >= 2 ? medianFilterPasses_ : 1);
        markAllDirty();
        setEdgesDone(false);
    }
    TiledEngine::setParameters(key, parameters);
}

// Neighbouring tiles run at once, so a pass never reads a sample that the same pass writes:
// passes alternate between filtering the colour into alpha and alpha back into the colour.
// The pass count is even, so the colour holds the last pass's result.
void MedianTiledEngine::processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                    ImageBuffer* src, ImageBuffer* dest, int32_t pass) {
    if (!dest) return;
    const ImageBuffer& input = (pass == 0 && src) ? *src : *dest;
    if (medianFilterPasses_ == 0) {
        if (src && src != dest) {
            const auto all = stages::withBorderBand({colStart, colEnd, rowStart, rowEnd}, *dest,
                                                    horizontalBorder(), verticalBorder());
            copyTile(all.colStart, all.colEnd, all.rowStart, all.rowEnd, src, dest);
        }
        return;
    }
    if (pass == 0) stage(colStart, colEnd, rowStart, rowEnd, input, *dest);
    const bool intoAlpha = pass % 2 == 0;
    filter(colStart, colEnd, rowStart, rowEnd, input, intoAlpha ? colorToProcess_ : kAlpha, *dest,
           intoAlpha ? kAlpha : colorToProcess_);
}

// Copies the tile (and its share of the border band) and gives the unfiltered band pixels
// their colour in alpha too, since later passes read the band from either.
void MedianTiledEngine::stage(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                              const ImageBuffer& src, ImageBuffer& dest) const {
    const stages::TileArea own{colStart, colEnd, rowStart, rowEnd};
    const auto all = stages::withBorderBand(own, dest, horizontalBorder(), verticalBorder());
    for (int32_t row = all.rowStart; row < all.rowEnd; ++row) {
        const uint16_t* in = src.bufferU16ForRow(size_t(row));
        uint16_t* out = dest.bufferU16ForRow(size_t(row));
        for (int32_t col = all.colStart; col < all.colEnd; ++col) {
            const uint16_t* p = in + 4 * col;
            uint16_t* q = out + 4 * col;
            if (p != q) q[0] = p[0], q[1] = p[1], q[2] = p[2];
            if (!own.contains(col, row)) q[kAlpha] = p[colorToProcess_];
        }
    }
}

void MedianTiledEngine::filter(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                               const ImageBuffer& input, int32_t readChannel, ImageBuffer& dest,
                               int32_t writeChannel) {
    for (int32_t row = rowStart; row < rowEnd && !isCanceled(); ++row) {
        const uint16_t* lines[3] = {input.bufferU16ForRow(size_t(row - 1)),
                                    input.bufferU16ForRow(size_t(row)),
                                    input.bufferU16ForRow(size_t(row + 1))};
        uint16_t* out = dest.bufferU16ForRow(size_t(row));
        for (int32_t col = colStart; col < colEnd; ++col) {
            int32_t diffs[9];
            int k = 0;
            for (const uint16_t* line : lines)
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const uint16_t* p = line + 4 * (col + dx);
                    diffs[k++] = int32_t(p[readChannel]) - int32_t(p[1]);
                }
            out[4 * col + writeChannel] = stages::clampU16(
                int64_t(input.bufferU16ForRow(size_t(row))[4 * col + 1]) + medianOfNine(diffs));
        }
    }
}
