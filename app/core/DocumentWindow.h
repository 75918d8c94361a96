#pragma once
// What a document asks of the windows that show it. The editing window implements it; tests
// use a recording fake. Every call arrives on the main thread.
#include "platform/Geometry.h"

class DocumentWindow {
  public:
    virtual ~DocumentWindow() = default;

    // The image area in view (pixels of the unrotated image, origin top left); a rectangle
    // with a negative component when the window shows nothing yet.
    virtual platform::Rect activeTiledRect() = 0;
    virtual void setTempAndTint(float temperature, float tint) = 0;
    virtual void setSceneReferred(bool sceneReferred) = 0;
    // Asked when the image cannot be shown; the window closes itself (and with the last
    // window the document).
    virtual void closeWindow() = 0;
};
