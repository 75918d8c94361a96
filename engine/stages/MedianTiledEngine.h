#pragma once
// Colour-artifact removal: repeated 3 x 3 medians of one colour's difference to green.
#include "engine/core/TiledEngine.h"

class MedianTiledEngine : public TiledEngine {
  public:
    using TiledEngine::TiledEngine;

    std::string engineName() const override;
    void setParameters(const std::optional<std::string>& key,
                       const platform::Dictionary& parameters) override;
    void processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, ImageBuffer* src,
                     ImageBuffer* dest, int32_t pass) override;
    void processEdge(int32_t, int32_t, int32_t, int32_t, ImageBuffer*, ImageBuffer*, int32_t) override {}

    int32_t colorToProcess() const { return colorToProcess_; }
    void setColorToProcess(int32_t color) { colorToProcess_ = color; }
    int32_t medianFilterPasses() const { return medianFilterPasses_; }

  private:
    void stage(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, const ImageBuffer& src,
               ImageBuffer& dest) const;
    void filter(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd, const ImageBuffer& input,
                int32_t readChannel, ImageBuffer& dest, int32_t writeChannel);

    int32_t colorToProcess_ = 0;
    int32_t medianFilterPasses_ = 0;
};
