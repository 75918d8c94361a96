#pragma once
class LumivarTiledLayer;

// Told when a LumivarTiledLayer has drawn what it was asked to.
class LumivarTiledLayerDelegate {
  public:
    virtual ~LumivarTiledLayerDelegate() = default;
    virtual void LumivarTiledLayerHasUpdated(LumivarTiledLayer& layer) = 0;
};
