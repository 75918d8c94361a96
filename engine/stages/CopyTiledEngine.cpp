#include "engine/stages/CopyTiledEngine.h"

#include <cstdio>

std::string CopyTiledEngine::engineName() const {
    char name[80];
    std::snprintf(name, sizeof name, "LumivarCopyTiledEngine_%p", static_cast<const void*>(this));
    return name;
}

void CopyTiledEngine::processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                  ImageBuffer* src, ImageBuffer* dest, int32_t) {
    if (src && dest && src != dest) copyTile(colStart, colEnd, rowStart, rowEnd, src, dest);
}
