#pragma once
// What the raw combine stage needs of an opened image: its two demosaiced renderings
// (16-bit R, G, B triples, rows without gaps) and their colour space. The image wrappers
// implement it.
#include <cstdint>
#include <memory>

#include "engine/core/BufferProfile.h"

class DemosaicedRenderings {
  public:
    virtual ~DemosaicedRenderings() = default;
    virtual uint16_t imageWidth() const = 0;
    virtual uint16_t imageHeight() const = 0;
    // imageWidth x imageHeight x 3 values, or null when there is no such rendering.
    virtual const uint16_t* masterImageBytes() = 0;
    virtual const uint16_t* alternateImageBytes() = 0;
    virtual std::shared_ptr<BufferProfile> bufferProfile() = 0;
};
