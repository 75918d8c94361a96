#pragma once
// One run of one stage: the tiles that were not clean when it was prepared, the buffer it
// writes, and the group that joins its tasks.
#include <memory>

#include "engine/core/ImageBuffer.h"
#include "engine/core/TileMap.h"
#include "platform/DispatchGroup.h"

struct TileProcess {
    std::unique_ptr<platform::DispatchGroup> dispatchGroup;
    TileMap::Trackers dirtyList;
    std::shared_ptr<ImageBuffer> buffer;
};
