#pragma once
// Strong colour-artifact removal: 5 x 5 means of red and blue minus green, in place.
#include "engine/core/TiledEngine.h"

class MeanTiledEngine : public TiledEngine {
  public:
    using TiledEngine::TiledEngine;

    std::string engineName() const override;
    void setParameters(const std::optional<std::string>& key,
                       const platform::Dictionary& parameters) override;
    std::shared_ptr<TileProcess> runProcessToCompletion(const TileRegion& region) override;
    void processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, ImageBuffer* src,
                     ImageBuffer* dest, int32_t pass) override;
    void processEdge(int32_t, int32_t, int32_t, int32_t, ImageBuffer*, ImageBuffer*, int32_t) override {}

    int32_t numberOfFilterPasses() const { return numberOfFilterPasses_; }
    void setNumberOfFilterPasses(int32_t passes) { numberOfFilterPasses_ = passes; }

  private:
    int32_t numberOfFilterPasses_ = 0;
};
