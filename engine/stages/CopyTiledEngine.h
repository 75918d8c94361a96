#pragma once
// Passes its source through unchanged.
#include "engine/core/TiledEngine.h"

class CopyTiledEngine : public TiledEngine {
  public:
    using TiledEngine::TiledEngine;

    std::string engineName() const override;
    void processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, ImageBuffer* src,
                     ImageBuffer* dest, int32_t pass) override;
};
