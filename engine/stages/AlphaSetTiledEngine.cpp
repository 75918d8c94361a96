#include "engine/stages/AlphaSetTiledEngine.h"

#include <cstdio>

std::string AlphaSetTiledEngine::engineName() const {
    char name[80];
    std::snprintf(name, sizeof name, "LumivarAlphaSetEngine_%p", static_cast<const void*>(this));
    return name;
}

void AlphaSetTiledEngine::processTile(int32_t colStart, int32_t colEnd, int32_t rowStart, int32_t rowEnd,
                                      ImageBuffer*, ImageBuffer* dest, int32_t) {
    if (!dest) return;
    for (int32_t row = rowStart; row < rowEnd; ++row) {
        uint16_t* p = dest->bufferU16ForRow(size_t(row));
        for (int32_t col = colStart; col < colEnd; ++col)
            p[4 * col + 3] = 65535;
    }
}
