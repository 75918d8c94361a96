#pragma once
// What an image buffer needs of the profile of its pixels. The colour layer's profile
// class implements it, so buffers can carry profiles without depending on that layer.
#include <memory>

#include "platform/ColorSpace.h"

class BufferProfile {
  public:
    virtual ~BufferProfile() = default;
    // The colour space that images made over the buffer's pixels are tagged with.
    virtual std::shared_ptr<const platform::ColorSpace> cgColorSpace() = 0;
};
