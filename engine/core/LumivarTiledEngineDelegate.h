#pragma once
class TiledEngine;

// Asked by a stage to render an area that a caller wants but that is not ready yet.
class LumivarTiledEngineDelegate {
  public:
    virtual ~LumivarTiledEngineDelegate() = default;
    virtual void engineActiveRectDirty(TiledEngine& engine) = 0;
};
