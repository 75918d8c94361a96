#pragma once
// What the raw combine stage needs of an opened image: its two demosaiced renderings
// (16-bit R, G, B triples, rows without gaps) and their colour space. The raw image
// wrapper implements it. The pixels are shared: a reader keeps what it holds alive while
// the image frees or replaces its own (a new camera profile, say).
#include <cstdint>
#include <memory>

#include "engine/core/BufferProfile.h"

class DemosaicedRenderings {
  public:
    // Both renderings with the size they were made at, taken together.
    struct Held {
        uint16_t width = 0, height = 0;
        std::shared_ptr<const uint16_t[]> master;    // width x height x 3 values, or null
        std::shared_ptr<const uint16_t[]> alternate; // the same layout, or null when there is none
        // 0: the master is whole; else only its pixels within this many of an edge are
        // developed (see holdRenderingsWithMasterFrame).
        uint16_t masterFrame = 0;
    };

    virtual ~DemosaicedRenderings() = default;
    // Makes a missing rendering first, so this may take as long as a decode.
    virtual Held holdRenderings() = 0;
    // The master alone (no alternate), for a combine that gives the alternate no weight:
    // an image that makes its renderings one at a time then skips the second decode.
    virtual Held holdMaster() {
        Held held = holdRenderings();
        held.alternate.reset();
        return held;
    }
    // Both, for a reader of the master's outer `masterFrame` pixels only (a combine whose
    // weights take the alternate everywhere else): an image may then develop no more of the
    // master than that. 0 asks for the whole master.
    virtual Held holdRenderingsWithMasterFrame(uint16_t) { return holdRenderings(); }
    virtual std::shared_ptr<BufferProfile> renderingsProfile() = 0;
};
