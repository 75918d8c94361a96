#pragma once
// Makes every pixel of its output opaque.
#include "engine/core/TiledEngine.h"

class AlphaSetTiledEngine : public TiledEngine {
  public:
    using TiledEngine::TiledEngine;

    std::string engineName() const override;
    void processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, ImageBuffer* src,
                     ImageBuffer* dest, int32_t pass) override;
    void processEdge(int32_t, int32_t, int32_t, int32_t, ImageBuffer*, ImageBuffer*, int32_t) override {}
};
