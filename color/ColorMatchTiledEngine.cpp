#include "color/ColorMatchTiledEngine.h"

#include <cstdio>

#include "color/ColorMatchTransform.h"
#include "platform/Log.h"

std::string ColorMatchTiledEngine::engineName() const {
    char name[80];
    std::snprintf(name, sizeof name, "LumivarRawColorMatchEngine_%p", static_cast<const void*>(this));
    return name;
}

bool ColorMatchTiledEngine::convertBuffer(ImageBuffer& buffer) const {
    if (srcProfile_ && destProfile_ && ColorMatchTransform::convertBuffer(buffer, srcProfile_, destProfile_))
        return true;
    LV_LOG("%s error in ColorSyncTransformConvert", "-[ColorMatchTiledEngine convertBuffer:]");
    return false;
}

std::shared_ptr<TileProcess> ColorMatchTiledEngine::runProcessToCompletion(const TileRegion& region) {
    if (!sourceBuf()) return nullptr;
    auto process = sourceBuf()->runProcessToCompletion(region);
    if (process && process->buffer) convertBuffer(*process->buffer);
    return process;
}
