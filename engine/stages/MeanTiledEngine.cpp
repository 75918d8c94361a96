#include "engine/stages/MeanTiledEngine.h"

#include <cstdio>

#include "engine/stages/StageParameters.h"
#include "engine/stages/TileArea.h"

std::string MeanTiledEngine::engineName() const {
    char name[80];
    std::snprintf(name, sizeof name, "LumivarMeanEngine_%p", static_cast<const void*>(this));
    return name;
}

void MeanTiledEngine::setParameters(const std::optional<std::string>& key,
                                    const platform::Dictionary& parameters) {
    if (stages::concerns(key, settings::MeanStage)) {
        const auto n = int32_t(6.0f * stages::floatSetting(parameters, settings::ArtifactFilter));
        numberOfFilterPasses_ = n >= 4 && n <= 6 ? 2 * n - 6 : 0;
        markAllDirty();
        setEdgesDone(false);
    }
    TiledEngine::setParameters(key, parameters);
}

std::shared_ptr<TileProcess> MeanTiledEngine::runProcessToCompletion(const TileRegion& region) {
    auto process = TiledEngine::runProcessToCompletion(region);
    if (process && process->buffer) process->buffer->setBufferOwner(this);
    return process;
}

// The mean works in place by design: pixels later in the sweep see the earlier results.
// A tile given a separate destination first takes the source's pixels.
void MeanTiledEngine::processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                  ImageBuffer* src, ImageBuffer* dest, int32_t) {
    if (!dest) return;
    if (src && src != dest) {
        const auto all = stages::withBorderBand({colStart, colEnd, rowStart, rowEnd}, *dest,
                                                horizontalBorder(), verticalBorder());
        copyTile(all.colStart, all.colEnd, all.rowStart, all.rowEnd, src, dest);
    }
    for (int32_t pass = 0; pass < numberOfFilterPasses_; ++pass)
        for (const int32_t channel : {0, 2})
            for (int32_t row = rowStart; row < rowEnd; ++row)
                for (int32_t col = colStart; col < colEnd; ++col) {
                    int64_t sum = 0;
                    for (int32_t dy = -2; dy <= 2; ++dy) {
                        const uint16_t* line = dest->bufferU16ForRow(size_t(row + dy));
                        for (int32_t dx = -2; dx <= 2; ++dx) {
                            const uint16_t* p = line + 4 * (col + dx);
                            sum += int64_t(p[channel]) - int64_t(p[1]);
                        }
                    }
                    uint16_t* p = dest->bufferU16ForRow(size_t(row)) + 4 * col;
                    p[channel] = stages::clampU16(int64_t(p[1]) + sum / 25);
                }
}
