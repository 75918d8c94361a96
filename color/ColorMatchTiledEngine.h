#pragma once
// A stage that converts its source's finished output from one ICC profile to another.
// It works on whole buffers, so it has no tile work of its own.
#include <memory>

#include "color/ColorSyncProfileWrap.h"
#include "engine/core/TiledEngine.h"

class ColorMatchTiledEngine : public TiledEngine {
  public:
    using TiledEngine::TiledEngine;

    std::string engineName() const override;
    // Runs the source and converts its result in place; the source's result is returned.
    std::shared_ptr<TileProcess> runProcessToCompletion(const TileRegion& region) override;
    void processTile(int32_t, int32_t, int32_t, int32_t, ImageBuffer*, ImageBuffer*, int32_t) override {}
    void processEdge(int32_t, int32_t, int32_t, int32_t, ImageBuffer*, ImageBuffer*, int32_t) override {}
    // Converts from srcProfile to destProfile and tags the buffer with destProfile; a
    // buffer that cannot be converted keeps its pixels and its profile.
    bool convertBuffer(ImageBuffer& buffer) const;

    const std::shared_ptr<ColorSyncProfileWrap>& srcProfile() const { return srcProfile_; }
    void setSrcProfile(std::shared_ptr<ColorSyncProfileWrap> profile) { srcProfile_ = std::move(profile); }
    const std::shared_ptr<ColorSyncProfileWrap>& destProfile() const { return destProfile_; }
    void setDestProfile(std::shared_ptr<ColorSyncProfileWrap> profile) { destProfile_ = std::move(profile); }

  private:
    std::shared_ptr<ColorSyncProfileWrap> srcProfile_;
    std::shared_ptr<ColorSyncProfileWrap> destProfile_;
};
